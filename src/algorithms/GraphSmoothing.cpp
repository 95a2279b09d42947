#include "src/algorithms/GraphSmoothing.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <Eigen/Core>
#include <Eigen/IterativeLinearSolvers>
#include <Eigen/SparseCore>
#include <fmt/format.h>

namespace Quorvale::GraphSmoothing
{
	namespace
	{
		/// The sequential numbering (ascending identifier → 0, 1, ...) as a sorted vector, looked up
		/// by binary search: the same numbering as a map, in a fraction of the memory.
		class SequentialIndex
		{
		public:
			explicit SequentialIndex(const Graph& graph)
			{
				m_ids.reserve(static_cast<size_t>(graph.numNodes()));
				graph.forEachNode([this](uint64_t id, const Graph::NodeInfo&) { m_ids.push_back(id); });
			}

			int32_t size() const { return static_cast<int32_t>(m_ids.size()); }
			int32_t operator()(uint64_t id) const
			{
				const auto it = std::lower_bound(m_ids.begin(), m_ids.end(), id);
				if (it == m_ids.end() || *it != id)
					throw std::out_of_range("invalid map<K, T> key");
				return static_cast<int32_t>(it - m_ids.begin());
			}

		private:
			std::vector<uint64_t> m_ids;
		};

		/// A node's position after one averaging pass of neighbour weight k, read from the graph as
		/// it was before the pass.
		Eigen::Vector3d averagedPosition(const Graph& graph, uint64_t id, const Graph::NodeInfo& info, const Graph::Neighborhood& neighbors,
		                                 double k, bool preserveTerminalEdges)
		{
			const Eigen::Vector3d& p = info.position();
			if (neighbors.size() == 1)
			{
				if (preserveTerminalEdges)
					return p;
				// Move towards the straight continuation of the segment b → a, at the node's present
				// distance from its neighbour a.
				const uint64_t a = neighbors.begin()->first;
				const Graph::Neighborhood& aNeighbors = graph.neighborhood(a);
				if (aNeighbors.size() != 2)
					return p;
				const auto first = aNeighbors.begin();
				const uint64_t b = first->first == id ? std::next(first)->first : first->first;
				const Eigen::Vector3d& pa = graph.node(a).position();
				const Eigen::Vector3d direction = pa - graph.node(b).position();
				const double norm = direction.norm();
				// Coinciding neighbours give no direction to continue in.
				if (!(norm > 0.0) || !std::isfinite(norm))
					return p;
				const Eigen::Vector3d target = pa + (p - pa).norm() * (direction / norm);
				return (k * target + p) / (k + 1.0);
			}
			Eigen::Vector3d sum = Eigen::Vector3d::Zero();
			int count = 0;
			for (const auto& [neighbor, edge] : neighbors)
			{
				if (!edge)
					continue;
				sum += graph.node(neighbor).position();
				++count;
			}
			if (count == 0)
				return p;
			return (p + k * sum) / (1.0 + k * count);
		}

		using SparseSystem = Eigen::SparseMatrix<double, Eigen::ColMajor, int32_t>;

		/// A = I + t (I − W) = (1 + t) I − t W of one heat-kernel step, assembled row by row from the
		/// normalised weights; writes the node positions, the right-hand side, into `positions`.
		SparseSystem assembleHeatSystem(const Graph& graph, const SequentialIndex& index, double sigma, bool preserveTerminalEdges,
		                                Eigen::MatrixXd& positions)
		{
			const int32_t n = index.size();
			const double time = 0.5 * sigma * sigma;
			const double inverseTwoSigmaSquared = 0.5 / (sigma * sigma);
			using Triplet = Eigen::Triplet<double, int32_t>;
			std::vector<Triplet> entries;
			entries.reserve(static_cast<size_t>(n) * 3);
			std::vector<double> weights;
			std::vector<int32_t> columns;
			graph.forEachNode(
			    [&](uint64_t id, const Graph::NodeInfo& info, const Graph::Neighborhood& neighbors)
			    {
				    const int32_t row = index(id);
				    positions.row(row) = info.position().transpose();
				    entries.emplace_back(row, row, 1.0 + time);
				    if (preserveTerminalEdges && neighbors.size() == 1)
				    {
					    entries.emplace_back(row, row, -time);
					    return;
				    }
				    weights.clear();
				    columns.clear();
				    double sum = 0.0;
				    for (const auto& [neighbor, edge] : neighbors)
				    {
					    const double w = std::exp(-(info.position() - graph.node(neighbor).position()).squaredNorm() * inverseTwoSigmaSquared);
					    weights.push_back(w);
					    columns.push_back(index(neighbor));
					    sum += std::abs(w);
				    }
				    // No neighbours, or every weight underflowed: the row is the identity's and the node stays.
				    if (!(sum > 0.0))
				    {
					    entries.emplace_back(row, row, -time);
					    return;
				    }
				    for (size_t j = 0; j < weights.size(); ++j)
					    entries.emplace_back(row, columns[j], -time * weights[j] / sum);
			    });
			SparseSystem system(n, n);
			system.setFromTriplets(entries.begin(), entries.end());
			return system;
		}
	}

