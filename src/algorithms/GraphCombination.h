#pragma once

#include "src/graph/Graph.h"

#include <memory>
#include <stdexcept>
#include <vector>

namespace Quorvale
{
	/// Merging several graphs into one graph in world coordinates.
	namespace GraphCombination
	{
		/// Graphs that cannot be merged; `what()` is the message for the log.
		struct Error : std::invalid_argument
		{
			using std::invalid_argument::invalid_argument;
		};

		/// One new graph holding the nodes and edges of every graph, in this order. Every node
		/// position is mapped by its graph's matrix to world (the result's matrix is the identity).
		/// The result is directed when any input is, and an undirected input's edges then lead both
		/// ways; it is 2-D when the inputs are. Node identifiers are new, records are kept. The
		/// inputs are not changed. Throws `Error`, building nothing, for an empty list ("No graphs
		/// to combine."), a null graph ("Invalid input. Graphs must be non-empty."), a mix of 2-D and
		/// 3-D graphs ("Cannot combine graphs of different dimensions") or graphs whose node or edge
		/// feature names differ from the first one's ("Cannot combine graphs due to incompatible
		/// features").
		std::unique_ptr<Graph> combine(const std::vector<const Graph*>& graphs);
	}
}
