#include "host/lib/MemImage.h"
#include "host/lib/TypedImage.h"
#include "tests/common/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>
#include <stdexcept>

using namespace Quorvale;

namespace
{
	// A 2x2x2 float image whose value is x + 10 y + 100 z: trilinear interpolation reproduces it.
	std::unique_ptr<TypedImage<float>> linearCube()
	{
		auto image = TypedImage<float>::create({2, 2, 2});
		for (int z = 0; z < 2; ++z)
			for (int y = 0; y < 2; ++y)
				for (int x = 0; x < 2; ++x)
					image->at(x, y, z) = static_cast<float>(x + 10 * y + 100 * z);
		return image;
	}

	template <typename T>
	void expectCreatedAs(int pixelType)
	{
		auto mem = MemImage::create(ImageDescriptor(pixelType, {2, 1, 1}));
		EXPECT_NE(dynamic_cast<TypedImage<T>*>(mem.get()), nullptr) << pixelType;
		EXPECT_EQ(mem->pixelType(), pixelType);
		EXPECT_EQ(mem->byteSize(), 2 * sizeof(T));
	}
}

TEST(TypedImageTest, FactoryMakesTheTypedImageOfEachCode)
{
	expectCreatedAs<char>(ImageDescriptor::Char);
	expectCreatedAs<unsigned char>(ImageDescriptor::UnsignedChar);
	expectCreatedAs<short>(ImageDescriptor::Short);
	expectCreatedAs<unsigned short>(ImageDescriptor::UnsignedShort);
	expectCreatedAs<int>(ImageDescriptor::Int);
	expectCreatedAs<unsigned int>(ImageDescriptor::UnsignedInt);
	expectCreatedAs<float>(ImageDescriptor::Float);
	expectCreatedAs<float>(ImageDescriptor::HalfFloat);
	expectCreatedAs<double>(ImageDescriptor::Double);

	auto untyped = MemImage::create(ImageDescriptor(ImageDescriptor::Bytes3, {2, 2, 1}));
	EXPECT_EQ(untyped->byteSize(), 12u);
	EXPECT_EQ(dynamic_cast<TypedImage<unsigned char>*>(untyped.get()), nullptr);
	EXPECT_THROW(untyped->valueAt({0, 0, 0}, 0, true, 0.0), std::logic_error);
	static_cast<unsigned char*>(untyped->data())[5] = 9;
	auto untypedCopy = untyped->clone();
	EXPECT_EQ(untypedCopy->pixelType(), ImageDescriptor::Bytes3);
	EXPECT_EQ(static_cast<const unsigned char*>(untypedCopy->data())[5], 9);
}

TEST(TypedImageTest, RejectsMismatchedAndInvalidDescriptors)
{
	EXPECT_THROW(TypedImage<short>::create(ImageDescriptor(ImageDescriptor::UnsignedShort, {1, 1, 1})), std::invalid_argument);
	EXPECT_THROW(TypedImage<float>::create(ImageDescriptor(ImageDescriptor::Double, {1, 1, 1})), std::invalid_argument);
	EXPECT_THROW(MemImage::create(ImageDescriptor(ImageDescriptor::Float, {0, 1, 1})), std::invalid_argument);
	EXPECT_THROW(MemImage::create(ImageDescriptor(99, {1, 1, 1})), std::invalid_argument);
	EXPECT_THROW(MemImage::create(ImageDescriptor(ImageDescriptor::Double, {1 << 30, 1 << 30, 1 << 30})), std::length_error);
}

TEST(TypedImageTest, ImagesBeyondTheMemoryLimitAreRefusedWithTheirSize)
{
	Testing::ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", "1M");
	try
	{
		MemImage::create(ImageDescriptor(ImageDescriptor::Float, {100, 100, 100}));
		FAIL() << "an image of 4 MB was made under a limit of 1 MiB";
	}
	catch (const std::length_error& e)
	{
		EXPECT_STREQ(e.what(), "An image of 100 x 100 x 100 voxels would need 4 MB of memory, more than the 1.05 MB available");
	}
	EXPECT_NO_THROW(MemImage::create(ImageDescriptor(ImageDescriptor::Float, {64, 64, 64})));
}

