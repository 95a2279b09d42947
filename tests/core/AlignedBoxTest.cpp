#include "host/core/Geometry/AlignedBox.h"

#include <gtest/gtest.h>

using namespace Quorvale;

TEST(AlignedBoxTest, GrowsFromEmpty)
{
	Geometry::AlignedBox box;
	EXPECT_TRUE(box.isEmpty());
	EXPECT_EQ(box.size(), Eigen::Vector3d::Zero());
	box.addPoint({1, 2, 3});
	EXPECT_FALSE(box.isEmpty());
	EXPECT_EQ(box.min(), Eigen::Vector3d(1, 2, 3));
	EXPECT_EQ(box.max(), Eigen::Vector3d(1, 2, 3));
	box.addPoint({-1, 4, 3});
	EXPECT_EQ(box.min(), Eigen::Vector3d(-1, 2, 3));
	EXPECT_EQ(box.max(), Eigen::Vector3d(1, 4, 3));
	EXPECT_EQ(box.center(), Eigen::Vector3d(0, 3, 3));
	EXPECT_TRUE(box.contains({0, 3, 3}));
	EXPECT_FALSE(box.contains({0, 5, 3}));
	EXPECT_EQ(Geometry::AlignedBox(), Geometry::AlignedBox());
	EXPECT_NE(box, Geometry::AlignedBox());
}
