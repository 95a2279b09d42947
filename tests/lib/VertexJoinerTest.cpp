#include "host/lib/VertexJoiner.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Quorvale;

TEST(VertexJoinerTest, VerticesAtOnePlaceGetOneNumberInTheOrderTheyCome)
{
	std::vector<Eigen::Vector3d> places;
	VertexJoiner joiner(places, 6);
	std::vector<uint32_t> numbers;
	for (const Eigen::Vector3d& p : {Eigen::Vector3d(1, 2, 3), Eigen::Vector3d(0, 0, 0), Eigen::Vector3d(1, 2, 3),
	                                 Eigen::Vector3d(-0.0, 0, -0.0), Eigen::Vector3d(1, 2, 3.0000000000000004), Eigen::Vector3d(3, 2, 1)})
		numbers.push_back(joiner.join(p));
	EXPECT_EQ(numbers, (std::vector<uint32_t>{0, 1, 0, 1, 2, 3}));
	EXPECT_EQ(places, (std::vector<Eigen::Vector3d>{{1, 2, 3}, {0, 0, 0}, {1, 2, 3.0000000000000004}, {3, 2, 1}}));
}

TEST(VertexJoinerTest, AFullTableStillFindsEveryPlace)
{
	// As many places as the joiner is made for: every probe sequence crosses taken slots.
	const int count = 5000;
	std::vector<Eigen::Vector3d> places;
	VertexJoiner joiner(places, count);
	for (int round = 0; round < 2; ++round)
		for (int i = 0; i < count; ++i)
			ASSERT_EQ(joiner.join(Eigen::Vector3d(i % 7, i / 7, 0.5)), static_cast<uint32_t>(i));
	EXPECT_EQ(places.size(), static_cast<size_t>(count));
}
