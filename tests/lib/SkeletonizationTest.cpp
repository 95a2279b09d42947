#include "host/lib/Skeletonization.h"

#include "tests/lib/BinaryVolumes.h"
#include "tests/common/FixedThreadCount.h"

#include <gtest/gtest.h>

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <random>

using namespace Quorvale;
using namespace BinaryVolumes;

namespace
{
	/// The neighbourhood as a 3x3x3 array, [dz + 1][dy + 1][dx + 1].
	using Cube = std::array<std::array<std::array<bool, 3>, 3>, 3>;

	Cube cubeOf(std::uint32_t word)
	{
		Cube c{};
		for (int dz = -1; dz <= 1; ++dz)
			for (int dy = -1; dy <= 1; ++dy)
				for (int dx = -1; dx <= 1; ++dx)
					c[dz + 1][dy + 1][dx + 1] = (word >> Skeletonization::bit(dx, dy, dz)) & 1;
		return c;
	}

	/// Components of the cells selected by `member` (offsets -1..1), joined by face steps or by any step.
	template <typename Member, typename Counted>
	int cubeComponents(Member member, bool any, Counted counted)
	{
		bool seen[3][3][3] = {};
		int count = 0;
		for (int z = 0; z < 3; ++z)
			for (int y = 0; y < 3; ++y)
				for (int x = 0; x < 3; ++x)
				{
					if (seen[z][y][x] || !member(x - 1, y - 1, z - 1))
						continue;
					bool counts = false;
					std::vector<std::array<int, 3>> stack = {{x, y, z}};
					seen[z][y][x] = true;
					while (!stack.empty())
					{
						const auto [px, py, pz] = stack.back();
						stack.pop_back();
						counts = counts || counted(px - 1, py - 1, pz - 1);
						for (int dz = -1; dz <= 1; ++dz)
							for (int dy = -1; dy <= 1; ++dy)
								for (int dx = -1; dx <= 1; ++dx)
								{
									const int qx = px + dx, qy = py + dy, qz = pz + dz;
									const int steps = std::abs(dx) + std::abs(dy) + std::abs(dz);
									if (steps == 0 || (!any && steps > 1) || qx < 0 || qy < 0 || qz < 0 || qx > 2 || qy > 2 || qz > 2 ||
									    seen[qz][qy][qx] || !member(qx - 1, qy - 1, qz - 1))
										continue;
									seen[qz][qy][qx] = true;
									stack.push_back({qx, qy, qz});
								}
					}
					count += counts;
				}
		return count;
	}

	/// The textbook test, independent of the bit tricks: one 26-component of object neighbours,
	/// one 6-component of background face and edge neighbours touching a face neighbour.
	bool referenceSimple(const Cube& c)
	{
		auto isCentre = [](int x, int y, int z) { return x == 0 && y == 0 && z == 0; };
		auto object = [&](int x, int y, int z) { return !isCentre(x, y, z) && c[z + 1][y + 1][x + 1]; };
		auto background18 = [&](int x, int y, int z)
		{ return !isCentre(x, y, z) && std::abs(x) + std::abs(y) + std::abs(z) <= 2 && !c[z + 1][y + 1][x + 1]; };
		auto face = [](int x, int y, int z) { return std::abs(x) + std::abs(y) + std::abs(z) == 1; };
		return cubeComponents(object, true, [](int, int, int) { return true; }) == 1 && cubeComponents(background18, false, face) == 1;
	}

	Cube cubeAt(const Mask& m, int x, int y, int z)
	{
		Cube c{};
		for (int dz = -1; dz <= 1; ++dz)
			for (int dy = -1; dy <= 1; ++dy)
				for (int dx = -1; dx <= 1; ++dx)
					c[dz + 1][dy + 1][dx + 1] = at(m, x + dx, y + dy, z + dz);
		return c;
	}

	bool referenceDeletable(const Mask& m, int x, int y, int z)
	{
		return neighbours(m, x, y, z) != 1 && referenceSimple(cubeAt(m, x, y, z));
	}

