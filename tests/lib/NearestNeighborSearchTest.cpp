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
		std::vector<Eigen::Vector3d> points{{2, 2, 2}, {3, 3, 3}};
		for (int i = 0; i < 216; ++i)
			points.emplace_back(i % 6, (i / 6) % 6, i / 36);
		return points;
	}
}

TEST(NearestNeighborSearchTest, QueriesMatchABruteForceSearchIncludingTheBoundaryAndTies)
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
		EXPECT_TRUE(found.empty() || distances.front() == (points[static_cast<size_t>(found.front())] - query).norm());
		// The k nearest are the first k of all, ties broken by index as well.
		auto all = bruteForce(points, query, 1e9);
		all.resize(static_cast<size_t>(q % 9 + 1));
		EXPECT_EQ(search.findNearestNeighbors(query, q % 9 + 1), all) << q;
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
