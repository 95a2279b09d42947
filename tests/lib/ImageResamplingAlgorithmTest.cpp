#include "host/lib/ImageResamplingAlgorithm.h"

#include "host/core/Log.h"
#include "host/lib/TypedImage.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>

#include <cmath>
#include <limits>
#include <vector>

using namespace Quorvale;

namespace
{
	/// A set of one image whose voxel (x, y, z) holds `value(x, y, z)`.
	template <typename T, typename F>
	std::unique_ptr<SharedImageSet> makeSet(const Eigen::Vector3i& dims, const Eigen::Vector3d& spacing, F value,
	                                        const Eigen::Matrix4d& matrix = Eigen::Matrix4d::Identity())
	{
		auto mem = TypedImage<T>::create(ImageDescriptor(PixelTypeOf<T>::value, dims, 1, spacing));
		for (int z = 0; z < dims.z(); ++z)
			for (int y = 0; y < dims.y(); ++y)
				for (int x = 0; x < dims.x(); ++x)
					mem->at(x, y, z) = static_cast<T>(value(x, y, z));
		auto image = std::make_unique<SharedImage>(std::move(mem), "labels");
		image->setMatrixToWorld(matrix);
		image->setModality(Data::LabelMap);
		return std::make_unique<SharedImageSet>(std::move(image), "set");
	}

	ImageDescriptorWorld grid(const Eigen::Vector3i& dims, const Eigen::Vector3d& spacing,
	                          const Eigen::Matrix4d& matrix = Eigen::Matrix4d::Identity())
	{
		return ImageDescriptorWorld(ImageDescriptor(ImageDescriptor::UnsignedChar, dims, 1, spacing), matrix);
	}

	Eigen::Matrix4d translation(const Eigen::Vector3d& t)
	{
		Eigen::Matrix4d m = Eigen::Matrix4d::Identity();
		m.topRightCorner<3, 1>() = t;
		return m;
	}

	std::unique_ptr<SharedImageSet> resample(const SharedImageSet& set, const ImageDescriptorWorld& target)
	{
		ImageResamplingAlgorithm algorithm(set, {target});
		algorithm.setReductionMode(3);
		algorithm.compute();
		EXPECT_EQ(algorithm.status(), Algorithm::Success);
		return algorithm.takeOutput().extractFirstImage();
	}

	template <typename T>
	std::vector<double> valuesOf(const SharedImageSet& set)
	{
		const auto& mem = dynamic_cast<const TypedImage<T>&>(*set.mem(0));
		return std::vector<double>(mem.pointer(), mem.pointer() + mem.descriptor().size());
	}
}

TEST(ImageResamplingAlgorithmTest, CoarserGridTakesTheMaximumOfTheCoveredVoxels)
{
	// 4x4 values 0..15 at spacing 1, onto 2x2 at spacing 2 around the same centre.
	auto set = makeSet<unsigned char>({4, 4, 1}, {1, 1, 1}, [](int x, int y, int) { return (x * 7 + y * 5) % 16; });
	auto out = resample(*set, grid({2, 2, 1}, {2, 2, 1}));
	ASSERT_TRUE(out);
	const auto v = [](int x, int y) { return (x * 7 + y * 5) % 16; };
	std::vector<double> expected;
	for (int ty = 0; ty < 2; ++ty)
		for (int tx = 0; tx < 2; ++tx)
			expected.push_back(std::max({v(2 * tx, 2 * ty), v(2 * tx + 1, 2 * ty), v(2 * tx, 2 * ty + 1), v(2 * tx + 1, 2 * ty + 1)}));
	EXPECT_EQ(valuesOf<unsigned char>(*out), expected);
}

TEST(ImageResamplingAlgorithmTest, FinerGridTakesTheNearestVoxelAndStraddlingCellsTheLargerOfTwo)
{
	auto set = makeSet<short>({2, 1, 1}, {2, 1, 1}, [](int x, int, int) { return x == 0 ? -5 : 9; });
	// Four cells of 1 mm: each lies within one source cell.
	auto finer = resample(*set, grid({4, 1, 1}, {1, 1, 1}));
	EXPECT_EQ(valuesOf<short>(*finer), (std::vector<double>{-5, -5, 9, 9}));
	// Three cells of 4/3 mm: the middle one straddles both source cells.
	auto straddling = resample(*set, grid({3, 1, 1}, {4.0 / 3.0, 1, 1}));
	EXPECT_EQ(valuesOf<short>(*straddling), (std::vector<double>{-5, 9, 9}));
}

