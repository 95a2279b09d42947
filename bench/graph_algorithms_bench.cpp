// Costs of the graph algorithms and segment functions on synthetic vessel trees of up to a million
// nodes: long chains that branch off at random nodes, a few loops, and a scatter of small separate
// trees. Each benchmark runs at three sizes and fits its growth (the BigO line of the report).
#include "host/core/Log.h"
#include "host/lib/AlgorithmRunner.h"
#include "src/algorithms/CombineGraphsAlgorithm.h"
#include "src/algorithms/GraphReindexingAlgorithm.h"
#include "src/algorithms/NodeToEdgeFeatureAlgorithm.h"
#include "src/algorithms/PartitionGraphsAlgorithm.h"
#include "src/graph/Graph.h"
#include "src/graph/GraphUtils.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <random>
#include <stdexcept>
#include <tuple>
#include <vector>

using namespace Quorvale;

namespace
{
	struct Shape
	{
		bool loops = true;     ///< a few edges that close loops inside the trees
		bool scattered = true; ///< 1 % of the nodes in separate trees of 100 nodes
	};

	/// Grows one tree of `count` nodes: chains of 20 to 200 nodes, each starting at a random node
	/// of the tree so far (a branch when that node is inside a chain).
	void growTree(Graph& graph, std::mt19937_64& random, uint64_t count, bool loops)
	{
		std::uniform_real_distribution<double> unit(-1.0, 1.0);
		std::uniform_real_distribution<double> radius(0.5, 5.0);
		std::uniform_int_distribution<uint64_t> chainLength(20, 200);
		std::vector<uint64_t> members;
		members.reserve(count);
		members.push_back(
		    graph.addNode(Graph::NodeInfo(Eigen::Vector3d(unit(random), unit(random), unit(random)) * 1000.0, {radius(random)})));
		while (members.size() < count)
		{
			uint64_t previous = members[std::uniform_int_distribution<size_t>(0, members.size() - 1)(random)];
			Eigen::Vector3d position = graph.node(previous).position();
			const Eigen::Vector3d direction = Eigen::Vector3d(unit(random), unit(random), unit(random)).normalized();
			const uint64_t length = std::min<uint64_t>(chainLength(random), count - members.size());
			for (uint64_t j = 0; j < length; ++j)
			{
				position += direction + 0.2 * Eigen::Vector3d(unit(random), unit(random), unit(random));
				const uint64_t id = graph.addNode(Graph::NodeInfo(position, {radius(random)}));
				graph.addEdge(previous, id, Graph::EdgeInfo({radius(random) * 2.0}));
				members.push_back(id);
				previous = id;
			}
		}
		if (!loops)
			return;
		// Joining two nodes of one chain 30 steps apart closes a loop.
		for (int i = 0; i < 20 && members.size() > 100; ++i)
		{
			const size_t at = std::uniform_int_distribution<size_t>(0, members.size() - 31)(random);
			graph.addEdge(members[at], members[at + 30], Graph::EdgeInfo({1.0}));
		}
	}

	Graph vesselTree(uint64_t nodes, Shape shape)
	{
		std::mt19937_64 random(11);
		Graph graph;
		graph.addNodeFeatureDescriptors({{"radius", 0.0}});
		const uint64_t main = shape.scattered ? nodes - nodes / 100 : nodes;
		growTree(graph, random, main, shape.loops);
		while (static_cast<uint64_t>(graph.numNodes()) < nodes)
			growTree(graph, random, std::min<uint64_t>(100, nodes - static_cast<uint64_t>(graph.numNodes())), false);
		return graph;
	}

	/// Trees are built once per size and shape.
	const Graph& sharedTree(int64_t nodes, Shape shape = {})
	{
		static std::map<std::tuple<int64_t, bool, bool>, Graph> trees;
		const auto key = std::make_tuple(nodes, shape.loops, shape.scattered);
		auto found = trees.find(key);
		if (found == trees.end())
			found = trees.emplace(key, vesselTree(static_cast<uint64_t>(nodes), shape)).first;
		return found->second;
	}

	void finish(benchmark::State& state)
	{
		state.SetComplexityN(state.range(0));
		state.SetItemsProcessed(state.iterations() * state.range(0));
	}

