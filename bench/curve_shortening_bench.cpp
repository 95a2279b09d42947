// Cost and effect of the distance-weighted curve shortening on a synthetic vessel tree of 256³
// voxels: the true centreline as a graph with a node about every millimetre, pushed off by noise,
// pulled back by the curve shortening. Also the cost of making the tree and of matching a graph
// against its centreline, which the demo and the centreline tests pay.
#include "src/algorithms/GraphSmoothingAlgorithm.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include <omp.h>

#include "host/lib/AlgorithmRunner.h"
#include "host/lib/SharedImageSet.h"
#include "src/graph/Graph.h"
#include "synthetic/GraphGeometry.h"
#include "synthetic/VesselTree.h"

using namespace Quorvale;
using namespace Quorvale::SyntheticVessels;

namespace
{
	const VesselTree& tree(int size)
	{
		static std::map<int, VesselTree> trees;
		auto found = trees.find(size);
		if (found == trees.end())
		{
			TreeSettings settings;
			settings.dimensions = Eigen::Vector3i::Constant(size);
			found = trees.emplace(size, createVesselTree(settings)).first;
		}
		return found->second;
	}

	/// The true centreline as a graph with nodes about `step` apart along every segment, shared at
	/// branch points, each moved by uniform noise of ±`noise` per coordinate (free ends too).
	Graph noisyCenterline(const VesselTree& truth, double step, double noise)
	{
		std::mt19937_64 random(17);
		std::uniform_real_distribution<double> jitter(-noise, noise);
		const auto noisy = [&](const Eigen::Vector3d& p)
		{ return Eigen::Vector3d(p + Eigen::Vector3d(jitter(random), jitter(random), jitter(random))); };
		Graph graph;
		std::vector<uint64_t> nodeIds;
		for (const Eigen::Vector3d& node : truth.nodes)
			nodeIds.push_back(graph.addNode(Graph::NodeInfo(noisy(node), {})));
		for (const Segment& segment : truth.segments)
		{
			std::vector<double> arc{0.0};
			for (size_t i = 1; i < segment.points.size(); ++i)
				arc.push_back(arc.back() + (segment.points[i] - segment.points[i - 1]).norm());
			const int pieces = std::max(1, static_cast<int>(std::round(arc.back() / step)));
			uint64_t previous = nodeIds[static_cast<size_t>(segment.from)];
			size_t piece = 0;
			for (int k = 1; k < pieces; ++k)
			{
				const double at = arc.back() * k / pieces;
				while (arc[piece + 1] < at)
					++piece;
				const double t = (at - arc[piece]) / (arc[piece + 1] - arc[piece]);
				const Eigen::Vector3d p = segment.points[piece] + t * (segment.points[piece + 1] - segment.points[piece]);
				const uint64_t id = graph.addNode(Graph::NodeInfo(noisy(p), {}));
				graph.addEdge(previous, id, Graph::EdgeInfo());
				previous = id;
			}
			graph.addEdge(previous, nodeIds[static_cast<size_t>(segment.to)], Graph::EdgeInfo());
		}
		return graph;
	}

	void BM_CurveShortening(benchmark::State& state)
	{
		const VesselTree& truth = tree(256);
		const Graph noisy = noisyCenterline(truth, 1.0, 0.8);
		const double voxelSize = static_cast<double>(state.range(0)) / 4.0;
		Graph graph;
		for (auto _ : state)
		{
			state.PauseTiming();
			graph = noisy;
			GraphSmoothingAlgorithm algorithm(graph, truth.labels.get());
			algorithm.smoothingStrength = voxelSize;
			state.ResumeTiming();
			if (AlgorithmRunner::run(algorithm) != Algorithm::Success)
				state.SkipWithError("the curve shortening failed");
		}
		const CenterlineMatch before = matchCenterline(truth, noisy, 0.5);
		const CenterlineMatch after = matchCenterline(truth, graph, 0.5);
		state.counters["voxelSize"] = voxelSize;
		state.counters["nodes"] = graph.numNodes();
		state.counters["threads"] = omp_get_max_threads();
		state.counters["coverageHalfMmBefore"] = before.coverage;
		state.counters["coverageHalfMmAfter"] = after.coverage;
		state.counters["largestGraphDistanceBefore"] = before.largestGraphDistance;
		state.counters["largestGraphDistanceAfter"] = after.largestGraphDistance;
		state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * graph.numNodes());
	}
	// Voxel sizes of 1 mm and 0.5 mm (the argument is four times the voxel size).
	BENCHMARK(BM_CurveShortening)->Arg(4)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

	void BM_CreateVesselTree(benchmark::State& state)
	{
		TreeSettings settings;
		settings.dimensions = Eigen::Vector3i::Constant(static_cast<int>(state.range(0)));
		int segments = 0;
		for (auto _ : state)
		{
			const VesselTree made = createVesselTree(settings);
			segments = static_cast<int>(made.segments.size());
		}
		state.counters["segments"] = segments;
	}
	BENCHMARK(BM_CreateVesselTree)->Arg(256)->Arg(512)->Unit(benchmark::kMillisecond);

	void BM_MatchCenterline(benchmark::State& state)
	{
		const VesselTree& truth = tree(static_cast<int>(state.range(0)));
		const Graph graph = noisyCenterline(truth, 1.0, 0.3);
		CenterlineMatch match;
		for (auto _ : state)
			match = matchCenterline(truth, graph, 1.0);
		state.counters["samples"] = static_cast<double>(match.samples);
		state.counters["coverage"] = match.coverage;
	}
	BENCHMARK(BM_MatchCenterline)->Arg(256)->Arg(512)->Unit(benchmark::kMillisecond);
}

BENCHMARK_MAIN();
