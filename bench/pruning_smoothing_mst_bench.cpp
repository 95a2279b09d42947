// Pruning, smoothing and the minimum spanning tree on synthetic vessel trees of up to a million
// nodes: mostly chains, with branch points, short spurs and a few loops. Each benchmark runs at four
// sizes, so the fitted complexity shows how the cost grows.
#include "src/algorithms/GraphSmoothingAlgorithm.h"
#include "src/algorithms/MinimumSpanningTreeAlgorithm.h"
#include "src/algorithms/PruneTerminalPathsAlgorithm.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <random>

#include <Eigen/Geometry>

#include "host/lib/AlgorithmRunner.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"

using namespace Quorvale;

namespace
{
	/// A vessel tree of `size` nodes one unit apart: branches of 20 to 400 nodes that bend slowly
	/// and split in two at their ends, thinning by a fifth per generation; a short spur of one to
	/// four nodes on about one chain node in fifty; one loop-closing edge per 10,000 nodes. Edge
	/// feature "diameter" carries the branch diameter. The same tree every run.
	Graph vesselTree(int size)
	{
		struct Tip
		{
			uint64_t node;
			Eigen::Vector3d direction;
			double diameter;
		};
		std::mt19937_64 random(20240611);
		std::normal_distribution<double> jitter(0.0, 1.0);
		std::uniform_real_distribution<double> unit(0.0, 1.0);
		const auto randomVector = [&] { return Eigen::Vector3d(jitter(random), jitter(random), jitter(random)); };

		Graph graph;
		std::deque<Tip> tips{{graph.addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {})), Eigen::Vector3d::UnitX(), 8.0}};
		const auto grow = [&](uint64_t from, const Eigen::Vector3d& direction, double diameter)
		{
			const uint64_t id = graph.addNode(Graph::NodeInfo(graph.node(from).position() + direction, {}));
			graph.addEdge(from, id, Graph::EdgeInfo({diameter}));
			return id;
		};
		while (graph.numNodes() < size && !tips.empty())
		{
			Tip tip = tips.front();
			tips.pop_front();
			const int length = 20 + static_cast<int>(unit(random) * 380);
			for (int i = 0; i < length && graph.numNodes() < size; ++i)
			{
				tip.direction = (tip.direction + 0.15 * randomVector()).normalized();
				tip.node = grow(tip.node, tip.direction, tip.diameter);
				if (unit(random) < 0.02)
				{
					uint64_t spur = tip.node;
					Eigen::Vector3d sideways = tip.direction.cross(randomVector()).normalized();
					for (int s = 1 + static_cast<int>(unit(random) * 4); s > 0 && graph.numNodes() < size; --s)
						spur = grow(spur, sideways, 0.5 * tip.diameter);
				}
			}
			for (int child = 0; child < 2; ++child)
				tips.push_back({tip.node, (tip.direction + 0.8 * randomVector()).normalized(), std::max(0.5, 0.8 * tip.diameter)});
		}
		std::uniform_int_distribution<uint64_t> anyNode(1, graph.maxNodeIdx());
		for (int loops = size / 10000; loops > 0;)
		{
			const uint64_t a = anyNode(random);
			const uint64_t b = anyNode(random);
			if (a == b || graph.neighborhood(a).size() != 2 || graph.neighborhood(b).size() != 2)
				continue;
			graph.addEdge(a, b, Graph::EdgeInfo({1.0}));
			--loops;
		}
		return graph;
	}

	Graph& tree(int size)
	{
		static std::map<int, Graph> trees;
		auto found = trees.find(size);
		if (found == trees.end())
			found = trees.emplace(size, vesselTree(size)).first;
		return found->second;
	}

	/// A float distance image over the tree's bounding box at two units per voxel, holding 4 at
	/// every voxel: spurs shorter than 4 × sensitivity are pruned.
	std::unique_ptr<SharedImageSet> distanceImage(const Graph& graph)
	{
		Eigen::Vector3d low = Eigen::Vector3d::Constant(1e300);
		Eigen::Vector3d high = -low;
		graph.forEachNode(
		    [&](uint64_t, const Graph::NodeInfo& info)
		    {
			    low = low.cwiseMin(info.position());
			    high = high.cwiseMax(info.position());
		    });
		const Eigen::Vector3i dimensions = ((high - low) / 2.0).array().ceil().cast<int>() + 2;
		auto image = TypedImage<float>::create(ImageDescriptor(ImageDescriptor::Float, dimensions, 1, Eigen::Vector3d::Constant(2.0)));
		image->fill(4.0f);
		auto set = std::make_unique<SharedImageSet>(std::make_unique<SharedImage>(std::move(image)));
		Eigen::Matrix4d placement = Eigen::Matrix4d::Identity();
		placement.block<3, 1>(0, 3) = 0.5 * (low + high);
		set->setMatrixToWorld(placement);
		return set;
	}

	void sizes(benchmark::internal::Benchmark* b)
	{
		for (int n : {125000, 250000, 500000, 1000000})
			b->Arg(n);
		b->Unit(benchmark::kMillisecond)->Iterations(1)->Complexity(benchmark::oNLogN);
	}

	/// Runs `body` on a fresh copy of the tree of state.range(0) nodes, timing only `body`.
	template <typename F>
	void onCopy(benchmark::State& state, F&& body)
	{
		const Graph& original = tree(static_cast<int>(state.range(0)));
		for (auto _ : state)
		{
			state.PauseTiming();
			Graph graph = original;
			state.ResumeTiming();
			body(graph);
			state.PauseTiming();
			state.counters["nodesLeft"] = graph.numNodes();
			graph = Graph();
			state.ResumeTiming();
		}
		state.SetComplexityN(state.range(0));
	}
}

