#include "host/lib/NearestNeighborSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <stdexcept>

using namespace Quorvale;

namespace
{
	// Every point of the list within `radius` of `query`, nearest first, ties by index.
	std::vector<int> bruteForce(const std::vector<Eigen::Vector3d>& points, const Eigen::Vector3d& query, double radius)
	{
		std::vector<int> found;
		for (int i = 0; i < static_cast<int>(points.size()); ++i)
			if ((points[static_cast<size_t>(i)] - query).norm() <= radius)
				found.push_back(i);
		std::stable_sort(found.begin(), found.end(), [&](int a, int b)
		                 { return (points[static_cast<size_t>(a)] - query).norm() < (points[static_cast<size_t>(b)] - query).norm(); });
		return found;
	}

	// A lattice with repeated points: many neighbours at exactly the same distance.
	std::vector<Eigen::Vector3d> lattice()
	{
		std::vector<Eigen::Vector3d> points;
		for (int z = 0; z < 6; ++z)
			for (int y = 0; y < 6; ++y)
				for (int x = 0; x < 6; ++x)
					points.emplace_back(x, y, z);
		points.emplace_back(2, 2, 2);
		points.emplace_back(3, 3, 3);
		return points;
	}
}

TEST(NearestNeighborSearchTest, RadiusQueriesMatchABruteForceSearchIncludingTheBoundaryAndTies)
{
	std::mt19937 random(7);
	std::uniform_real_distribution<double> coordinate(-1.0, 6.0);
	const auto points = lattice();
	NearestNeighborSearch search;
	search.buildIndex(points);
	for (int q = 0; q < 200; ++q)
	{
		// Lattice queries with whole radii put points exactly on the boundary.
		const bool onLattice = q % 2 == 0;
		const Eigen::Vector3d query = onLattice ? Eigen::Vector3d(q % 6, (q / 6) % 6, 2) : Eigen::Vector3d(coordinate(random), coordinate(random), coordinate(random));
		const double radius = onLattice ? double(q % 3) : coordinate(random) + 1.0;
		std::vector<double> distances;
		const auto found = search.findNearestNeighborsRadius(query, radius, &distances);
		EXPECT_EQ(found, bruteForce(points, query, radius)) << q;
		ASSERT_EQ(distances.size(), found.size());
		for (size_t i = 0; i < found.size(); ++i)
			EXPECT_DOUBLE_EQ(distances[i], (points[static_cast<size_t>(found[i])] - query).norm());
	}
}

TEST(NearestNeighborSearchTest, KNearestBreaksTiesByIndex)
{
	const auto points = lattice();
	NearestNeighborSearch search;
	search.buildIndex(points);
	const Eigen::Vector3d centre(2, 2, 2);
	for (int k : {1, 2, 3, 5, 9, 300})
	{
		auto expected = bruteForce(points, centre, 1e9);
		expected.resize(std::min<size_t>(static_cast<size_t>(k), expected.size()));
		EXPECT_EQ(search.findNearestNeighbors(centre, k), expected) << k;
	}
}

TEST(NearestNeighborSearchTest, MatrixMapsThePointsAndBadInputsFindNothing)
{
	NearestNeighborSearch search;
	EXPECT_TRUE(search.findNearestNeighborsRadius({0, 0, 0}, 1.0).empty());
	Eigen::Matrix4d shift = Eigen::Matrix4d::Identity();
	shift(0, 3) = 10.0;
	search.buildIndex({{0, 0, 0}, {1, 0, 0}}, shift);
	EXPECT_EQ(search.findNearestNeighborsRadius({10, 0, 0}, 0.5), std::vector<int>{0});
	const double nan = std::numeric_limits<double>::quiet_NaN();
	EXPECT_TRUE(search.findNearestNeighborsRadius({nan, 0, 0}, 5.0).empty());
	EXPECT_TRUE(search.findNearestNeighborsRadius({10, 0, 0}, -1.0).empty());
	EXPECT_TRUE(search.findNearestNeighborsRadius({10, 0, 0}, nan).empty());
	EXPECT_EQ(search.findNearestNeighborsRadius({10, 0, 0}, std::numeric_limits<double>::infinity()), (std::vector<int>{0, 1}));
	EXPECT_TRUE(search.findNearestNeighbors({10, 0, 0}, 0).empty());
	EXPECT_THROW(search.buildIndex({{0, nan, 0}}), std::invalid_argument);
	EXPECT_EQ(search.size(), 2);
}