	/// The same directional thinning done plainly and sequentially: candidates in index order, then
	/// deleted one by one in subfield order, each tested again just before.
	void referenceThin(Mask& m)
	{
		const Eigen::Vector3i n = m.descriptor().dimensions();
		const bool planar = n.z() == 1;
		const int directions[6][3] = {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}};
		for (std::size_t i = 0; i < m.descriptor().size(); ++i)
			m.pointer()[i] = m.pointer()[i] != 0;
		for (bool changed = true; changed;)
		{
			changed = false;
			for (int d = 0; d < (planar ? 4 : 6); ++d)
			{
				std::vector<Eigen::Vector3i> candidates;
				for (int z = 0; z < n.z(); ++z)
					for (int y = 0; y < n.y(); ++y)
						for (int x = 0; x < n.x(); ++x)
							if (at(m, x, y, z) && !at(m, x + directions[d][0], y + directions[d][1], z + directions[d][2]) &&
							    referenceDeletable(m, x, y, z))
								candidates.push_back({x, y, z});
				for (int s = 0; s < 8; ++s)
					for (const Eigen::Vector3i& p : candidates)
						if (((p.x() & 1) | (p.y() & 1) << 1 | (p.z() & 1) << 2) == s && referenceDeletable(m, p.x(), p.y(), p.z()))
						{
							m.at(p.x(), p.y(), p.z()) = 0;
							changed = true;
						}
			}
		}
	}

	std::unique_ptr<Mask> thinned(const Mask& m)
	{
		auto copy = m.clone();
		Skeletonization::thin(*copy);
		return copy;
	}

	bool sameVoxels(const Mask& a, const Mask& b) { return std::equal(a.pointer(), a.pointer() + a.descriptor().size(), b.pointer()); }

	/// No voxel of a finished skeleton can be deleted any more: each is an end point or not simple.
	void expectThin(const Mask& skeleton)
	{
		const Eigen::Vector3i n = skeleton.descriptor().dimensions();
		for (int z = 0; z < n.z(); ++z)
			for (int y = 0; y < n.y(); ++y)
				for (int x = 0; x < n.x(); ++x)
					if (at(skeleton, x, y, z))
					{
						EXPECT_FALSE(referenceDeletable(skeleton, x, y, z)) << "deletable voxel left at " << x << "," << y << "," << z;
					}
	}

	/// A simple open curve: one component, every voxel with one or two neighbours, two end points.
	void expectSimpleCurve(const Mask& skeleton)
	{
		const Eigen::Vector3i n = skeleton.descriptor().dimensions();
		int ends = 0;
		for (int z = 0; z < n.z(); ++z)
			for (int y = 0; y < n.y(); ++y)
				for (int x = 0; x < n.x(); ++x)
					if (at(skeleton, x, y, z))
					{
						const int k = neighbours(skeleton, x, y, z);
						EXPECT_GE(k, 1) << x << "," << y << "," << z;
						EXPECT_LE(k, 2) << x << "," << y << "," << z;
						ends += k == 1;
					}
		EXPECT_EQ(ends, 2);
		EXPECT_EQ(topology(skeleton), (Topology{1, 0, 0}));
	}
}

TEST(SkeletonizationTest, SimplePointTestAgreesWithTheTextbookDefinition)
{
	using Skeletonization::bit;
	EXPECT_FALSE(Skeletonization::isSimple(0)) << "an isolated voxel is a component of its own";
	EXPECT_FALSE(Skeletonization::isSimple((1u << 27) - 1)) << "an interior voxel would open a cavity";
	EXPECT_TRUE(Skeletonization::isSimple(1u << bit(1, 1, 1)));
	EXPECT_FALSE(Skeletonization::isSimple(1u << bit(-1, 0, 0) | 1u << bit(1, 0, 0))) << "the middle of a line";
	EXPECT_TRUE(Skeletonization::isEndPoint(1u << bit(0, -1, 1) | 1u << 13));
	EXPECT_FALSE(Skeletonization::isEndPoint(1u << bit(0, -1, 1) | 1u << bit(0, 1, 1)));

	std::mt19937 random(2024);
	for (int i = 0; i < 200000; ++i)
	{
		// Densities from sparse to full, so that both tests meet all kinds of configurations.
		const double density = (i % 9 + 0.5) / 9.0;
		std::bernoulli_distribution on(density);
		std::uint32_t word = 0;
		for (int b = 0; b < 27; ++b)
			word |= static_cast<std::uint32_t>(on(random)) << b;
		ASSERT_EQ(Skeletonization::isSimple(word), referenceSimple(cubeOf(word))) << std::hex << word;
	}
}