TEST(TypedImageTest, ElementsStartAtZeroAndClonesAreIndependent)
{
	auto image = TypedImage<int>::create({3, 2, 2}, 2);
	for (std::size_t i = 0; i < image->descriptor().size() * 2; ++i)
		EXPECT_EQ(image->pointer()[i], 0);
	image->at(2, 1, 1, 1) = -7;
	EXPECT_EQ(image->pointer()[image->descriptor().elementIndex(2, 1, 1, 1)], -7);

	std::unique_ptr<TypedImage<int>> copy = image->clone();
	EXPECT_EQ(copy->at(2, 1, 1, 1), -7);
	copy->fill(4);
	EXPECT_EQ(copy->at(0, 0, 0, 0), 4);
	EXPECT_EQ(image->at(2, 1, 1, 1), -7);
	EXPECT_EQ(image->at(0, 0, 0, 0), 0);

	std::unique_ptr<MemImage> viaBase = static_cast<const MemImage&>(*image).clone();
	EXPECT_NE(dynamic_cast<TypedImage<int>*>(viaBase.get()), nullptr);
}

TEST(ImageValueTest, TrilinearBetweenVoxelCentres)
{
	auto image = linearCube();
	EXPECT_DOUBLE_EQ(image->valueAt({1, 1, 1}, 0, true, -1), 111);
	EXPECT_DOUBLE_EQ(image->valueAt({0.5, 0.5, 0.5}, 0, true, -1), 55.5);
	EXPECT_DOUBLE_EQ(image->valueAt({0.25, 1, 0}, 0, true, -1), 10.25);

	// A single hot corner shows the weights are products of the three axis fractions.
	auto corner = TypedImage<double>::create({2, 2, 2});
	corner->at(1, 1, 1) = 8;
	EXPECT_DOUBLE_EQ(corner->valueAt({0.5, 0.5, 0.5}, 0, true, -1), 1.0);
	EXPECT_DOUBLE_EQ(corner->valueAt({0.75, 0.75, 0.25}, 0, true, -1), 8 * 0.75 * 0.75 * 0.25);
}

TEST(ImageValueTest, ClampsWithinHalfAVoxelAndFallsBackBeyond)
{
	auto image = linearCube();
	EXPECT_DOUBLE_EQ(image->valueAt({-0.4, 0, 0}, 0, true, -1), 0);
	EXPECT_DOUBLE_EQ(image->valueAt({-0.5, 0, 0}, 0, true, -1), 0);
	EXPECT_DOUBLE_EQ(image->valueAt({1.5, 1, 1}, 0, true, -1), 111);
	EXPECT_DOUBLE_EQ(image->valueAt({1.3, 0.5, 0}, 0, true, -1), 6);
	EXPECT_DOUBLE_EQ(image->valueAt({-0.51, 0, 0}, 0, true, -1), -1);
	EXPECT_DOUBLE_EQ(image->valueAt({0, 1.51, 0}, 0, true, -1), -1);
	EXPECT_DOUBLE_EQ(image->valueAt({0, 0, 7}, 0, false, 42), 42);
	EXPECT_DOUBLE_EQ(image->valueAt({std::nan(""), 0, 0}, 0, true, -1), -1);
}

TEST(ImageValueTest, NearestVoxelRoundsHalvesUp)
{
	auto image = linearCube();
	EXPECT_DOUBLE_EQ(image->valueAt({0.49, 0.51, 0}, 0, false, -1), 10);
	EXPECT_DOUBLE_EQ(image->valueAt({0.5, 0, 0}, 0, false, -1), 1);
	EXPECT_DOUBLE_EQ(image->valueAt({1.4, 1.4, 1.4}, 0, false, -1), 111);
}

