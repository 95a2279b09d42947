#pragma once

#include "src/graph/Graph.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace Quorvale
{
	/// Splitting a graph into its connected components (weakly connected on a directed graph). The
	/// input graph is never changed.
	namespace GraphPartition
	{
		/// Component number (0, 1, ... in the order found) → its node identifiers.
		using ComponentTable = std::map<int, std::set<uint64_t>>;

		/// The connected components, found in ascending identifier of their first node. On a
		/// directed graph edges count in both directions (logged as a warning, default category).
		ComponentTable connectedComponents(const Graph& graph);

		/// One new graph per table entry in ascending component number, with the input's type,
		/// dimension, matrix and feature descriptors; nodes are numbered 1, 2, ... in ascending input
		/// identifier and keep their records, edges inside the component keep theirs.
		std::vector<std::unique_ptr<Graph>> partition(const Graph& graph, const ComponentTable& components);

		/// The component graphs of `partition` for the components of at least `minComponentSize`
		/// nodes (a negative value counts as 0), largest first; equal sizes keep the order in which
		/// the components were found. Empty for an empty graph.
		std::vector<std::unique_ptr<Graph>> componentGraphs(const Graph& graph, int minComponentSize);
	}
}