TEST(SkeletonizationTest, EvenSquareBarsKeepACentredLine)
{
	for (int width : {2, 4, 6})
	{
		SCOPED_TRACE(width);
		auto bar = empty(width + 4, width + 4, 24);
		box(*bar, {2, 2, 3}, {width + 1, width + 1, 20});
		const auto skeleton = thinned(*bar);
		expectSimpleCurve(*skeleton);
		expectThin(*skeleton);
		EXPECT_GE(count(*skeleton), 18u - static_cast<std::size_t>(width)) << "the line runs most of the bar's length";
	}
}

TEST(SkeletonizationTest, SolidEvenCubeAndSingleVoxelKeepAVoxel)
{
	auto cube = empty(10, 10, 10);
	box(*cube, {2, 2, 2}, {7, 7, 7});
	const auto skeleton = thinned(*cube);
	EXPECT_GE(count(*skeleton), 1u);
	EXPECT_EQ(topology(*skeleton), (Topology{1, 0, 0}));
	expectThin(*skeleton);

	auto single = empty(3, 3, 3);
	single->at(1, 1, 1) = 1;
	EXPECT_TRUE(sameVoxels(*thinned(*single), *single));
	auto corner = empty(3, 3, 3);
	corner->at(0, 0, 0) = 1;
	EXPECT_TRUE(sameVoxels(*thinned(*corner), *corner));
}

TEST(SkeletonizationTest, ObjectsTouchingTheBorderKeepTheirSkeleton)
{
	// A bar through the whole image along z and flush with two faces, and a full image.
	for (int width : {2, 4})
	{
		SCOPED_TRACE(width);
		auto bar = empty(width + 2, width + 2, 16);
		box(*bar, {0, 0, 0}, {width - 1, width - 1, 15});
		const auto skeleton = thinned(*bar);
		expectSimpleCurve(*skeleton);
		EXPECT_GE(count(*skeleton), 12u);
	}
	auto full = empty(6, 5, 4);
	full->fill(1);
	const auto skeleton = thinned(*full);
	EXPECT_EQ(topology(*skeleton), (Topology{1, 0, 0}));
	expectThin(*skeleton);
}

TEST(SkeletonizationTest, TubeGivesAOneVoxelLineAndRingKeepsItsLoop)
{
	auto tube = empty(11, 11, 30);
	paint(*tube, [](const Eigen::Vector3d& p) { return p.z() >= 2 && p.z() <= 27 && std::hypot(p.x() - 5, p.y() - 5) <= 3.2; });
	const auto line = thinned(*tube);
	expectSimpleCurve(*line);
	for (int z = 0; z < 30; ++z)
		for (int y = 0; y < 11; ++y)
			for (int x = 0; x < 11; ++x)
				if (at(*line, x, y, z))
				{
					EXPECT_TRUE(x == 5 && y == 5) << "the line of a symmetric tube is its axis: " << x << "," << y << "," << z;
				}

	auto ring = empty(24, 24, 9);
	paint(*ring, [](const Eigen::Vector3d& p) { return std::hypot(std::hypot(p.x() - 11.5, p.y() - 11.5) - 7.0, p.z() - 4.0) <= 2.6; });
	ASSERT_EQ(topology(*ring), (Topology{1, 1, 0}));
	const auto loop = thinned(*ring);
	EXPECT_EQ(topology(*loop), (Topology{1, 1, 0}));
	expectThin(*loop);
	EXPECT_LT(count(*loop), 80u) << "a curve, not a surface";
}

