#pragma once

#include "src/graph/Graph.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace Quorvale
{
	class SharedImage;

	/// Spanning forests of undirected graphs that keep the heaviest connections. Every edge gets a
	/// sort key in an edge feature column, the inverse of a weight (small key = thick or long edge;
	/// the zero-safe inverse of v is 100 for v = 0 and 1 / v otherwise), and Kruskal's algorithm on
	/// the keys rejects the edges that would close a cycle. With `pruneBySegment` the weights (or
	/// keys) are first reduced per linear segment, so that a segment is kept or dropped as a whole,
	/// and the dangling chain left by each removal is deleted. Each key function logs its mode's name
	/// ("Mode: EdgeLength." ...) at information level, default category, and works in place.
	namespace MinimumSpanningTree
	{
		/// The weights a key function needs are missing; `what()` is the message for the log.
		struct Error : std::runtime_error
		{
			using std::runtime_error::runtime_error;
		};

		/// Reduces the values of one segment to one.
		using Reduction = std::function<double(const std::vector<double>&)>;

		/// Sum of the values; 0.0 when empty.
		double sumOfValues(const std::vector<double>& values);

		/// Keys from edge lengths: the column named `featureName` when there is one, else "length"
		/// as `GraphFeatures::computeEdgeLengths` writes it; with `pruneBySegment` summed per segment into
		/// "accumulatedFeature". Key = zero-safe inverse.
		void edgeLengthKeys(Graph& graph, int keyIdx, const std::string& featureName, bool pruneBySegment);
		/// Keys from diameters: the zero-safe inverse of "diameter", with `pruneBySegment` then
		/// averaged per segment. A "diameter" column whose squares sum to 0 counts as missing and is
		/// measured in `labelImage` by `GraphFeatures::computeDiameters` (averaging zero edges,
		/// threshold 0.5). Throws `Error` "Diameter
		/// edge feature is missing or empty; provide a label map to compute it." without a usable
		/// column and a measurable label image (may be null).
		void diameterKeys(Graph& graph, int keyIdx, const SharedImage* labelImage, bool pruneBySegment);
		/// Keys 1 / ((d / max d) × (l / max l)) from "diameter" (as in `diameterKeys`) and "length";
		/// with `pruneBySegment` from their per-segment mean and sum, "accumulatedFeature" and
		/// "accumulatedEdgeLengths", 100 where a segment has length 0. Largest values of 0 give NaN
		/// keys, which Kruskal takes last. Throws `Error` "Diameter edge feature is missing; provide a
		/// label map to compute it." as `diameterKeys` does.
		void weightedDiameterEdgeLengthKeys(Graph& graph, int keyIdx, const SharedImage* labelImage, bool pruneBySegment);
		/// Keys from the column `featureName` (zero-safe inverse), with `pruneBySegment` then reduced
		/// per segment by `reduction`. Throws `Error` "Edge feature '<name>' not found." without it.
		void userDefinedKeys(Graph& graph, int keyIdx, const std::string& featureName, const Reduction& reduction, bool pruneBySegment);

		/// Kruskal's algorithm over the keys in column `keyIdx` (NaN keys last, ties in edge order):
		/// removes every edge that would close a cycle and, with `pruneBySegment`, the chain each
		/// removal leaves dangling, up to the next branch node. Logs a warning when a cycle is left.
		void applyKruskalAndSegmentPrune(Graph& graph, int keyIdx, bool pruneBySegment);

		/// The spanning forest of a copy of `graph` weighted by edge length, with its "mstSortKey"
		/// column: `edgeLengthKeys` (no feature named) and `applyKruskalAndSegmentPrune`. Throws `Error` "This
		/// algorithm only works for undirected graphs." for a directed graph.
		std::unique_ptr<Graph> byEdgeLength(const Graph& graph, bool pruneBySegment);
	}
}
