// Costs of the graph model at the scale of large vessel trees: a million nodes and edges.
#include "src/graph/Graph.h"
#include "src/graph/GraphMatrixUtils.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace Quorvale;

namespace
{
	constexpr uint64_t kNodes = 1000000;
	constexpr uint64_t kEdges = 1000000;

	/// A random undirected graph of kNodes nodes and kEdges distinct edges (a spanning chain plus
	/// random chords), the same every run.
	Graph randomGraph()
	{
		Graph graph;
		std::mt19937_64 random(7);
		std::uniform_real_distribution<double> coordinate(0.0, 100.0);
		for (uint64_t i = 0; i < kNodes; ++i)
			graph.addNode(Graph::NodeInfo(Eigen::Vector3d(coordinate(random), coordinate(random), coordinate(random)), {}));
		for (uint64_t i = 1; i < kNodes; ++i)
			graph.addEdge(i, i + 1, Graph::EdgeInfo({1.0}));
		std::uniform_int_distribution<uint64_t> node(1, kNodes);
		for (uint64_t count = kNodes - 1; count < kEdges;)
		{
			const uint64_t a = node(random);
			const uint64_t b = node(random);
			if (a == b || graph.edge(a, b))
				continue;
			graph.addEdge(a, b, Graph::EdgeInfo({2.0}));
			++count;
		}
		return graph;
	}

	const Graph& sharedGraph()
	{
		static const Graph graph = randomGraph();
		return graph;
	}

	const Graph& sharedChain()
	{
		static const Graph chain = []
		{
			Graph graph;
			for (uint64_t i = 0; i < kNodes; ++i)
				graph.addNode(Graph::NodeInfo(Eigen::Vector3d(static_cast<double>(i), 0, 0), {}));
			for (uint64_t i = 1; i < kNodes; ++i)
				graph.addEdge(i, i + 1, {});
			return graph;
		}();
		return chain;
	}
}

static void BM_BuildGraph(benchmark::State& state)
{
	for (auto _ : state)
	{
		Graph graph = randomGraph();
		benchmark::DoNotOptimize(graph.numNodes());
	}
}
BENCHMARK(BM_BuildGraph)->Unit(benchmark::kMillisecond)->Iterations(1);

static void BM_VisitAllEdges(benchmark::State& state)
{
	const Graph& graph = sharedGraph();
	for (auto _ : state)
	{
		double sum = 0.0;
		graph.forEachEdge([&sum](const Graph::EdgeInfo& e, uint64_t, uint64_t) { sum += e.features()[0]; });
		benchmark::DoNotOptimize(sum);
	}
	state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kEdges));
}
BENCHMARK(BM_VisitAllEdges)->Unit(benchmark::kMillisecond);

static void BM_AdjacencyMatrixSequential(benchmark::State& state)
{
	const Graph& graph = sharedGraph();
	for (auto _ : state)
	{
		auto matrix = GraphMatrixUtils::computeAdjacencyMatrix(graph, GraphMatrixUtils::Representation::Sequential, nullptr, {});
		benchmark::DoNotOptimize(matrix.nonZeros());
	}
}
BENCHMARK(BM_AdjacencyMatrixSequential)->Unit(benchmark::kMillisecond);

static void BM_TraverseChain(benchmark::State& state)
{
	const Graph& chain = sharedChain();
	for (auto _ : state)
	{
		uint64_t steps = 0;
		chain.traverse(1,
		               [&steps](const std::vector<const Graph::NodeInfo*>& candidates)
		               {
			               ++steps;
			               return candidates.empty() ? nullptr : candidates.front();
		               });
		benchmark::DoNotOptimize(steps);
	}
	state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kNodes));
}
BENCHMARK(BM_TraverseChain)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
