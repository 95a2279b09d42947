#pragma once

#include "src/graph/Graph.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace Quorvale
{
	class SharedImage;

	/// Graph utilities that measure the graph through the common feature routines: diameters from a
	/// label image and shortest paths. The searches never recurse and keep their scratch tables
	/// per call. They live here, beside `GraphFeatures`, because they use it; the rest of `GraphUtils`
	/// is declared in src/graph/GraphUtils.h.
	namespace GraphUtils
	{
		/// A path of a geometric shortest-path search.
		struct PathDistance
		{
			/// Node identifiers from the start to the end node, both included.
			std::vector<uint64_t> path;
			/// The sum of the "length" edge feature along the path.
			double distance = 0.0;
		};

		/// `ComputeCommonGraphFeaturesAlgorithm::computeDiameters` (that is `GraphFeatures::computeDiameters`)
		/// with the same arguments, without its result.
		void computeDiameters(Graph& graph, const SharedImage& labelImage, bool averageZeroEdges, double threshold);

		/// The shortest path from `start` to `end` over the "length" edge feature (computed from the
		/// node positions, and kept, when the graph has none), following edges from source to target
		/// on a directed graph. Empty when the end cannot be reached; empty with an error in the log
		/// when either node is missing or the search meets a negative length. At equal distance the
		/// smaller node identifier is expanded first.
		std::optional<PathDistance> shortestGeometricPath(Graph& graph, uint64_t start, uint64_t end);

		/// Breadth-first hop counts from the sources: writes into attribute `attributeName` of every
		/// node reached the number of edges from the nearest source (0 at the sources), moving through
		/// every neighbour entry but never into a `blocked` node, and first removes that attribute
		/// from every node. Returns true. Throws std::out_of_range, changing nothing, when a source
		/// is not a node.
		bool multipleTargetShortestPaths(Graph& graph, std::set<uint64_t> sources, const std::set<uint64_t>& blocked,
		                                 const std::string& attributeName);
		/// The same as `multipleTargetShortestPaths`.
		bool multipleSourceShortestPaths(Graph& graph, const std::set<uint64_t>& sources, const std::set<uint64_t>& blocked,
		                                 const std::string& attributeName);
		/// `multipleTargetShortestPaths` from the one node.
		bool singleSourceShortestPaths(Graph& graph, uint64_t node, const std::set<uint64_t>& blocked, const std::string& attributeName);
		/// The same as `singleSourceShortestPaths`: hop counts are symmetric.
		bool singleTargetShortestPaths(Graph& graph, uint64_t node, const std::set<uint64_t>& blocked, const std::string& attributeName);

		/// Reads a path back from the hop counts in attribute `attributeName`: from `node` down,
		/// neighbour by neighbour, to a node of count 0. Empty when the node carries no count; an
		/// empty path when its count is 0 or no neighbour is one lower. Throws std::out_of_range
		/// when `node` is not a node.
		std::optional<std::vector<uint64_t>> shortestPath(const Graph& graph, uint64_t node, const std::string& attributeName);
	}
}
