#include "host/lib/DistanceTransform.h"
#include "tests/common/FixedThreadCount.h"

#include <gtest/gtest.h>

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>
#include <vector>

using namespace Quorvale;

namespace
{
	std::unique_ptr<TypedImage<unsigned char>> randomMask(const Eigen::Vector3i& dims, const Eigen::Vector3d& spacing, double density,
	                                                      unsigned seed)
	{
		auto image = TypedImage<unsigned char>::create(ImageDescriptor(ImageDescriptor::UnsignedChar, dims, 1, spacing));
		std::mt19937 random(seed);
		std::bernoulli_distribution on(density);
		for (std::size_t i = 0; i < image->descriptor().size(); ++i)
			image->pointer()[i] = on(random) ? static_cast<unsigned char>(1 + i % 3) : 0;
		return image;
	}

	/// Every voxel against every voxel; with `inside`, the nearest outside voxel lies straight
	/// along one axis beyond the nearest border (axes of one voxel excepted).
	double bruteForce(const TypedImage<unsigned char>& image, int x, int y, int z, bool inside, const Eigen::Vector3d& w)
	{
		const ImageDescriptor& d = image.descriptor();
		const Eigen::Vector3i n = d.dimensions();
		const bool object = image.at(x, y, z) != 0;
		if (object != inside)
			return 0.0;
		double best = std::numeric_limits<double>::infinity();
		for (int k = 0; k < n.z(); ++k)
			for (int j = 0; j < n.y(); ++j)
				for (int i = 0; i < n.x(); ++i)
					if ((image.at(i, j, k) != 0) != inside)
						best = std::min(best, std::hypot((i - x) * w.x(), (j - y) * w.y(), (k - z) * w.z()));
		if (inside)
		{
			const Eigen::Vector3i p(x, y, z);
			for (int a = 0; a < 3; ++a)
				if (n[a] > 1)
					best = std::min(best, std::min(p[a] + 1, n[a] - p[a]) * w[a]);
		}
		return best;
	}

	void expectMatchesBruteForce(const TypedImage<unsigned char>& image, bool inside, bool useSpacing)
	{
		const auto result = DistanceTransform::computeChamfer(image, inside, useSpacing, 0);
		const Eigen::Vector3i n = image.descriptor().dimensions();
		const Eigen::Vector3d w = useSpacing ? image.descriptor().spacing() : Eigen::Vector3d::Ones();
		for (int z = 0; z < n.z(); ++z)
			for (int y = 0; y < n.y(); ++y)
				for (int x = 0; x < n.x(); ++x)
				{
					const double expected = bruteForce(image, x, y, z, inside, w);
					const float got = result->at(x, y, z);
					if (std::isinf(expected))
						EXPECT_TRUE(std::isinf(got)) << x << "," << y << "," << z;
					else
						ASSERT_NEAR(got, expected, 1e-5 * std::max(1.0, expected)) << x << "," << y << "," << z;
				}
	}
}

TEST(DistanceTransformTest, HandComputedLineUsesSpacingAndIgnoresAxesOfOneVoxel)
{
	auto line = TypedImage<unsigned char>::create(ImageDescriptor(ImageDescriptor::UnsignedChar, {6, 1, 1}, 1, {2.0, 0.1, 0.1}));
	std::fill(line->pointer(), line->pointer() + 6, 1);
	line->at(4, 0, 0) = 0;
	const auto mm = DistanceTransform::computeChamfer(*line, true, true, 0);
	// Outside the image counts as background along x; y and z have one voxel and take no part.
	EXPECT_EQ(std::vector<float>(mm->pointer(), mm->pointer() + 6), (std::vector<float>{2, 4, 4, 2, 0, 2}));
	const auto steps = DistanceTransform::computeChamfer(*line, true, false, 0);
	EXPECT_EQ(std::vector<float>(steps->pointer(), steps->pointer() + 6), (std::vector<float>{1, 2, 2, 1, 0, 1}));
	EXPECT_EQ(mm->descriptor().spacing(), Eigen::Vector3d(2.0, 0.1, 0.1));
	EXPECT_EQ(mm->pixelType(), ImageDescriptor::Float);
}

