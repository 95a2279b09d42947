#include "host/lib/ImageProcessing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

using namespace Quorvale;

namespace
{
	std::vector<int> valuesOf(const TypedImage<unsigned char>& image)
	{
		return std::vector<int>(image.pointer(), image.pointer() + image.descriptor().size());
	}

	constexpr int kDefaultFlags = ImageProcessing::StrictlyGreater | ImageProcessing::OriginalValues;
}

TEST(ImageProcessingTest, ThresholdMarksValuesAboveTheThresholdAndNeverNaN)
{
	auto image = TypedImage<float>::create(ImageDescriptor(ImageDescriptor::Float, {3, 2, 2}, 1, {0.5, 0.7, 2.0}));
	const float nan = std::numeric_limits<float>::quiet_NaN();
	const std::vector<float> values = {0.2f, 0.5f, 0.6f, nan, -1.0f, 3.0f, 0.50001f, 1.0f, 0.0f, nan, 7.0f, -0.6f};
	std::copy(values.begin(), values.end(), image->pointer());

	auto mask = ImageProcessing::createThresholded(*image, 0.5, kDefaultFlags);
	ASSERT_EQ(mask->pixelType(), ImageDescriptor::UnsignedChar);
	EXPECT_EQ(mask->descriptor().channels(), 1);
	EXPECT_EQ(mask->descriptor().dimensions(), Eigen::Vector3i(3, 2, 2));
	EXPECT_EQ(mask->descriptor().spacing(), Eigen::Vector3d(0.5, 0.7, 2.0));
	EXPECT_EQ(valuesOf(*mask), (std::vector<int>{0, 0, 1, 0, 0, 1, 1, 1, 0, 0, 1, 0}));

	// Without the strict flag the threshold itself is foreground; NaN still is not.
	auto inclusive = ImageProcessing::createThresholded(*image, 0.5, ImageProcessing::OriginalValues);
	EXPECT_EQ(valuesOf(*inclusive), (std::vector<int>{0, 1, 1, 0, 0, 1, 1, 1, 0, 0, 1, 0}));
}

TEST(ImageProcessingTest, ThresholdComparesOriginalOrStoredValuesAsAsked)
{
	auto image = TypedImage<unsigned char>::create({4, 1, 1});
	image->setStorageMapping(0.1, 0.0);
	const unsigned char stored[] = {0, 4, 6, 200};
	std::copy(std::begin(stored), std::end(stored), image->pointer());

	// Original values 0, 0.4, 0.6, 20.
	EXPECT_EQ(valuesOf(*ImageProcessing::createThresholded(*image, 0.5, kDefaultFlags)), (std::vector<int>{0, 0, 1, 1}));
	// Stored values 0, 4, 6, 200.
	EXPECT_EQ(valuesOf(*ImageProcessing::createThresholded(*image, 0.5, ImageProcessing::StrictlyGreater)), (std::vector<int>{0, 1, 1, 1}));
	EXPECT_TRUE(ImageProcessing::createThresholded(*image, 0.5, kDefaultFlags)->descriptor().hasIdentityStorageMapping());
}

TEST(ImageProcessingTest, ThresholdReadsChannelZeroAndSignedBytes)
{
	auto rgb = TypedImage<short>::create({2, 1, 1}, 3);
	const short values[] = {1, 9, 9, 0, 9, 9};
	std::copy(std::begin(values), std::end(values), rgb->pointer());
	EXPECT_EQ(valuesOf(*ImageProcessing::createThresholded(*rgb, 0.5, kDefaultFlags)), (std::vector<int>{1, 0}));

	auto bytes = TypedImage<char>::create({2, 1, 1});
	bytes->pointer()[0] = static_cast<char>(-1);
	bytes->pointer()[1] = static_cast<char>(100);
	// -1 must not be read as 255 on platforms whose char is unsigned.
	EXPECT_EQ(valuesOf(*ImageProcessing::createThresholded(*bytes, 0.5, kDefaultFlags)), (std::vector<int>{0, 1}));
}

TEST(ImageProcessingTest, ThresholdRejectsUnknownFlagsAndUntypedImages)
{
	auto image = TypedImage<float>::create({2, 2, 1});
	EXPECT_THROW(ImageProcessing::createThresholded(*image, 0.5, 2), std::invalid_argument);
	EXPECT_THROW(ImageProcessing::createThresholded(*image, 0.5, 33 | 64), std::invalid_argument);
	auto untyped = MemImage::create(ImageDescriptor(ImageDescriptor::Bytes3, {2, 2, 1}));
	EXPECT_THROW(ImageProcessing::createThresholded(*untyped, 0.5, kDefaultFlags), std::invalid_argument);
}
