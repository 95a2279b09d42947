// GraphML writing and reading of a large vessel graph: 100,000 nodes and 120,000 edges with 4 node
// and 2 edge features. The file goes to the system's temporary folder and is removed at the end;
// set QUORVALE_GRAPHML_BENCH_FILE to write it elsewhere and keep it (to time other tools on it).
#include "src/graph/Graph.h"
#include "src/io/GraphMLIoAlgorithm.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

using namespace Quorvale;

namespace
{
	constexpr uint64_t kNodes = 100000;
	constexpr uint64_t kEdges = 120000;

	/// A random undirected graph (a spanning chain plus random chords), the same every run.
	Graph randomGraph()
	{
		Graph graph;
		graph.addEdgeFeatureDescriptors({{"length", 0.0}});
		graph.addNodeFeatureDescriptors({{"radius", 0.0}, {"degree", 0.0}, {"intensity", 0.0}, {"distance", 0.0}});
		std::mt19937_64 random(11);
		std::uniform_real_distribution<double> value(0.0, 100.0);
		for (uint64_t i = 0; i < kNodes; ++i)
			graph.addNode(Graph::NodeInfo(Eigen::Vector3d(value(random), value(random), value(random)),
			                              {value(random), std::floor(value(random) / 20), value(random), value(random)}));
		for (uint64_t i = 1; i < kNodes; ++i)
			graph.addEdge(i, i + 1, Graph::EdgeInfo({value(random), value(random)}));
		std::uniform_int_distribution<uint64_t> node(1, kNodes);
		for (uint64_t count = kNodes - 1; count < kEdges;)
		{
			const uint64_t a = node(random);
			const uint64_t b = node(random);
			if (a == b || graph.edge(a, b))
				continue;
			graph.addEdge(a, b, Graph::EdgeInfo({value(random), value(random)}));
			++count;
		}
		return graph;
	}

	const Graph& sharedGraph()
	{
		static const Graph graph = randomGraph();
		return graph;
	}

	const std::string& benchFile()
	{
		static const std::string path = []
		{
			const char* chosen = std::getenv("QUORVALE_GRAPHML_BENCH_FILE");
			return chosen && *chosen ? std::string(chosen)
			                         : (std::filesystem::temp_directory_path() / "quorvale-graphml-bench.graphml").string();
		}();
		return path;
	}

	/// Removes the file at exit unless the caller chose where it goes.
	struct BenchFileCleanup
	{
		~BenchFileCleanup()
		{
			const char* chosen = std::getenv("QUORVALE_GRAPHML_BENCH_FILE");
			if (!(chosen && *chosen))
			{
				std::error_code ignored;
				std::filesystem::remove(benchFile(), ignored);
			}
		}
	} cleanup;
}

static void BM_GraphMLWrite(benchmark::State& state)
{
	const Graph& graph = sharedGraph();
	GraphMLIoAlgorithm writer(graph);
	for (auto _ : state)
	{
		if (!writer.saveToGraphML(graph, benchFile(), nullptr))
			state.SkipWithError("writing failed");
	}
	state.counters["MB"] = static_cast<double>(std::filesystem::file_size(benchFile())) / 1e6;
}
BENCHMARK(BM_GraphMLWrite)->Unit(benchmark::kMillisecond)->Iterations(3);

static void BM_GraphMLRead(benchmark::State& state)
{
	const Graph& graph = sharedGraph();
	GraphMLIoAlgorithm writer(graph);
	if (!std::filesystem::exists(benchFile()) && !writer.saveToGraphML(graph, benchFile(), nullptr))
	{
		state.SkipWithError("writing failed");
		return;
	}
	for (auto _ : state)
	{
		auto loaded = GraphMLIoAlgorithm::loadFromGraphML(Filesystem::Path(benchFile()));
		if (!loaded || loaded->numNodes() != static_cast<int>(kNodes))
			state.SkipWithError("reading failed");
		benchmark::DoNotOptimize(loaded);
	}
}
BENCHMARK(BM_GraphMLRead)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