TEST(SkeletonizationTest, TwoDimensionalShapesThinWithinTheirPlane)
{
	auto rectangle = empty(14, 8, 1);
	box(*rectangle, {1, 1, 0}, {12, 6, 0});
	const auto line = thinned(*rectangle);
	EXPECT_EQ(topology(*line), (Topology{1, 0, 0}));
	expectThin(*line);

	auto bar = empty(16, 2, 1);
	box(*bar, {0, 0, 0}, {15, 1, 0});
	expectSimpleCurve(*thinned(*bar));

	auto annulus = empty(20, 20, 1);
	paint(*annulus,
	      [](const Eigen::Vector3d& p)
	      {
		      const double r = std::hypot(p.x() - 9.5, p.y() - 9.5);
		      return r >= 4.0 && r <= 8.5;
	      });
	ASSERT_EQ(topology(*annulus), (Topology{1, 1, 0}));
	const auto curve = thinned(*annulus);
	EXPECT_EQ(topology(*curve), (Topology{1, 1, 0}));
	expectThin(*curve);
	for (int y = 0; y < 20; ++y)
		for (int x = 0; x < 20; ++x)
			if (at(*curve, x, y, 0))
			{
				EXPECT_LE(neighbours(*curve, x, y, 0), 2) << "a one-voxel closed curve: " << x << "," << y;
			}
}

TEST(SkeletonizationTest, EqualsSequentialReferenceAndKeepsTopologyOnRandomBlobs)
{
	struct Case
	{
		Eigen::Vector3i size;
		int balls;
		double density;
	};
	const Case cases[] = {{{12, 12, 12}, 6, 0.0}, {{14, 11, 9}, 10, 0.0}, {{9, 9, 9}, 0, 0.55},
	                      {{10, 8, 7}, 0, 0.75},  {{18, 15, 1}, 5, 0.0},  {{16, 16, 1}, 0, 0.6}};
	for (unsigned seed = 1; seed <= 3; ++seed)
		for (const Case& c : cases)
		{
			SCOPED_TRACE(testing::Message() << "seed " << seed << ", size " << c.size.transpose() << ", balls " << c.balls);
			const auto blob = randomBlob(c.size, c.balls, c.density, seed);
			const auto skeleton = thinned(*blob);
			auto reference = blob->clone();
			referenceThin(*reference);
			EXPECT_TRUE(sameVoxels(*skeleton, *reference)) << "parallel subfields must equal the sequential pass";
			EXPECT_EQ(topology(*skeleton), topology(*blob));
			expectThin(*skeleton);
		}
}

TEST(SkeletonizationTest, ResultDoesNotDependOnTheThreadCount)
{
	// Large enough that the border and the subfields are split among the threads.
	for (const auto& blob : {randomBlob({64, 64, 64}, 0, 0.7, 77), randomBlob({40, 36, 30}, 60, 0.0, 78)})
	{
		const auto thinnedBy = [&](int threads)
		{
			const Testing::FixedThreadCount fixed(threads);
			return thinned(*blob);
		};
		const auto single = thinnedBy(1);
		const auto three = thinnedBy(3);
		const auto many = thinnedBy(std::max(omp_get_max_threads(), 8));
		EXPECT_TRUE(sameVoxels(*single, *three));
		EXPECT_TRUE(sameVoxels(*single, *many));
		EXPECT_EQ(topology(*single), topology(*blob));
	}
}

TEST(SkeletonizationTest, WritesZeroAndOneAndRejectsSeveralChannels)
{
	auto labels = empty(5, 5, 5);
	box(*labels, {1, 1, 1}, {3, 3, 3});
	labels->at(2, 2, 2) = 7;
	const auto skeleton = thinned(*labels);
	for (std::size_t i = 0; i < skeleton->descriptor().size(); ++i)
		EXPECT_LE(skeleton->pointer()[i], 1);
	EXPECT_EQ(topology(*skeleton), (Topology{1, 0, 0}));
	expectThin(*skeleton);

	auto twoChannels = TypedImage<unsigned char>::create({3, 3, 3}, 2);
	EXPECT_THROW(Skeletonization::thin(*twoChannels), std::invalid_argument);
}
