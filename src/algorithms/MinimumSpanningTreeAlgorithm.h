#pragma once

#include "host/core/Parameter.h"
#include "host/lib/Algorithm.h"
#include "src/algorithms/MinimumSpanningTree.h"
#include "src/graph/Graph.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Quorvale
{
	class SharedImageSet;

	/// Turns an undirected graph into a spanning forest that keeps the heaviest connections: every
	/// edge gets a sort key, the inverse of a weight chosen by `weightMode` (small key = thick or long
	/// edge), and Kruskal's algorithm on the keys rejects the edges that would close a cycle. With
	/// `pruneBySegment` the weights (or keys) are first reduced per linear segment, so that a segment
	/// is kept or dropped as a whole, and the dangling chain left by each removal is deleted. The
	/// result is a new graph; the input is not changed. The work is in `MinimumSpanningTree`.
	class MinimumSpanningTreeAlgorithm : public Algorithm
	{
	public:
		enum class WeightMode : int
		{
			EdgeLength = 0,
			Diameter = 1,
			WeightedDiameterEdgeLength = 2,
			UserDefined = 3
		};

		/// Reduces the values of one segment to one.
		using Reduction = MinimumSpanningTree::Reduction;

		/// Works on `graph` with an optional label map (may be null) to measure diameters in; both
		/// must outlive the algorithm.
		MinimumSpanningTreeAlgorithm(Graph& graph, SharedImageSet* labelMap);
		~MinimumSpanningTreeAlgorithm() override;

		/// True when `data` holds exactly one graph, at most one image set and nothing else; with
		/// `out`, stores a new algorithm on them there.
		static bool createCompatible(const DataList& data, Algorithm** out);

		/// Replaces the reduction used per segment in UserDefined mode. The other modes set their own
		/// (EdgeLength and WeightedDiameterEdgeLength the sum, Diameter the mean), which stays here
		/// after `compute`.
		void setReduction(const Reduction& reduction);

		/// Builds the spanning forest of a copy of the input. Status 0; 2 (logged) for a directed
		/// graph; 3 (logged) when the mode's weight feature is missing and cannot be computed, the
		/// result then being the copy with its "mstSortKey" column and no edge removed.
		void compute() override;
		/// The result graph of the last `compute`; the algorithm keeps none.
		OwningDataList takeOutput() override;

		/// `MinimumSpanningTree::sumOfValues`: the sum of the values, 0.0 when empty.
		static double sumOfValues(const std::vector<double>& values);

		Parameter<WeightMode> weightMode{"weightMode", WeightMode::EdgeLength, this};
		/// The edge feature that UserDefined mode weighs by (and EdgeLength mode, when it names one).
		Parameter<std::string> edgeFeatureName{"edgeFeatureName", std::string(), this};
		/// Reduce weights per linear segment and delete the chains that removals leave dangling.
		Parameter<bool> pruneBySegment{"pruneBySegment", false, this};

	private:
		/// Writes every edge's key into result column `keyIdx` by the mode's key function, leaving the
		/// mode's reduction in `m_reduction`. Throws `MinimumSpanningTree::Error` when the mode's
		/// weights are missing and UnknownWeightMode for a mode without a key function.
		void buildMstSortKey(int keyIdx);
		/// Runs Kruskal's algorithm over the keys in result column `keyIdx` and removes the edges it
		/// rejects, with `pruneBySegment` also the chains they leave dangling.
		void applyKruskalAndSegmentPrune(int keyIdx);
		/// Sets `status` and logs `reason`, then "Failed to build MST keys.".
		void keysFailed(Status status, const std::string& reason);

		Graph& m_graph;
		SharedImageSet* m_labelMap;
		std::unique_ptr<Graph> m_result;
		Reduction m_reduction;
	};
}