static void BM_PruneShortTerminalPaths(benchmark::State& state)
{
	onCopy(state, [](Graph& graph) { PruneTerminalPathsAlgorithm::removeShortTerminalPaths(graph, 5.0); });
}
BENCHMARK(BM_PruneShortTerminalPaths)->Apply(sizes);

static void BM_PruneDistanceBased(benchmark::State& state)
{
	const auto image = distanceImage(tree(static_cast<int>(state.range(0))));
	onCopy(state, [&](Graph& graph) { PruneTerminalPathsAlgorithm::removePathsDistanceBased(graph, image.get(), 1.0); });
}
BENCHMARK(BM_PruneDistanceBased)->Apply(sizes);

static void BM_SmoothNeighborhoodAverage(benchmark::State& state)
{
	onCopy(state, [](Graph& graph) { GraphSmoothingAlgorithm::smoothByNeighborhoodAverage(graph, 1.0, true); });
}
BENCHMARK(BM_SmoothNeighborhoodAverage)->Apply(sizes);

static void BM_SmoothHeatKernel(benchmark::State& state)
{
	onCopy(state, [](Graph& graph) { benchmark::DoNotOptimize(GraphSmoothingAlgorithm::smoothByHeatKernel(graph, 1.0, true)); });
}
BENCHMARK(BM_SmoothHeatKernel)->Apply(sizes);

static void BM_SmoothHeatKernelWide(benchmark::State& state)
{
	onCopy(state, [](Graph& graph) { benchmark::DoNotOptimize(GraphSmoothingAlgorithm::smoothByHeatKernel(graph, 4.0, true)); });
}
BENCHMARK(BM_SmoothHeatKernelWide)->Apply(sizes);

template <MinimumSpanningTreeAlgorithm::WeightMode Mode, bool PruneBySegment>
static void BM_MinimumSpanningTree(benchmark::State& state)
{
	Graph& graph = tree(static_cast<int>(state.range(0)));
	MinimumSpanningTreeAlgorithm algorithm(graph, nullptr);
	algorithm.weightMode = Mode;
	algorithm.pruneBySegment = PruneBySegment;
	for (auto _ : state)
	{
		if (AlgorithmRunner::run(algorithm) != Algorithm::Success)
			state.SkipWithError("minimum spanning tree failed");
		state.PauseTiming();
		{
			const auto result = algorithm.takeOutput().extractFirst<Graph>();
			state.counters["nodesLeft"] = result ? result->numNodes() : 0;
			state.counters["edgesLeft"] = result ? result->numEdges() : 0;
		}
		state.ResumeTiming();
	}
	state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_MinimumSpanningTree<MinimumSpanningTreeAlgorithm::WeightMode::EdgeLength, false>)->Apply(sizes);
BENCHMARK(BM_MinimumSpanningTree<MinimumSpanningTreeAlgorithm::WeightMode::Diameter, true>)->Apply(sizes);
BENCHMARK(BM_MinimumSpanningTree<MinimumSpanningTreeAlgorithm::WeightMode::WeightedDiameterEdgeLength, true>)->Apply(sizes);

BENCHMARK_MAIN();
