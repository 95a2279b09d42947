#pragma once

#include "src/graph/Graph.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Quorvale
{
	class SharedImage;

	/// Arithmetic mean of the values; 0.0 for an empty vector.
	double meanOfValues(const std::vector<double>& values);

	/// Questions about a graph and edge features derived from others.
	///
	/// A linear segment is a maximal chain of edges whose inner nodes have exactly two neighbour
	/// entries. Every walk here is iterative, so chains of any length are safe. Functions that take
	/// an edge feature index throw std::out_of_range, changing nothing, when it names no edge feature.
	/// An empty function object that has to be called throws std::bad_function_call.
	namespace GraphUtils
	{
		/// Reduces the edge feature values met along a segment to one value.
		using Reduction = std::function<double(const std::vector<double>&)>;

		/// Walks the segment from `start` through `next` (or through the first neighbour the walk is
		/// offered when `next` is not one) and returns the values of edge feature `featureIdx` met on
		/// it. `path` receives `start` and every node reached, so it holds one node more than the
		/// result. A segment that comes back to `start` through an inner node is closed: the closing
		/// edge is included and `start` is appended again.
		std::vector<double> collectLinearPathFeatures(const Graph& graph, uint64_t start, uint64_t next, int featureIdx,
		                                              std::vector<uint64_t>& path);

		/// `reduce` applied to the values of `collectLinearPathFeatures`; `path` is filled as there.
		double aggregateLinearPathFeatures(const Graph& graph, uint64_t start, uint64_t next, int featureIdx, Reduction reduce,
		                                   std::vector<uint64_t>& path);

		/// Writes into edge feature `targetName` (created with default 0.0) the reduction of the
		/// source feature over the segment each edge belongs to. Segments are found from branch nodes
		/// (three or more entries), then from leaves, then in closed chains; an edge of two segments
		/// keeps the first value found. An edge no segment walk reaches (a self-loop, a directed edge
		/// against every walk) keeps its own source value. Throws std::bad_optional_access, changing
		/// nothing, when there is no source edge feature of that name.
		void accumulateFeatureAlongSegments(Graph& graph, Reduction reduce, const std::string& sourceName, const std::string& targetName);
		void accumulateFeatureAlongSegments(Graph& graph, Reduction reduce, int sourceIdx, const std::string& targetName);

		/// Per segment, optionally clamps edge feature `featureIdx` to a reference value times
		/// `factor` (the reference is the segment's median, corrected by the edges around its two end
		/// nodes), then, when `window` is at least 1, replaces each value by the median of the values
		/// within `window` positions along the segment. Each segment is processed once; self-loops
		/// are left as they are. An end-node edge that arrives on a directed graph counts with its
		/// own value.
		void clampAndSmoothEdgeFeature(Graph& graph, int featureIdx, bool clamp, std::optional<int> window, double factor);

		/// True when the graph has no cycle; a self-loop is a cycle. An undirected graph is judged by
		/// its edges. A directed graph is judged by its directed cycles, following edges from source
		/// to target: a → b with b → a is a cycle, a → b, c → b, a → c is not.
		bool isAcyclic(const Graph& graph);

		/// Extends every leaf (a node with one neighbour entry) away from its neighbour through the
		/// inside of `labelMap` (voxels whose value is not zero, in channel 0), adding one node per
		/// step of one pixel until the nearest voxel lies outside the image or the label. The new edges
		/// lead away from the leaf and carry the leaf edge's features (averaged with the next edge's
		/// when the neighbour is an inner node). Every numeric pixel type is read as such; throws
		/// std::invalid_argument, changing nothing, for an untyped one.
		void extendLeavesToEdge(Graph& graph, const SharedImage& labelMap);

		/// Sets edge feature `edgeFeatureName` (created with default 0.0) of every edge to
		/// `combine`(value at one end, value at the other) of node feature `nodeFeatureIdx`: on a
		/// directed graph (source, target), on an undirected graph (higher identifier, lower
		/// identifier). Returns the edge feature's index, or -1 without change when
		/// `nodeFeatureIdx` names no node feature.
		int transformNodeFeatureToEdge(Graph& graph, uint64_t nodeFeatureIdx, std::function<double(double, double)> combine,
		                               const std::string& edgeFeatureName);

		/// The node with the greatest score (the lowest identifier of equal ones); empty without nodes.
		std::optional<uint64_t> argmaxNode(const Graph& graph, const std::function<double(const Graph::NodeInfo&)>& score);
		std::optional<uint64_t>
		argmaxNode(const Graph& graph, const std::function<double(uint64_t, const Graph::NodeInfo&, const Graph::Neighborhood&)>& score);

		/// The nodes of total degree 1, ascending.
		std::vector<uint64_t> findLeafNodes(const Graph& graph);

		/// Walks from `start` like `Graph::traverse`, letting `chooser` pick the next node among the
		/// not yet visited neighbours (it receives a copy of their records) or stop with null.
		void traversePath(const Graph& graph, uint64_t start,
		                  const std::function<const Graph::NodeInfo*(std::vector<const Graph::NodeInfo*>)>& chooser);
	}
}
