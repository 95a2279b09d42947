#pragma once

#include "host/core/Parameter.h"
#include "host/lib/Algorithm.h"
#include "src/algorithms/GraphPartition.h"
#include "src/graph/Graph.h"

#include <memory>
#include <vector>

namespace Quorvale
{
	/// Splits a graph into one new graph per connected component (weakly connected on a directed
	/// graph), keeps the components of at least `minComponentSize` nodes and hands them over
	/// largest first. The input graph is not changed. The work is `GraphPartition::componentGraphs`.
	class PartitionGraphsAlgorithm : public Algorithm
	{
	public:
		/// Component number (0, 1, ... in the order found) → its node identifiers.
		using ComponentTable = GraphPartition::ComponentTable;

		/// Works on `graph`, which must outlive the algorithm.
		explicit PartitionGraphsAlgorithm(const Graph& graph);
		~PartitionGraphsAlgorithm() override;

		/// True when `data` holds exactly one graph (other items are ignored); with `out`, stores a
		/// new algorithm on it there.
		static bool createCompatible(const DataList& data, Algorithm** out);

		/// Replaces the output by the components of the input; status 0.
		void compute() override;
		/// The component graphs, largest first; the algorithm keeps none.
		OwningDataList takeOutput() override;

		/// `GraphPartition::connectedComponents`.
		static ComponentTable computeConnectedComponents(const Graph& graph);
		/// `GraphPartition::partition`.
		static std::vector<std::unique_ptr<Graph>> partition(const Graph& graph, const ComponentTable& components);

		/// Components with fewer nodes are dropped; a negative value counts as 0.
		Parameter<int> minComponentSize{"minComponentSize", 1, this};

	private:
		const Graph& m_graph;
		std::vector<std::unique_ptr<Graph>> m_output;
	};
}