TEST(ImageResamplingAlgorithmTest, CellsOutsideTheSourceGetZeroAndPartialOnesTheInsidePart)
{
	auto set = makeSet<float>({3, 3, 3}, {1, 1, 1}, [](int, int, int) { return -2.0; });
	// Shifted by 2 mm along x: target voxels 0..2 overlap source voxels 2, none, none; the grid
	// extends one cell further in y on both sides.
	auto out = resample(*set, grid({3, 5, 3}, {1, 1, 1}, translation({2.0, 0.0, 0.0})));
	const auto& mem = dynamic_cast<const TypedImage<float>&>(*out->mem(0));
	for (int z = 0; z < 3; ++z)
		for (int y = 0; y < 5; ++y)
			for (int x = 0; x < 3; ++x)
			{
				const bool inside = x == 0 && y >= 1 && y <= 3;
				EXPECT_EQ(mem.at(x, y, z), inside ? -2.0f : 0.0f) << x << "," << y << "," << z;
			}
}

TEST(ImageResamplingAlgorithmTest, KeepsElementTypeStorageMappingNameModalityAndTakesTheTargetPlacement)
{
	auto set = makeSet<unsigned short>({6, 6, 6}, {0.5, 0.5, 0.5}, [](int x, int y, int z) { return x + 10 * y + 100 * z; });
	set->get(0)->mem()->setStorageMapping(0.5, 3.0);
	const Eigen::Matrix4d placement = translation({0.25, -0.25, 0.0});
	auto out = resample(*set, grid({3, 3, 3}, {1, 1, 1}, placement));
	ASSERT_TRUE(out);
	ASSERT_EQ(out->size(), 1);
	const ImageDescriptor& d = out->get(0)->descriptor();
	EXPECT_EQ(d.pixelType(), ImageDescriptor::UnsignedShort);
	EXPECT_EQ(d.dimensions(), Eigen::Vector3i(3, 3, 3));
	EXPECT_EQ(d.spacing(), Eigen::Vector3d(1, 1, 1));
	EXPECT_EQ(d.slope(), 0.5);
	EXPECT_EQ(d.intercept(), 3.0);
	EXPECT_EQ(out->get(0)->name(), "labels");
	EXPECT_EQ(out->get(0)->modality(), Data::LabelMap);
	EXPECT_EQ(out->matrixToWorld(), placement);
	EXPECT_EQ(out->name(), "set");

	// Shifted by half a source voxel, each target cell covers 3 source voxels per axis, except
	// at the edges where it runs out of the source.
	const auto& mem = dynamic_cast<const TypedImage<unsigned short>&>(*out->mem(0));
	auto lastCovered = [](int t, int shiftSign)
	{
		// Target cell t is centred on source coordinate 2t + 0.5 + shift (shift 0 or +-0.5 voxels)
		// and spans one source voxel to either side.
		const double hi = 2 * t + 1.5 + 0.5 * shiftSign;
		return std::min(static_cast<int>(std::ceil(hi + 0.5)) - 1, 5);
	};
	for (int z = 0; z < 3; ++z)
		for (int y = 0; y < 3; ++y)
			for (int x = 0; x < 3; ++x)
				EXPECT_EQ(mem.at(x, y, z), lastCovered(x, 1) + 10 * lastCovered(y, -1) + 100 * lastCovered(z, 0))
				    << x << "," << y << "," << z;
}

