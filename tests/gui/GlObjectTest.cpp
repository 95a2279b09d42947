#include "host/gl/GlObject.h"

#include "host/gl/FixedFunctionPipeline.h"
#include "host/gl/VertexBuffer.h"
#include "host/gui/GlSliceView.h"
#include "tests/gui/RenderTestSupport.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include <cmath>

using namespace Quorvale;

namespace
{
	/// A red square of side 2 around its origin in its own z = 0 plane, counting its draws.
	class Square : public GlObject
	{
	public:
		void draw(const GlView& view) override
		{
			++draws;
			auto& pipeline = GL::FixedFunctionPipeline::instance();
			pipeline.enable(view.viewState(), 1, nullptr);
			pipeline.setModelMatrix(matrix());
			pipeline.setDefaultColor(Eigen::Vector4d(1, 0, 0, 1));
			m_buffer.upload({{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, -1, 0}, {1, 1, 0}, {-1, 1, 0}}, {}, {});
			m_buffer.bind();
			m_buffer.draw(GL::VertexBuffer::Triangles);
			pipeline.disable();
		}
		Geometry::AlignedBox bounds() const override
		{
			Geometry::AlignedBox box;
			box.addPoint(Eigen::Vector3d(-1, -1, 0));
			box.addPoint(Eigen::Vector3d(1, 1, 0));
			return box;
		}

		int draws = 0;

	private:
		GL::VertexBuffer m_buffer;
	};
}

TEST(GlObjectTest, TheClipPlaneCutsAwayWhatTheObjectDrawsOnItsNegativeSide)
{
	QUORVALE_OPEN_GL_GUARD(guard);
	GlSliceView view(2);
	view.setViewport(RenderTest::Size, RenderTest::Size);
	Square square;
	// Moved in the world: the plane is in world coordinates, not the square's own.
	square.setMatrix(Eigen::Affine3d(Eigen::Translation3d(0.5, 0, 0)).matrix());
	view.addObject(&square);
	struct Case
	{
		Eigen::Vector4d plane;
		bool redLeft, redRight;
	};
	for (const Case& c : {Case{Eigen::Vector4d::Zero(), true, true}, Case{{1, 0, 0, -0.5}, false, true}, Case{{-1, 0, 0, 0.5}, true, false}})
	{
		square.setClipPlane(c.plane);
		const RenderTest::Frame frame = RenderTest::render(view);
		EXPECT_EQ(RenderTest::near(frame.at({0.0, 0.2, 0}), RenderTest::Red), c.redLeft) << c.plane.transpose();
		EXPECT_EQ(RenderTest::near(frame.at({1.0, 0.2, 0}), RenderTest::Red), c.redRight) << c.plane.transpose();
	}
	EXPECT_EQ(square.draws, 3);
}

TEST(GlObjectTest, AnObjectWhollyOnTheClippedSideOfItsBoundingSphereIsNotDrawn)
{
	Square square;
	square.setMatrix((Eigen::Translation3d(5, 0, 0) * Eigen::Scaling(2.0)).matrix());
	const GlObject::Sphere sphere = square.boundsSpherical();
	EXPECT_TRUE(sphere.center.isApprox(Eigen::Vector3d(5, 0, 0)));
	EXPECT_NEAR(sphere.radius, 2.0 * std::sqrt(2.0), 1e-12);
	EXPECT_LT(GlObject::Sphere().radius, 0.0);

	QUORVALE_OPEN_GL_GUARD(guard);
	GlSliceView view(2);
	view.addObject(&square);
	// Cut through the middle: drawn. Beyond the sphere: left out.
	square.setClipPlane({-1, 0, 0, 5});
	EXPECT_FALSE(square.clippedAway());
	RenderTest::render(view);
	EXPECT_EQ(square.draws, 1);
	square.setClipPlane({-1, 0, 0, 2.0});
	EXPECT_TRUE(square.clippedAway());
	RenderTest::render(view);
	EXPECT_EQ(square.draws, 1);
}