	void sizes(benchmark::internal::Benchmark* b)
	{
		b->Arg(250000)->Arg(500000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(2)->Complexity();
	}

	void check(int status)
	{
		if (status != Algorithm::Success)
			throw std::runtime_error("the algorithm failed with status " + std::to_string(status));
	}
}

static void BM_PartitionGraphs(benchmark::State& state)
{
	const Graph& graph = sharedTree(state.range(0));
	for (auto _ : state)
	{
		PartitionGraphsAlgorithm algorithm(graph);
		algorithm.minComponentSize = 2;
		check(AlgorithmRunner::run(algorithm));
		benchmark::DoNotOptimize(algorithm.takeOutput().size());
	}
	finish(state);
}
BENCHMARK(BM_PartitionGraphs)->Apply(sizes);

static void BM_CombineGraphs(benchmark::State& state)
{
	// Two trees of half the size each.
	const Graph& half = sharedTree(state.range(0) / 2, {true, false});
	Graph other = half;
	Eigen::Matrix4d shift = Eigen::Matrix4d::Identity();
	shift(0, 3) = 5000.0;
	other.setMatrixToWorld(shift);
	Graph first = half;
	for (auto _ : state)
	{
		CombineGraphsAlgorithm algorithm({&first, &other});
		check(AlgorithmRunner::run(algorithm));
		benchmark::DoNotOptimize(algorithm.combined()->numNodes());
	}
	finish(state);
}
BENCHMARK(BM_CombineGraphs)->Apply(sizes);

static void BM_GraphReindexing(benchmark::State& state)
{
	Graph graph = sharedTree(state.range(0), {true, false});
	for (auto _ : state)
	{
		GraphReindexingAlgorithm algorithm(graph);
		algorithm.mode = GraphReindexingAlgorithm::Mode::LargestDiameter;
		check(AlgorithmRunner::run(algorithm));
		benchmark::DoNotOptimize(algorithm.takeOutput().size());
	}
	finish(state);
}
BENCHMARK(BM_GraphReindexing)->Apply(sizes);

static void BM_NodeToEdgeFeature(benchmark::State& state)
{
	Graph graph = sharedTree(state.range(0));
	for (auto _ : state)
	{
		NodeToEdgeFeatureAlgorithm algorithm(graph);
		algorithm.mode = NodeToEdgeFeatureAlgorithm::Mode::Difference;
		algorithm.nodeFeatureName = std::string("radius");
		check(AlgorithmRunner::run(algorithm));
	}
	finish(state);
}
BENCHMARK(BM_NodeToEdgeFeature)->Apply(sizes);

static void BM_AccumulateFeatureAlongSegments(benchmark::State& state)
{
	Graph graph = sharedTree(state.range(0));
	for (auto _ : state)
		GraphUtils::accumulateFeatureAlongSegments(graph, meanOfValues, "diameter", "meanDiameter");
	finish(state);
}
BENCHMARK(BM_AccumulateFeatureAlongSegments)->Apply(sizes);

static void BM_ClampAndSmoothEdgeFeature(benchmark::State& state)
{
	Graph graph = sharedTree(state.range(0));
	for (auto _ : state)
		GraphUtils::clampAndSmoothEdgeFeature(graph, 0, true, 2, 1.5);
	finish(state);
}
BENCHMARK(BM_ClampAndSmoothEdgeFeature)->Apply(sizes);

static void BM_IsAcyclic(benchmark::State& state)
{
	// Without loops the search has to visit every node before it can answer.
	const Graph& graph = sharedTree(state.range(0), {false, true});
	for (auto _ : state)
		if (!GraphUtils::isAcyclic(graph))
			throw std::runtime_error("the loop-free tree has a cycle");
	finish(state);
}
BENCHMARK(BM_IsAcyclic)->Apply(sizes);

int main(int argc, char** argv)
{
	// The partition of a directed graph warns; keep the report clean of log lines.
	Log::setMinimumLevel(Log::Error);
	benchmark::Initialize(&argc, argv);
	if (benchmark::ReportUnrecognizedArguments(argc, argv))
		return 1;
	benchmark::RunSpecifiedBenchmarks();
	benchmark::Shutdown();
	return 0;
}
