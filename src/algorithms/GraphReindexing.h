#pragma once

#include "src/graph/Graph.h"

#include <cstdint>
#include <optional>
#include <stdexcept>

namespace Quorvale
{
	/// Renumbering the nodes of a connected graph in the order of a depth-first walk from a root.
	namespace GraphReindexing
	{
		/// A graph or root that cannot be renumbered; `what()` is the message for the log.
		struct Error : std::runtime_error
		{
			using std::runtime_error::runtime_error;
		};

		/// The leaf whose edge has the largest "diameter" (the first of equals in ascending
		/// identifier); a leaf reached only by an arriving directed edge does not count. Empty for a
		/// graph without nodes. Throws `Error` "No diameter feature found. Please compute diameter
		/// using Compute Features." when the graph has no "diameter" edge feature.
		std::optional<uint64_t> largestDiameterLeaf(const Graph& graph);

		/// A new graph with the type, dimension, matrix and feature descriptors of `graph`, whose
		/// nodes are numbered 1, 2, ... in the order a depth-first walk from `root` reaches them
		/// (along edge directions on a directed graph); records and edges are kept. Throws `Error`
		/// "Invalid root node index selected." when `root` is not a node and "GraphReindexingAlgorithm
		/// requires a connected graph. Please run Partition Graph first." when the walk misses nodes.
		Graph renumberedFrom(const Graph& graph, uint64_t root);
	}
}
