#include "host/lib/PolygonTriangulator.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>
#include <vector>

using namespace Quorvale;

namespace
{
	/// Corners in the plane z = 0, or tilted out of it when `tilted`, moved by `offset` on every axis.
	std::vector<Eigen::Vector3d> flat(const std::vector<Eigen::Vector2d>& points, bool tilted = false, double offset = 0)
	{
		const Eigen::Matrix3d turn = tilted ? Eigen::AngleAxisd(1.1, Eigen::Vector3d(1, 2, 0.5).normalized()).toRotationMatrix()
		                                    : Eigen::Matrix3d::Identity();
		std::vector<Eigen::Vector3d> out;
		for (const Eigen::Vector2d& p : points)
			out.push_back(turn * Eigen::Vector3d(p.x(), p.y(), 0) + Eigen::Vector3d(3, -1, 2) + Eigen::Vector3d::Constant(offset));
		return out;
	}

	/// The polygon's vector area (its normal times its area), summed about its first corner.
	Eigen::Vector3d vectorArea(const std::vector<Eigen::Vector3d>& corners)
	{
		Eigen::Vector3d sum = Eigen::Vector3d::Zero();
		for (size_t i = 1; i + 1 < corners.size(); ++i)
			sum += (corners[i] - corners[0]).cross(corners[i + 1] - corners[0]);
		return sum / 2;
	}
}

TEST(PolygonTriangulatorTest, TrianglesCoverASimplePolygonKeepingItsWinding)
{
	const std::vector<Eigen::Vector2d> arrow = {{0, 0}, {2, 0}, {2, 2}, {1, 0.5}, {0, 2}};
	std::vector<Eigen::Vector2d> star, comb;
	for (int k = 0; k < 10; ++k)
		star.emplace_back((k % 2 ? 1.0 : 3.0) * std::cos(0.6283 * k), (k % 2 ? 1.0 : 3.0) * std::sin(0.6283 * k));
	// Teeth along the top: half of its corners point inwards.
	for (int k = 0; k < 20; ++k)
		comb.emplace_back(k, k % 2 ? 1.0 : 5.0);
	comb.emplace_back(19, -1);
	comb.emplace_back(0, -1);
	// Convex and not, flat and tilted, either way round.
	const std::vector<std::pair<const char*, std::vector<Eigen::Vector3d>>> polygons = {
	    {"square", flat({{0, 0}, {1, 0}, {1, 1}, {0, 1}})},
	    {"arrow", flat(arrow)},
	    {"tilted arrow", flat(arrow, true)},
	    {"clockwise arrow", flat({arrow.rbegin(), arrow.rend()})},
	    // Far from the origin, where products of coordinates round off more than the polygon's area.
	    {"far arrow", flat(arrow, false, 1e9)},
	    {"ell", flat({{0, 0}, {3, 0}, {3, 1}, {1, 1}, {1, 3}, {0, 3}}, true)},
	    {"star", flat(star)},
	    {"comb", flat(comb, true)},
	    // A square with a corner halfway along an edge, and one listed twice.
	    {"midpoints", flat({{0, 0}, {1, 0}, {2, 0}, {2, 2}, {2, 2}, {0, 2}})},
	};
	PolygonTriangulator triangulator;
	for (const auto& [name, corners] : polygons)
	{
		const auto& triangles = triangulator.triangulate(corners);
		ASSERT_EQ(triangles.size(), corners.size() - 2) << name;
		const Eigen::Vector3d area = vectorArea(corners);
		double total = 0;
		for (const auto& t : triangles)
		{
			const Eigen::Vector3d part = vectorArea({corners[size_t(t[0])], corners[size_t(t[1])], corners[size_t(t[2])]});
			// No triangle turns against the polygon; a fan of a concave polygon has one that does.
			EXPECT_GE(part.dot(area), -1e-12) << name;
			total += part.norm();
		}
		// Triangles inside the polygon that do not overlap add up to its area.
		EXPECT_NEAR(total, area.norm(), 1e-9 * area.norm()) << name;
	}
}

TEST(PolygonTriangulatorTest, AConvexPolygonIsTheFanAroundItsFirstCorner)
{
	PolygonTriangulator triangulator;
	const auto& triangles = triangulator.triangulate(flat({{0, 0}, {2, 0}, {3, 1}, {2, 2}, {0, 2}}));
	EXPECT_EQ(triangles, (std::vector<std::array<int, 3>>{{0, 1, 2}, {0, 2, 3}, {0, 3, 4}}));
}

TEST(PolygonTriangulatorTest, WhatHasNoInsideGivesATriangleForEveryCornerButTwo)
{
	PolygonTriangulator triangulator;
	// Corners on one line, at one place, and a bow tie that crosses itself.
	for (const auto& corners : {flat({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}}), flat({{1, 1}, {1, 1}, {1, 1}, {1, 1}}),
	                            flat({{0, 0}, {2, 2}, {2, 0}, {0, 2}, {-1, 1}, {1, 3}})})
	{
		const auto& triangles = triangulator.triangulate(corners);
		ASSERT_EQ(triangles.size(), corners.size() - 2);
		std::set<int> used;
		for (const auto& t : triangles)
			for (const int corner : t)
			{
				ASSERT_GE(corner, 0);
				ASSERT_LT(corner, static_cast<int>(corners.size()));
				used.insert(corner);
			}
		EXPECT_EQ(used.size(), corners.size());
	}
}