TEST(DistanceTransformTest, MatchesBruteForceOnRandomAnisotropicVolumes)
{
	const Eigen::Vector3d spacing(0.7, 1.3, 2.1);
	for (unsigned seed = 1; seed <= 4; ++seed)
	{
		SCOPED_TRACE(seed);
		const auto image = randomMask({9, 7, 6}, spacing, seed % 2 ? 0.85 : 0.5, seed);
		expectMatchesBruteForce(*image, true, true);
		expectMatchesBruteForce(*image, true, false);
		expectMatchesBruteForce(*image, false, true);
	}
	// A full volume: every distance comes from the outside.
	auto full = TypedImage<unsigned char>::create(ImageDescriptor(ImageDescriptor::UnsignedChar, {5, 8, 4}, 1, spacing));
	full->fill(1);
	expectMatchesBruteForce(*full, true, true);
}

TEST(DistanceTransformTest, MatchesBruteForceInTwoDimensions)
{
	const auto image = randomMask({13, 11, 1}, {0.4, 1.1, 5.0}, 0.8, 7);
	expectMatchesBruteForce(*image, true, true);
	expectMatchesBruteForce(*image, false, true);
}

TEST(DistanceTransformTest, OutsideDistancesWithoutAnyObjectAreInfinite)
{
	auto empty = TypedImage<unsigned char>::create({4, 3, 2});
	const auto result = DistanceTransform::computeChamfer(*empty, false, true, 0);
	for (std::size_t i = 0; i < empty->descriptor().size(); ++i)
		EXPECT_TRUE(std::isinf(result->pointer()[i]));
	const auto inside = DistanceTransform::computeChamfer(*empty, true, true, 0);
	for (std::size_t i = 0; i < empty->descriptor().size(); ++i)
		EXPECT_EQ(inside->pointer()[i], 0.0f);
}

TEST(DistanceTransformTest, ReadsTheGivenChannelAndRejectsOthers)
{
	auto image = TypedImage<unsigned char>::create({3, 1, 1}, 2);
	// Channel 0 all set, channel 1 only the middle voxel.
	const unsigned char values[] = {1, 0, 1, 1, 1, 0};
	std::copy(std::begin(values), std::end(values), image->pointer());
	const auto first = DistanceTransform::computeChamfer(*image, true, false, 0);
	EXPECT_EQ(std::vector<float>(first->pointer(), first->pointer() + 3), (std::vector<float>{1, 2, 1}));
	const auto second = DistanceTransform::computeChamfer(*image, true, false, 1);
	EXPECT_EQ(std::vector<float>(second->pointer(), second->pointer() + 3), (std::vector<float>{0, 1, 0}));
	EXPECT_THROW(DistanceTransform::computeChamfer(*image, true, true, 2), std::out_of_range);
	EXPECT_THROW(DistanceTransform::computeChamfer(*image, true, true, -1), std::out_of_range);
}

TEST(DistanceTransformTest, ResultDoesNotDependOnTheThreadCount)
{
	const auto image = randomMask({40, 37, 23}, {0.5, 0.5, 1.5}, 0.9, 99);
	const auto transformBy = [&](int threads)
	{
		const Testing::FixedThreadCount fixed(threads);
		return DistanceTransform::computeChamfer(*image, true, true, 0);
	};
	const auto single = transformBy(1);
	const auto parallel = transformBy(std::max(omp_get_max_threads(), 4));
	EXPECT_TRUE(std::equal(single->pointer(), single->pointer() + image->descriptor().size(), parallel->pointer()));
}

TEST(DistanceTransformTest, GeneralisedTransformAddsTheStartingValues)
{
	// f = (9, inf, inf, 0, inf) along x, spacing 1: min over q of f(q) + (p - q)^2.
	std::vector<float> field = {9.0f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity(), 0.0f,
	                            std::numeric_limits<float>::infinity()};
	DistanceTransform::computeSquared(field.data(), {5, 1, 1}, Eigen::Vector3d::Ones(), false);
	EXPECT_EQ(field, (std::vector<float>{9, 4, 1, 0, 1}));
	EXPECT_THROW(DistanceTransform::computeSquared(field.data(), {5, 0, 1}, Eigen::Vector3d::Ones(), false), std::invalid_argument);
	EXPECT_THROW(DistanceTransform::computeSquared(field.data(), {5, 1, 1}, Eigen::Vector3d(1, 0, 1), false), std::invalid_argument);
}
