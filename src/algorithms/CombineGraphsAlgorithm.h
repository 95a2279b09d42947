#pragma once

#include "host/lib/Algorithm.h"
#include "src/graph/Graph.h"

#include <memory>
#include <vector>

namespace Quorvale
{
	/// Merges graphs into one new graph in world coordinates: every node position is mapped by its
	/// graph's matrix to world. The inputs must agree in dimension and in the names of their node and
	/// edge features. The result is directed when any input is, and an undirected input's edges then
	/// lead both ways. The inputs are not changed. The work is `GraphCombination::combine`.
	class CombineGraphsAlgorithm : public Algorithm
	{
	public:
		/// Works on the graphs in this order; they must outlive the algorithm.
		explicit CombineGraphsAlgorithm(const std::vector<Graph*>& graphs);
		~CombineGraphsAlgorithm() override;

		/// True when `data` holds two or more graphs (other items are ignored); with `out`, stores a
		/// new algorithm on them, in list order, there.
		static bool createCompatible(const DataList& data, Algorithm** out);

		/// Builds the combined graph, replacing an earlier one. Status 3 without inputs, 2 for a
		/// null input or inputs that do not fit together (an earlier result then stays).
		void compute() override;
		/// The combined graph, still owned by the algorithm; null before a successful `compute`.
		const Graph* combined() const { return m_combined.get(); }
		/// The combined graph, when there is one; the algorithm keeps none.
		OwningDataList takeOutput() override;

	private:
		std::vector<Graph*> m_graphs;
		std::unique_ptr<Graph> m_combined;
	};
}