	std::optional<std::string> averageStrengthProblem(double strength)
	{
		if (!std::isfinite(strength))
			return "Smoothing strength must be a finite number.";
		if (std::ceil(strength) > kMaxAveragePasses)
			return fmt::format("A smoothing strength of {} would run {} averaging passes; at most {} are allowed.", strength, std::ceil(strength),
			                   kMaxAveragePasses);
		return std::nullopt;
	}

	std::optional<std::string> heatKernelStrengthProblem(double sigma)
	{
		if (!std::isfinite(sigma))
			return "Smoothing strength must be a finite number.";
		if (!std::isfinite(0.5 * sigma * sigma))
			return fmt::format("A smoothing strength of {} is too wide for the heat kernel: its diffusion time overflows.", sigma);
		return std::nullopt;
	}

	void smoothByNeighborhoodAverage(Graph& graph, double strength, bool preserveTerminalEdges)
	{
		if (!(strength > 0.0))
			return;
		if (std::isinf(strength))
			throw Error("The smoothing strength must be finite.");
		// Counting passes instead of subtracting 1 from the strength ends also for strengths whose
		// decrement is lost to rounding.
		const double passCount = std::ceil(strength);
		const uint64_t passes = passCount >= 0x1p63 ? std::numeric_limits<uint64_t>::max() : static_cast<uint64_t>(passCount);
		std::vector<Eigen::Vector3d> positions;
		positions.reserve(static_cast<size_t>(graph.numNodes()));
		for (uint64_t pass = 0; pass < passes; ++pass)
		{
			const double remaining = strength - static_cast<double>(pass);
			const double weight = remaining > 1.0 ? 1.0 : remaining;
			const double k = std::exp(-0.5 / (weight * weight));
			// All new positions come from the positions before the pass, so the pass is simultaneous.
			positions.clear();
			graph.forEachNode([&](uint64_t id, const Graph::NodeInfo& info, const Graph::Neighborhood& neighbors)
			                  { positions.push_back(averagedPosition(graph, id, info, neighbors, k, preserveTerminalEdges)); });
			size_t i = 0;
			graph.editEachNode([&](uint64_t, Graph::NodeInfo& info) { info.position() = positions[i++]; });
		}
	}

	void smoothByHeatKernel(Graph& graph, double sigma, bool preserveTerminalEdges)
	{
		if (const std::optional<std::string> problem = heatKernelStrengthProblem(sigma))
			throw Error(*problem);
		const double time = 0.5 * sigma * sigma;
		if (!(time > 0.0) || graph.empty())
			return;
		const SequentialIndex index(graph);
		Eigen::MatrixXd positions(index.size(), 3);
		const SparseSystem system = assembleHeatSystem(graph, index, sigma, preserveTerminalEdges, positions);

		Eigen::BiCGSTAB<SparseSystem, Eigen::DiagonalPreconditioner<double>> solver;
		solver.compute(system);
		const Eigen::MatrixXd solution = solver.solve(positions);
		if (!solution.allFinite())
			throw Error("Heat-kernel smoothing found no finite solution; the graph is unchanged.");
		int32_t row = 0;
		graph.editEachNode([&](uint64_t, Graph::NodeInfo& info) { info.position() = solution.row(row++).transpose(); });
	}
}
