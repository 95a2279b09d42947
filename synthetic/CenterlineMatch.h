#pragma once

#include "synthetic/VesselTree.h"

#include <Eigen/Core>

#include <cstddef>
#include <utility>
#include <vector>

namespace Quorvale
{
	namespace SyntheticVessels
	{
		/// A graph's shape in world millimetres: its edges as line segments, and its nodes without
		/// edges as points. See synthetic/GraphGeometry.h for taking it from a `Graph`.
		struct GraphGeometry
		{
			std::vector<std::pair<Eigen::Vector3d, Eigen::Vector3d>> edges;
			std::vector<Eigen::Vector3d> isolatedNodes;
		};

		/// How well a graph follows the true centreline of a synthetic vessel tree.
		struct CenterlineMatch
		{
			/// Share, in [0, 1], of the sampled true centreline lying within the tolerance of the graph.
			double coverage = 0.0;
			/// Largest distance in millimetres from a sample of the true centreline to the graph;
			/// infinite for a graph without nodes.
			double largestDistance = 0.0;
			/// Largest distance in millimetres from the graph (its edges, and nodes without edges) to
			/// the true centreline; 0 for a graph without nodes.
			double largestGraphDistance = 0.0;
			/// Number of samples of the true centreline.
			std::size_t samples = 0;
		};

		/// Compares a graph with the true centreline of `tree`. The centreline is sampled every quarter
		/// `tolerance` along each segment, leaving out the last radius before every free end (where a
		/// thinning stops short); each sample counts as covered when an edge of the graph, or a node
		/// without edges, lies within `tolerance` millimetres. The reverse distance samples the graph's
		/// edges just as densely against the whole centreline. Distances come from R-trees of line
		/// segments, so the cost grows like n log n in the lengths. Throws std::invalid_argument unless
		/// `tolerance` is positive and finite.
		CenterlineMatch matchCenterline(const VesselTree& tree, const GraphGeometry& graph, double tolerance);
	}
}
