#include "src/imaging/MaxReduction.h"
#include "tests/imaging/ImagingTestUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace Quorvale;
using namespace Quorvale::ImagingTest;
using ImageMath::ArrayImage;
using ImageMath::MaxReduction;
using ImageMath::TypedArray;

namespace
{
	constexpr double kLowest = std::numeric_limits<double>::lowest();

	MaxReduction<ArrayImage> reductionOf(SharedImage& image) { return MaxReduction<ArrayImage>(arrayOf(image), {}, Selection()); }

	/// The maximum of every channel and the first pixel holding it, by a plain loop.
	template <typename T>
	std::pair<Eigen::VectorXd, std::vector<Eigen::Vector4i>> reference(const TypedImage<T>& image)
	{
		const ImageDescriptor& d = image.descriptor();
		Eigen::VectorXd maxima = Eigen::VectorXd::Constant(d.channels(), kLowest);
		std::vector<Eigen::Vector4i> where(static_cast<std::size_t>(d.channels()), Eigen::Vector4i(-1, -1, -1, 0));
		for (int z = 0; z < d.dimensions().z(); ++z)
			for (int y = 0; y < d.dimensions().y(); ++y)
				for (int x = 0; x < d.dimensions().x(); ++x)
					for (int c = 0; c < d.channels(); ++c)
					{
						const double v = d.storageToOriginal(asDouble(image.at(x, y, z, c)));
						if (v > maxima[c])
						{
							maxima[c] = v;
							where[static_cast<std::size_t>(c)] = Eigen::Vector4i(x, y, z, 0);
						}
					}
		return {maxima, where};
	}
}

template <typename T>
class MaxReductionTest : public ::testing::Test
{
};
TYPED_TEST_SUITE(MaxReductionTest, ElementTypes, );

TYPED_TEST(MaxReductionTest, ZerosAndASingleVoxel)
{
	using T = TypeParam;
	auto image = makeImage<T>({4, 3, 10}, 3);
	MaxReduction<ArrayImage> reduction = reductionOf(*image);
	Eigen::VectorXd result;
	EXPECT_EQ(reduction.reduce(result), Eigen::VectorXd::Zero(3));

	typed<T>(*image).at(2, 1, 7, 1) = T(1);
	EXPECT_EQ(ImageMath::maxReduceSharedImage(reduction, result), Eigen::Vector3d(0, 1, 0));
	std::vector<Eigen::Vector4i> positions{Eigen::Vector4i(9, 9, 9, 9)};
	reduction.reduce(result, &positions);
	EXPECT_EQ(result, Eigen::Vector3d(0, 1, 0));
	// Appended after what the list held, one per channel in channel order.
	ASSERT_EQ(positions.size(), 4u);
	EXPECT_EQ(positions[0], Eigen::Vector4i(9, 9, 9, 9));
	EXPECT_EQ(positions[1], Eigen::Vector4i(0, 0, 0, 0));
	EXPECT_EQ(positions[2], Eigen::Vector4i(2, 1, 7, 0));
	EXPECT_EQ(positions[3], Eigen::Vector4i(0, 0, 0, 0));
}

TYPED_TEST(MaxReductionTest, MatchesTheReferenceLoopAtBoundarySizes)
{
	using T = TypeParam;
	for (const Eigen::Vector3i& size : {Eigen::Vector3i(1, 1, 1), Eigen::Vector3i(3, 5, 7), Eigen::Vector3i(4, 3, 8),
	                                    Eigen::Vector3i(4, 3, 9), Eigen::Vector3i(2, 2, 33)})
		for (int channels : {1, 3})
			for (double slope : {0.5, -2.0})
			{
				auto image = makeImage<T>(size, channels);
				fillRandom(typed<T>(*image), static_cast<unsigned>(size.sum() + channels));
				image->mem()->setStorageMapping(slope, 1.0);
				const auto [maxima, where] = reference(typed<T>(*image));

				MaxReduction<ArrayImage> reduction = reductionOf(*image);
				Eigen::VectorXd result;
				EXPECT_EQ(reduction.reduce(result), maxima) << size.transpose() << " slope " << slope;
				std::vector<Eigen::Vector4i> positions;
				EXPECT_EQ(reduction.reduce(result, &positions), maxima);
				EXPECT_EQ(positions, where) << size.transpose() << " slope " << slope;

				// Raw values ignore the mapping.
				auto typedArray = TypedArray<T>::fromShared(ArrayImage(*image, true, 9728, 33071));
				MaxReduction<TypedArray<T>> raw(*typedArray, {}, Selection());
				image->mem()->setStorageMapping(1.0, 0.0);
				EXPECT_EQ(raw.reduce(result), reference(typed<T>(*image)).first);
			}
}

