#pragma once

#include "host/core/Parameter.h"
#include "host/lib/Algorithm.h"
#include "src/graph/Graph.h"

#include <cstdint>
#include <memory>

namespace Quorvale
{
	/// Renumbers the nodes of a connected graph in the order of a depth-first walk from a root: the
	/// root becomes node 1, the others 2, 3, ... as the walk reaches them (along edge directions on a
	/// directed graph). The root is given by `rootIndex` or, in Largest Diameter mode, is the leaf
	/// whose edge has the largest "diameter". The result replaces the input (`inPlace`) or is handed
	/// over as a new graph. The work is in `GraphReindexing`.
	class GraphReindexingAlgorithm : public Algorithm
	{
	public:
		enum class Mode : int
		{
			Manual = 0,
			LargestDiameter = 1
		};

		/// Works on `graph`, which must outlive the algorithm.
		explicit GraphReindexingAlgorithm(Graph& graph);
		~GraphReindexingAlgorithm() override;

		/// True when `data` holds exactly one graph (other items are ignored); with `out`, stores a
		/// new algorithm on it there.
		static bool createCompatible(const DataList& data, Algorithm** out);

		/// Renumbers; status 0, or 1 (logged) without a diameter feature in Largest Diameter mode,
		/// for a root that is not a node, or when the walk from the root misses nodes. A failure
		/// changes neither the input nor the output.
		void compute() override;
		/// The renumbered graph of the last run that did not work in place; the algorithm keeps none.
		OwningDataList takeOutput() override;

		Parameter<Mode> mode{"mode", Mode::Manual, this};
		/// The root; Largest Diameter mode writes the root it chose here.
		Parameter<uint64_t> rootIndex{"rootIndex", 0, this};
		/// Replace the input graph instead of handing over a new one.
		Parameter<bool> inPlace{"inPlace", false, this};

	private:
		/// Puts the renumbered graph in the input's place (`inPlace`) or into the output.
		void place(Graph&& renumbered);

		Graph& m_graph;
		std::unique_ptr<Graph> m_output;
	};
}
