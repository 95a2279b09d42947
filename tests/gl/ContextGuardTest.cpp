#include "host/gl/ContextGuard.h"

#include <atomic>
#include <future>
#include <optional>
#include <thread>
#include <vector>

#include <EGL/egl.h>
#include <GL/gl.h>

#include "host/gl/BackgroundThread.h"
#include "host/gl/Context.h"
#include "host/gl/Texture.h"
#include "tests/gl/GlTestSupport.h"

namespace Quorvale::GL
{
	TEST(ContextGuardTest, TheContextIsOpenGl45OnThisMachine)
	{
		if (!Context::isAvailable())
			GTEST_SKIP() << Context::failure();
		EXPECT_GE(versionInfo(), Utils::Version(4, 3));
		EXPECT_EQ(versionInfo().patch(), 0);
		if (Context::isSoftwareRenderer())
		{
			EXPECT_EQ(versionInfo(), Utils::Version(4, 5)) << Context::renderer();
		}
	}

	TEST(ContextGuardTest, NestedGuardsKeepTheContextAndTheOuterOneRestoresTheThread)
	{
		ASSERT_EQ(eglGetCurrentContext(), EGL_NO_CONTEXT);
		{
			QUORVALE_OPEN_GL_GUARD(outer);
			EXPECT_EQ(eglGetCurrentContext(), Context::eglContext());
			{
				ContextGuard inner;
				EXPECT_TRUE(inner.isValid());
				EXPECT_TRUE(ContextGuard::isActive());
			}
			EXPECT_EQ(eglGetCurrentContext(), Context::eglContext());
		}
		EXPECT_EQ(eglGetCurrentContext(), EGL_NO_CONTEXT);
		EXPECT_FALSE(ContextGuard::isActive());
	}

	TEST(ContextGuardTest, AnotherThreadDeclinesWithTryOnlyAndGetsTheContextWhenWaiting)
	{
		std::promise<void> held, release;
		std::thread holder(
		    [&]
		    {
			    ContextGuard guard;
			    held.set_value();
			    release.get_future().wait();
		    });
		held.get_future().wait();
		if (!Context::isAvailable())
		{
			release.set_value();
			holder.join();
			GTEST_SKIP() << Context::failure();
		}
		{
			ContextGuard attempt(ContextGuard::TryOnly);
			EXPECT_FALSE(attempt.isValid());
		}
		std::atomic<bool> waited{false};
		std::thread waiter(
		    [&]
		    {
			    ContextGuard guard;
			    waited = guard.isValid() && eglGetCurrentContext() == Context::eglContext();
		    });
		release.set_value();
		holder.join();
		waiter.join();
		EXPECT_TRUE(waited);
	}

	TEST(ContextGuardTest, ObjectsMadeAndDroppedOutsideAGuardQueueTheirWork)
	{
		if (!Context::isAvailable())
			GTEST_SKIP() << Context::failure();
		Texture texture(Eigen::Vector3i(4, 4, 2), Texture::formatFor(5126, 1));
		EXPECT_THROW(texture.id(), std::logic_error);
		unsigned int id = 0;
		{
			ContextGuard guard;
			id = texture.id();
			EXPECT_TRUE(glIsTexture(id));
		}
		texture = Texture();
		ContextGuard guard;
		EXPECT_FALSE(glIsTexture(id));
	}

	TEST(ContextGuardTest, ABackgroundThreadWorksBesideTheFirstContextOnObjectsBothSee)
	{
		if (!Context::isAvailable())
			GTEST_SKIP() << Context::failure();
		const std::vector<float> values{1.f, 2.f, 3.f, 4.f};
		std::optional<Texture> texture;
		std::promise<void> held, release;
		std::thread worker(
		    [&]
		    {
			    BackgroundThread mark;
			    ContextGuard guard;
			    EXPECT_EQ(eglGetCurrentContext(), Context::eglBackgroundContext());
			    texture.emplace(Eigen::Vector3i(4, 1, 1), Texture::formatFor(5126, 1));
			    texture->upload(values.data());
			    held.set_value();
			    release.get_future().wait();
		    });
		held.get_future().wait();
		{
			// The first context is free while the background thread holds its own.
			ContextGuard guard(ContextGuard::TryOnly);
			EXPECT_EQ(eglGetCurrentContext(), Context::eglContext());
		}
		release.set_value();
		worker.join();
		std::vector<float> read(values.size());
		ContextGuard guard;
		texture->download(read.data());
		EXPECT_EQ(read, values);
	}
}