TEST(ImageResamplingAlgorithmTest, RotatedGridsUseTheBoundingBoxOfEachCell)
{
	auto set = makeSet<int>({3, 3, 1}, {1, 1, 1}, [](int x, int y, int) { return 1 + x + 3 * y; });
	// A quarter turn about z: target voxel (x, y) sits on source voxel (2 - y, x).
	Eigen::Matrix4d turn = Eigen::Matrix4d::Identity();
	turn.topLeftCorner<3, 3>() = Eigen::AngleAxisd(M_PI / 2, Eigen::Vector3d::UnitZ()).toRotationMatrix();
	auto out = resample(*set, grid({3, 3, 1}, {1, 1, 1}, turn));
	const auto& mem = dynamic_cast<const TypedImage<int>&>(*out->mem(0));
	for (int y = 0; y < 3; ++y)
		for (int x = 0; x < 3; ++x)
			EXPECT_EQ(mem.at(x, y, 0), 1 + (2 - y) + 3 * x) << x << "," << y;
}

TEST(ImageResamplingAlgorithmTest, TwoDimensionalImagesStayTwoDimensional)
{
	auto set = makeSet<unsigned char>({5, 4, 1}, {0.5, 0.5, 3.0}, [](int x, int y, int) { return x == 4 && y == 3 ? 1 : 0; });
	auto out = resample(*set, grid({3, 2, 1}, {1, 1, 1}, translation({0.25, 0.0, 0.0})));
	// Target x cells span source x in [-1, 1], [1, 3], [3, 5]; y cells [-0.5, 1.5], [1.5, 3.5].
	EXPECT_EQ(valuesOf<unsigned char>(*out), (std::vector<double>{0, 0, 0, 0, 0, 1}));
}

TEST(ImageResamplingAlgorithmTest, ResamplesEverySelectedImageOntoItsOwnTarget)
{
	auto set = makeSet<unsigned char>({2, 2, 1}, {1, 1, 1}, [](int x, int, int) { return x + 1; });
	set->add(set->get(0)->clone());
	set->add(set->get(0)->clone());
	set->setSelection(Selection({0, 2}));
	ImageResamplingAlgorithm algorithm(*set, {grid({1, 1, 1}, {2, 2, 1}), grid({9, 9, 9}, {1, 1, 1}), grid({4, 4, 1}, {0.5, 0.5, 1})});
	algorithm.compute();
	ASSERT_EQ(algorithm.status(), Algorithm::Success);
	auto out = algorithm.takeOutput().extractFirstImage();
	ASSERT_EQ(out->size(), 2);
	EXPECT_EQ(out->get(0)->descriptor().dimensions(), Eigen::Vector3i(1, 1, 1));
	EXPECT_EQ(out->get(1)->descriptor().dimensions(), Eigen::Vector3i(4, 4, 1));
	EXPECT_EQ(valuesOf<unsigned char>(*out), (std::vector<double>{2}));
}

TEST(ImageResamplingAlgorithmTest, InvalidRequestsFailWithStatusTwoAndAMessage)
{
	auto set = makeSet<unsigned char>({2, 2, 2}, {1, 1, 1}, [](int, int, int) { return 1; });
	auto failsWith = [](const SharedImageSet& input, std::vector<ImageDescriptorWorld> targets, int mode, const std::string& part)
	{
		Log::ScopedCapture capture;
		ImageResamplingAlgorithm algorithm(input, std::move(targets));
		algorithm.setReductionMode(mode);
		algorithm.compute();
		EXPECT_EQ(algorithm.status(), Algorithm::InvalidInput) << part;
		EXPECT_FALSE(algorithm.takeOutput().extractFirstImage()) << part;
		const auto messages = capture.sink().messages(Log::Error);
		ASSERT_EQ(messages.size(), 1u) << part;
		EXPECT_NE(messages[0].find(part), std::string::npos) << messages[0];
	};
	failsWith(SharedImageSet(), {grid({1, 1, 1}, {1, 1, 1})}, 3, "holds no image");
	failsWith(*set, {grid({1, 1, 1}, {1, 1, 1})}, 0, "Reduction mode 0");
	failsWith(*set, {grid({1, 1, 1}, {1, 1, 1}), grid({1, 1, 1}, {1, 1, 1})}, 3, "one per image");
	failsWith(*set, {}, 3, "one per image");
	failsWith(*set, {grid({1, 0, 1}, {1, 1, 1})}, 3, "Invalid target grid");
	failsWith(*set, {grid({1, 1, 1}, {1, std::numeric_limits<double>::quiet_NaN(), 1})}, 3, "Invalid target grid");
}