TYPED_TEST(MaxReductionTest, ImagesWithoutPixelsGiveTheLowestDouble)
{
	using T = TypeParam;
	for (const Eigen::Vector3i& size : {Eigen::Vector3i(0, 0, 0), Eigen::Vector3i(4, 0, 9), Eigen::Vector3i(4, 4, 0)})
	{
		const ImageDescriptor empty(PixelTypeOf<T>::value, size, 3);
		EXPECT_EQ(ImageMath::internal::maxPerChannel<T>(nullptr, empty, false), Eigen::VectorXd::Constant(3, kLowest));
		std::vector<Eigen::Vector4i> positions;
		EXPECT_EQ(ImageMath::internal::maxPerChannel<T>(nullptr, empty, false, &positions), Eigen::VectorXd::Constant(3, kLowest));
		EXPECT_EQ(positions, std::vector<Eigen::Vector4i>(3, Eigen::Vector4i(-1, -1, -1, 0)));
	}
}

TYPED_TEST(MaxReductionTest, TiesResolveToTheFirstPixel)
{
	using T = TypeParam;
	auto image = makeImage<T>({3, 3, 12}, 2);
	for (const Eigen::Vector4i& p : {Eigen::Vector4i(2, 2, 11, 0), Eigen::Vector4i(1, 0, 3, 0), Eigen::Vector4i(0, 1, 3, 0)})
		typed<T>(*image).at(p.x(), p.y(), p.z(), 0) = T(5);
	typed<T>(*image).at(2, 2, 2, 1) = T(4);
	typed<T>(*image).at(0, 0, 9, 1) = T(4);
	std::vector<Eigen::Vector4i> positions;
	Eigen::VectorXd result;
	reductionOf(*image).reduce(result, &positions);
	EXPECT_EQ(result, Eigen::Vector2d(5, 4));
	EXPECT_EQ(positions, (std::vector<Eigen::Vector4i>{Eigen::Vector4i(1, 0, 3, 0), Eigen::Vector4i(2, 2, 2, 0)}));
}

template <typename T>
class MaxReductionFloatTest : public ::testing::Test
{
};
using FloatTypes = ::testing::Types<float, double>;
TYPED_TEST_SUITE(MaxReductionFloatTest, FloatTypes, );

TYPED_TEST(MaxReductionFloatTest, NaNNeverReplacesTheMaximum)
{
	using T = TypeParam;
	auto image = makeImage<T>({3, 2, 10}, 2);
	typed<T>(*image).fill(std::numeric_limits<T>::quiet_NaN());
	std::vector<Eigen::Vector4i> positions;
	Eigen::VectorXd result;
	MaxReduction<ArrayImage> reduction = reductionOf(*image);
	EXPECT_EQ(reduction.reduce(result), Eigen::VectorXd::Constant(2, kLowest));
	EXPECT_EQ(reduction.reduce(result, &positions), Eigen::VectorXd::Constant(2, kLowest));
	EXPECT_EQ(positions, std::vector<Eigen::Vector4i>(2, Eigen::Vector4i(-1, -1, -1, 0)));

	typed<T>(*image).at(1, 1, 4, 0) = T(-3);
	typed<T>(*image).at(2, 0, 9, 0) = T(-7);
	EXPECT_EQ(reduction.reduce(result), Eigen::Vector2d(-3, kLowest));
}

TYPED_TEST(MaxReductionFloatTest, ParallelAndSerialAgreeOnTheSignOfZero)
{
	using T = TypeParam;
	auto image = makeImage<T>({2, 2, 16}, 1);
	typed<T>(*image).fill(T(-1));
	typed<T>(*image).at(1, 0, 3) = T(-0.0);
	typed<T>(*image).at(0, 1, 12) = T(0.0);
	image->mem()->setStorageMapping(1.0, -0.0);
	Eigen::VectorXd parallel, serial;
	std::vector<Eigen::Vector4i> positions;
	reductionOf(*image).reduce(parallel);
	reductionOf(*image).reduce(serial, &positions);
	ASSERT_EQ(parallel[0], 0.0);
	EXPECT_TRUE(std::signbit(parallel[0]));
	EXPECT_EQ(std::signbit(parallel[0]), std::signbit(serial[0]));
	EXPECT_EQ(positions[0], Eigen::Vector4i(1, 0, 3, 0));
}

TEST(MaxReductionCasesTest, CodesWithoutKernelLeaveTheResultEmpty)
{
	for (int type : {ImageDescriptor::Bytes2, ImageDescriptor::Bytes3, ImageDescriptor::Bytes4})
	{
		auto image = std::make_unique<SharedImage>(MemImage::create(ImageDescriptor(type, {2, 2, 2}, 1)));
		Eigen::VectorXd result = Eigen::VectorXd::Ones(4);
		std::vector<Eigen::Vector4i> positions;
		MaxReduction<ArrayImage> reduction = reductionOf(*image);
		EXPECT_EQ(reduction.reduce(result, &positions).size(), 0);
		EXPECT_TRUE(positions.empty());
	}

	// Half float is reduced as float.
	auto half = std::make_unique<SharedImage>(MemImage::create(ImageDescriptor(ImageDescriptor::HalfFloat, {2, 2, 2}, 1)));
	typed<float>(*half).at(1, 1, 1) = 0.75f;
	Eigen::VectorXd result;
	EXPECT_EQ(reductionOf(*half).reduce(result), Eigen::VectorXd::Constant(1, 0.75));
}
