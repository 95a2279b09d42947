#include "host/core/Geometry/Line.h"

#include <gtest/gtest.h>

using Quorvale::Geometry::Line;

TEST(LineTest, DistanceIsMeasuredPerpendicularToTheLine)
{
	const Line line = Line::throughPoints(Eigen::Vector3d(1, 1, 0), Eigen::Vector3d(1, 1, 10));
	EXPECT_DOUBLE_EQ(line.distanceToPoint(Eigen::Vector3d(4, 5, -7)), 5.0);
	EXPECT_DOUBLE_EQ(line.distanceToPoint(Eigen::Vector3d(1, 1, 100)), 0.0);
	// A line of two equal points is that point.
	EXPECT_DOUBLE_EQ(Line::throughPoints(Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero()).distanceToPoint(Eigen::Vector3d(0, 3, 4)), 5.0);
}
