#include "synthetic/CenterlineMatch.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <vector>

#include <Eigen/Geometry>
#include <boost/geometry.hpp>
#include <boost/geometry/index/rtree.hpp>


namespace Quorvale::SyntheticVessels
{
	namespace
	{
		namespace bg = boost::geometry;
		namespace bgi = boost::geometry::index;
		using Point = bg::model::point<double, 3, bg::cs::cartesian>;
		using Line = bg::model::segment<Point>;
		using LineTree = bgi::rtree<Line, bgi::rstar<16>>;

		Point toPoint(const Eigen::Vector3d& v) { return Point(v.x(), v.y(), v.z()); }

		/// Distance from `point` to the nearest line of the tree; infinite for an empty tree.
		double distanceTo(const LineTree& lines, const Eigen::Vector3d& point)
		{
			const Point query = toPoint(point);
			const auto nearest = lines.qbegin(bgi::nearest(query, 1));
			return nearest == lines.qend() ? std::numeric_limits<double>::infinity() : bg::distance(query, *nearest);
		}

		/// Calls `f` with points along the polyline from arc length `from` to arc length `to` (both
		/// included), evenly spaced no further apart than `step`; nothing when `from` > `to`.
		template <typename F>
		void samplePolyline(const std::vector<Eigen::Vector3d>& points, double step, double from, double to, const F& f)
		{
			if (!(from <= to) || !std::isfinite(to - from) || points.empty())
				return;
			const int count = static_cast<int>(std::ceil((to - from) / step));
			size_t piece = 0;
			double pieceStart = 0.0;
			for (int k = 0; k <= count; ++k)
			{
				const double at = count == 0 ? from : from + (to - from) * (static_cast<double>(k) / count);
				// Advance to the piece that holds arc length `at`.
				while (piece + 2 < points.size() && pieceStart + (points[piece + 1] - points[piece]).norm() < at)
				{
					pieceStart += (points[piece + 1] - points[piece]).norm();
					++piece;
				}
				if (points.size() == 1)
				{
					f(points.front());
					continue;
				}
				const Eigen::Vector3d& a = points[piece];
				const Eigen::Vector3d& b = points[piece + 1];
				const double length = (b - a).norm();
				const double t = length > 0.0 ? std::clamp((at - pieceStart) / length, 0.0, 1.0) : 0.0;
				f(Eigen::Vector3d(a + t * (b - a)));
			}
		}

		double polylineLength(const std::vector<Eigen::Vector3d>& points)
		{
			double length = 0.0;
			for (size_t i = 1; i < points.size(); ++i)
				length += (points[i] - points[i - 1]).norm();
			return length;
		}
	}

	CenterlineMatch matchCenterline(const VesselTree& tree, const GraphGeometry& graph, double tolerance)
	{
		if (!(tolerance > 0.0) || !std::isfinite(tolerance))
			throw std::invalid_argument("The tolerance of a centreline match must be positive and finite.");
		const double step = 0.25 * tolerance;

		// The graph as lines: every edge, and every node without neighbours as a point.
		std::vector<Line> graphLines;
		for (const auto& [a, b] : graph.edges)
			graphLines.emplace_back(toPoint(a), toPoint(b));
		for (const Eigen::Vector3d& node : graph.isolatedNodes)
			graphLines.emplace_back(toPoint(node), toPoint(node));
		const LineTree graphTree(graphLines.begin(), graphLines.end());

		std::vector<Line> truthLines;
		for (const Segment& segment : tree.segments)
			for (size_t i = 1; i < segment.points.size(); ++i)
				truthLines.emplace_back(toPoint(segment.points[i - 1]), toPoint(segment.points[i]));
		const LineTree truthTree(truthLines.begin(), truthLines.end());

		CenterlineMatch match;
		std::size_t covered = 0;
		for (const Segment& segment : tree.segments)
		{
			const double length = polylineLength(segment.points);
			const double skipStart = tree.degree(segment.from) == 1 ? segment.radii.front() : 0.0;
			const double skipEnd = tree.degree(segment.to) == 1 ? segment.radii.back() : 0.0;
			samplePolyline(segment.points, step, skipStart, length - skipEnd,
			               [&](const Eigen::Vector3d& point)
			               {
				               const double distance = distanceTo(graphTree, point);
				               ++match.samples;
				               covered += distance <= tolerance ? 1 : 0;
				               match.largestDistance = std::max(match.largestDistance, distance);
			               });
		}
		match.coverage = match.samples > 0 ? static_cast<double>(covered) / static_cast<double>(match.samples) : 0.0;

		for (const Line& line : graphLines)
		{
			const Eigen::Vector3d a(bg::get<0, 0>(line), bg::get<0, 1>(line), bg::get<0, 2>(line));
			const Eigen::Vector3d b(bg::get<1, 0>(line), bg::get<1, 1>(line), bg::get<1, 2>(line));
			if (!a.allFinite() || !b.allFinite())
			{
				match.largestGraphDistance = std::numeric_limits<double>::infinity();
				continue;
			}
			samplePolyline({a, b}, step, 0.0, (b - a).norm(),
			               [&](const Eigen::Vector3d& point)
			               { match.largestGraphDistance = std::max(match.largestGraphDistance, distanceTo(truthTree, point)); });
		}
		return match;
	}
}
