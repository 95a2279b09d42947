#pragma once

#include "host/core/Parameter.h"
#include "host/lib/Algorithm.h"
#include "src/algorithms/GraphSmoothing.h"
#include "src/graph/Graph.h"

#include <optional>
#include <string>

namespace Quorvale
{
	class SharedImageSet;

	/// Moves the node positions of a graph in place to smooth the curves its chains describe. The
	/// topology, the features and the attributes stay. Every node's new position stays finite: where
	/// a rule would divide by zero the node keeps its position. The work of the first two modes is
	/// in `GraphSmoothing`, that of the third in `CurveShortening`.
	class GraphSmoothingAlgorithm : public Algorithm
	{
	public:
		enum class Mode : int
		{
			/// `smoothingStrength` passes (its ceiling) of an average with the neighbours.
			NeighborhoodWeightedAverage = 0,
			/// One implicit heat-diffusion step, Gaussian edge weights of width `smoothingStrength`.
			LaplacianHeatKernel = 1,
			/// Pulls chains of nodes towards the middle of the vessels of the label image, resampled
			/// to voxels of `smoothingStrength` mm (see `CurveShortening`).
			DistanceWeightedCurveShortening = 2
		};

		/// Works on `graph` with an optional label image (may be null); both must outlive the
		/// algorithm. Without a label image only the first two modes are offered and the mode
		/// becomes NeighborhoodWeightedAverage.
		GraphSmoothingAlgorithm(Graph& graph, SharedImageSet* labelImage);
		~GraphSmoothingAlgorithm() override;

		/// True when `data` holds exactly one graph, at most one image set and nothing else; with
		/// `out`, stores a new algorithm on them there.
		static bool createCompatible(const DataList& data, Algorithm** out);

		/// `GraphSmoothing::kMaxAveragePasses`.
		static constexpr double kMaxAveragePasses = GraphSmoothing::kMaxAveragePasses;

		/// Why `strength` cannot be used in `mode`, or empty: a strength that is not finite, an
		/// average of more than `kMaxAveragePasses` passes, or a heat-kernel width whose diffusion
		/// time σ²/2 overflows (`GraphSmoothing::averageStrengthProblem`, `heatKernelStrengthProblem`).
		/// The curve shortening checks its voxel size itself.
		static std::string strengthProblem(Mode mode, double strength);

		/// Smooths the graph in place. Status 0; 2 (logged, nothing changed) for a smoothing strength
		/// that `strengthProblem` refuses; 1 (logged) when the heat-kernel solve gives no finite solution, which
		/// then is not written. DistanceWeightedCurveShortening sets the status of `CurveShortening::run`.
		void compute() override;
		/// Always empty: the graph is changed in place.
		OwningDataList takeOutput() override;

		/// `GraphSmoothing::smoothByNeighborhoodAverage`; throws `GraphSmoothing::Error` (a
		/// std::invalid_argument), changing nothing, for an infinite strength.
		static void smoothByNeighborhoodAverage(Graph& graph, double strength, bool preserveTerminalEdges);

		/// `GraphSmoothing::smoothByHeatKernel`, returning false, changing nothing, where that throws:
		/// when σ or σ²/2 is not finite or the solve gives a non-finite position.
		static bool smoothByHeatKernel(Graph& graph, double sigma, bool preserveTerminalEdges);

		Parameter<Mode> mode{"mode", Mode::DistanceWeightedCurveShortening, this};
		/// Passes, Gaussian width or voxel size, depending on the mode.
		Parameter<double> smoothingStrength{"smoothingStrength", 1.0, this};
		/// Keep terminal nodes where they are.
		Parameter<bool> preserveTerminalEdges{"preserveTerminalEdges", true, this};

	private:
		/// The `strengthProblem` of the current settings, or nullopt when they can be used.
		std::optional<std::string> invalidSettings() const;

		Graph& m_graph;
		SharedImageSet* m_labelImage;
	};
}
