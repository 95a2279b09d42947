#pragma once

#include "host/core/Parameter.h"
#include "host/lib/Algorithm.h"
#include "src/graph/Graph.h"

#include <memory>

namespace Quorvale
{
	class SharedImageSet;

	/// Removes spurious terminal branches from a graph. A terminal branch is the chain walked from a
	/// terminal node (exactly one neighbour entry) towards the first junction (more than two
	/// entries); the junction itself is never removed. A branch goes when it is shorter than
	/// `pruningThreshold` (GlobalThreshold) or shorter than `sensitivity` times the largest value of
	/// a float distance image met along it (DistanceBased). Removal is a single pass: a node that
	/// becomes terminal through it is not examined again. The work is in `GraphPruning`.
	class PruneTerminalPathsAlgorithm : public Algorithm
	{
	public:
		enum class Mode : int
		{
			GlobalThreshold = 0,
			DistanceBased = 1
		};

		/// Works on `graph` with an optional distance image (may be null); both must outlive the
		/// algorithm. With a distance image the mode becomes DistanceBased, otherwise only
		/// GlobalThreshold is offered and `sensitivity` is hidden.
		PruneTerminalPathsAlgorithm(Graph& graph, SharedImageSet* distanceImage);
		~PruneTerminalPathsAlgorithm() override;

		/// True when `data` holds exactly one graph, at most one image set and nothing else; with
		/// `out`, stores a new algorithm on them there.
		static bool createCompatible(const DataList& data, Algorithm** out);

		/// Prunes the input graph (`inPlace`) or a new copy of it. Status 0; 2 (logged, nothing
		/// changed) in DistanceBased mode without a distance image or with a current image that is
		/// not 32-bit float.
		void compute() override;
		/// The pruned copy when `inPlace` is false (the algorithm keeps none); empty otherwise.
		OwningDataList takeOutput() override;

		/// `GraphPruning::removeShortTerminalPaths`.
		static void removeShortTerminalPaths(Graph& graph, double threshold);
		/// `GraphPruning::removePathsDistanceBased` on the current image of `distanceImage`. Throws
		/// `GraphPruning::Error` (a std::invalid_argument), changing nothing, when `distanceImage` is
		/// null or its current image is missing or not 32-bit float.
		static void removePathsDistanceBased(Graph& graph, const SharedImageSet* distanceImage, double sensitivity);
		/// `GraphPruning::removeThinTerminalEdges`; throws std::bad_optional_access as it does.
		static void removeThinTerminalEdges(Graph& graph, double threshold);

		Parameter<Mode> mode{"mode", Mode::GlobalThreshold, this};
		/// Branch length below which GlobalThreshold removes a branch.
		Parameter<double> pruningThreshold{"pruningThreshold", 1.0, this};
		/// Factor on the largest distance value of a branch in DistanceBased mode.
		Parameter<double> sensitivity{"sensitivity", 1.0, this};
		/// Change the input graph instead of handing over a pruned copy.
		Parameter<bool> inPlace{"inPlace", false, this};

	private:
		/// The graph to prune: the input, or a fresh copy that replaces the earlier output.
		Graph& target();

		Graph& m_graph;
		SharedImageSet* m_distanceImage;
		std::unique_ptr<Graph> m_output;
	};
}
