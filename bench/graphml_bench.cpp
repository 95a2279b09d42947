// GraphML writing and reading of a large vessel graph: 100,000 nodes and 120,000 edges with 4 node
// and 2 edge features. The file goes to the system's temporary folder and is removed at the end;
// set QUORVALE_GRAPHML_BENCH_FILE to write it elsewhere and keep it (to time other tools on it).
#include "src/graph/Graph.h"
#include "src/io/GraphMLIoAlgorithm.h"

#include "bench/BenchGraphs.h"

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

	Graph randomGraph() { return BenchGraphs::randomChordGraph(kNodes, kEdges); }

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