TEST(ImageValueTest, FlatImageInterpolatesInItsPlane)
{
	auto image = TypedImage<unsigned char>::create({3, 3, 1});
	image->at(1, 1) = 40;
	EXPECT_DOUBLE_EQ(image->valueAt({0.5, 0.5, 0}, 0, true, -1), 10);
	EXPECT_DOUBLE_EQ(image->valueAt({1, 1, 0.45}, 0, true, -1), 40);
	EXPECT_DOUBLE_EQ(image->valueAt({1, 1, -0.5}, 0, true, -1), 40);
	EXPECT_DOUBLE_EQ(image->valueAt({1, 1, 0.6}, 0, true, -1), -1);
}

TEST(ImageValueTest, ReturnsOriginalValuesOfTheRequestedChannel)
{
	auto image = TypedImage<unsigned short>::create({2, 1, 1}, 2);
	image->at(0, 0, 0, 1) = 100;
	image->at(1, 0, 0, 1) = 200;
	image->setStorageMapping(0.5, -10);
	EXPECT_DOUBLE_EQ(image->valueAt({0, 0, 0}, 1, false, -1), 40);
	EXPECT_DOUBLE_EQ(image->valueAt({0.5, 0, 0}, 1, true, -1), 65);
	EXPECT_DOUBLE_EQ(image->valueAt({0, 0, 0}, 0, true, -1), -10);
	EXPECT_THROW(image->valueAt({0, 0, 0}, 2, true, -1), std::out_of_range);
	EXPECT_THROW(image->valueAt({0, 0, 0}, -1, true, -1), std::out_of_range);

	auto signedBytes = TypedImage<char>::create({1, 1, 1});
	signedBytes->at(0, 0) = static_cast<char>(-5);
	EXPECT_DOUBLE_EQ(signedBytes->valueAt({0, 0, 0}, 0, true, 0), -5);
}

template <typename T>
class ImageValueRangeTest : public ::testing::Test
{
};

using RangeElementTypes = ::testing::Types<char, unsigned char, short, unsigned short, int, unsigned int, float, double>;
TYPED_TEST_SUITE(ImageValueRangeTest, RangeElementTypes, );

TYPED_TEST(ImageValueRangeTest, SpansTheTypesExtremesOverEveryChannel)
{
	using T = TypeParam;
	// Small images are read on one thread, large ones by all: the extremes sit apart in both.
	for (const Eigen::Vector3i& size : {Eigen::Vector3i(3, 2, 2), Eigen::Vector3i(128, 128, 65)})
	{
		auto image = TypedImage<T>::create(size, 2);
		image->at(size.x() - 1, size.y() - 1, size.z() - 1, 1) = std::numeric_limits<T>::lowest();
		image->at(1, 0, size.z() / 2, 0) = std::numeric_limits<T>::max();
		const auto range = image->valueRange();
		ASSERT_TRUE(range);
		const double low = std::is_same_v<T, char> ? -128.0 : static_cast<double>(std::numeric_limits<T>::lowest());
		EXPECT_EQ(range->low, low);
		EXPECT_EQ(range->high, static_cast<double>(std::numeric_limits<T>::max()));
	}
}

TEST(ImageValueRangeTest, MapsStorageLeavesOutNonFiniteValuesAndHasNoneWithoutFiniteOnes)
{
	auto image = TypedImage<float>::create({4, 1, 1});
	const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
	for (const auto& [x, value] : {std::pair(0, nan), std::pair(1, -inf), std::pair(2, 100.f), std::pair(3, 300.f)})
		image->at(x, 0) = value;
	image->setStorageMapping(-0.5, 10);
	const auto range = image->valueRange();
	ASSERT_TRUE(range);
	EXPECT_EQ(std::make_pair(range->low, range->high), std::make_pair(-140.0, -40.0));

	image->fill(nan);
	EXPECT_FALSE(image->valueRange());
	EXPECT_FALSE(MemImage::create(ImageDescriptor(ImageDescriptor::Bytes3, {2, 1, 1}))->valueRange());
}
