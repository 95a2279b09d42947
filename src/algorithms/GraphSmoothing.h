#pragma once

#include "src/graph/Graph.h"

#include <optional>
#include <stdexcept>
#include <string>

namespace Quorvale
{
	/// Smoothing the curves a graph's chains describe by moving its node positions in place. The
	/// topology, the features and the attributes stay. Every node's new position stays finite: where
	/// a rule would divide by zero the node keeps its position.
	namespace GraphSmoothing
	{
		/// A smoothing that cannot run or found no usable result; `what()` is the message for the log.
		struct Error : std::invalid_argument
		{
			using std::invalid_argument::invalid_argument;
		};

		/// The most passes of the neighbourhood average one run may ask for. A pass over a vessel tree
		/// of a million nodes takes about 0.36 s (pruning_smoothing_mst_bench), so this keeps such a
		/// run to about three minutes.
		constexpr double kMaxAveragePasses = 500.0;

		/// Why `strength` cannot be used by `smoothByNeighborhoodAverage`: not finite, or more than
		/// `kMaxAveragePasses` passes. Empty when it can.
		std::optional<std::string> averageStrengthProblem(double strength);
		/// Why `sigma` cannot be used by `smoothByHeatKernel`: not finite, or a diffusion time σ²/2
		/// that overflows. Empty when it can.
		std::optional<std::string> heatKernelStrengthProblem(double sigma);

		/// Passes of a simultaneous weighted average: `strength` ≤ 0 does nothing, otherwise
		/// ceil(strength) passes of weight 1, the last one of weight strength − (passes − 1). In a
		/// pass of weight w every neighbour has the weight k = exp(−0.5 / w²) against the node's own
		/// weight 1. A terminal node moves towards the straight continuation of its neighbour's
		/// segment, or stays when `preserveTerminalEdges` is set, its neighbour is not a chain node or
		/// that neighbour's two neighbours coincide. Throws `Error` "The smoothing strength must be
		/// finite.", changing nothing, for an infinite strength. Does not limit the number of passes.
		void smoothByNeighborhoodAverage(Graph& graph, double strength, bool preserveTerminalEdges);

		/// One implicit diffusion step (I + σ²/2 · (I − W)) X′ = X with the row-normalised Gaussian
		/// weights W(i, j) = exp(−|pᵢ − pⱼ|² / (2σ²)) over every neighbour entry, solved by BiCGSTAB.
		/// Nodes whose row has no positive weight (no neighbours, or all weights underflow) and, with
		/// `preserveTerminalEdges`, terminal nodes keep their positions. σ = 0 does nothing. Throws
		/// `Error`, changing nothing, with the message of `heatKernelStrengthProblem` for a σ it
		/// refuses, and "Heat-kernel smoothing found no finite solution; the graph is unchanged."
		/// when the solve gives a non-finite position.
		void smoothByHeatKernel(Graph& graph, double sigma, bool preserveTerminalEdges);
	}
}
