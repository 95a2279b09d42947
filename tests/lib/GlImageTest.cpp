#include "host/lib/GlImage.h"

#include <numeric>

#include <gtest/gtest.h>

#include "host/gl/Context.h"
#include "host/gl/ContextGuard.h"
#include "host/lib/SharedImage.h"
#include "host/lib/TypedImage.h"

namespace Quorvale
{
	namespace
	{
		template <typename T>
		std::unique_ptr<TypedImage<T>> counting(const Eigen::Vector3i& size, int channels, int start = 0)
		{
			auto image = TypedImage<T>::create(size, channels);
			std::iota(image->pointer(), image->pointer() + image->byteSize() / sizeof(T), static_cast<T>(start));
			return image;
		}

		template <typename T>
		std::vector<T> elements(const MemImage& image)
		{
			const T* data = static_cast<const T*>(image.data());
			return std::vector<T>(data, data + image.byteSize() / sizeof(T));
		}
	}

	class GlImageTest : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			if (!GL::Context::isAvailable())
				GTEST_SKIP() << GL::Context::failure();
		}
	};

	TEST_F(GlImageTest, EveryElementTypeAndChannelCountSurvivesTheRoundTrip)
	{
		GL::ContextGuard guard;
		const auto roundTrip = [](auto tag)
		{
			using T = decltype(tag);
			for (int channels = 1; channels <= 4; ++channels)
			{
				auto memory = counting<T>(Eigen::Vector3i(3, 5, 2), channels, -7);
				GlImage copy(memory->descriptor());
				copy.upload(*memory);
				auto back = TypedImage<T>::create(memory->descriptor());
				copy.download(*back);
				EXPECT_EQ(elements<T>(*back), elements<T>(*memory)) << channels << " channels of pixel type " << memory->pixelType();
			}
		};
		roundTrip(char{});
		roundTrip(static_cast<unsigned char>(0));
		roundTrip(short{});
		roundTrip(static_cast<unsigned short>(0));
		roundTrip(int{});
		roundTrip(0u);
		roundTrip(0.0f);
		EXPECT_FALSE(GlImage::canHold(ImageDescriptor(ImageDescriptor::Double, Eigen::Vector3i(2, 2, 2))));
		EXPECT_FALSE(GlImage::canHold(ImageDescriptor(ImageDescriptor::Float, Eigen::Vector3i(2, 2, 2), 5)));
		EXPECT_TRUE(GlImage::canHold(ImageDescriptor(ImageDescriptor::HalfFloat, Eigen::Vector3i(2, 2, 2))));
		SharedImage doubles(TypedImage<double>::create(Eigen::Vector3i(2, 2, 2)));
		EXPECT_THROW(doubles.gl(), std::invalid_argument);
	}

	TEST_F(GlImageTest, WritingOneCopyMakesTheOtherStaleAndReadingFetchesTheNewest)
	{
		SharedImage image(counting<short>(Eigen::Vector3i(4, 3, 2), 1));
		EXPECT_TRUE(image.hasMem());
		EXPECT_FALSE(image.hasGl());
		EXPECT_THROW(image.gl(), std::logic_error);
		{
			GL::ContextGuard guard;
			image.gl();
		}
		const SharedImage& reader = image;
		reader.mem();
		EXPECT_TRUE(image.hasGl()) << "reading the memory keeps the GPU copy";
		image.mem();
		EXPECT_FALSE(image.hasGl()) << "the memory was handed out for writing";

		image.setDirtyMem();
		auto written = counting<short>(Eigen::Vector3i(4, 3, 2), 1, 100);
		{
			GL::ContextGuard guard;
			image.gl().texture().upload(written->data());
		}
		image.setDirtyGl();
		EXPECT_FALSE(image.hasMem());
		EXPECT_EQ(elements<short>(*reader.mem()), elements<short>(*written)) << "the GPU write was downloaded";
		EXPECT_TRUE(image.hasMem());
		EXPECT_TRUE(image.hasGl());
	}

	TEST_F(GlImageTest, AnImageCanLiveOnTheGpuAlone)
	{
		auto values = counting<float>(Eigen::Vector3i(5, 2, 3), 3, 1);
		ImageDescriptor layout = values->descriptor();
		layout.setStorageMapping(2.0, 1.0);
		auto copy = std::make_unique<GlImage>(layout);
		{
			GL::ContextGuard guard;
			copy->upload(*values);
		}
		SharedImage image(std::move(copy), "gpu");
		EXPECT_TRUE(image.hasGl());
		EXPECT_FALSE(image.hasMem());
		EXPECT_EQ(image.descriptor(), layout);
		auto clone = image.clone();
		EXPECT_EQ(elements<float>(*clone->mem()), elements<float>(*values));
		EXPECT_EQ(clone->descriptor(), layout);
	}
}
