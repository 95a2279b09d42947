// Saving and loading a large graph through the .qvf file: 100,000 nodes with 4 features and
// 120,000 edges with 2 features, the size of a vessel tree extracted from a whole-organ scan.
#include "host/lib/DataList.h"
#include "host/lib/QuorvaleFile.h"
#include "src/graph/Graph.h"
#include "src/io/GraphQuorvaleFilePlugin.h"

#include "bench/BenchGraphs.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <sstream>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

using namespace Quorvale;

namespace
{
	constexpr uint64_t kNodes = 100000;
	constexpr uint64_t kEdges = 120000;

	Graph makeGraph() { return BenchGraphs::randomChordGraph(kNodes, kEdges); }

	const Graph& sharedGraph()
	{
		static const Graph graph = []
		{
			QuorvaleFile::addPlugin(std::make_unique<GraphQuorvaleFilePlugin>());
			return makeGraph();
		}();
		return graph;
	}

	std::string filePath()
	{
		return (std::filesystem::temp_directory_path() / ("qvf_bench_" + std::to_string(::getpid()) + ".qvf")).string();
	}

	double peakRssMiB()
	{
		rusage usage{};
		getrusage(RUSAGE_SELF, &usage);
		return static_cast<double>(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
	}

	void reportSize(benchmark::State& state, const std::string& path)
	{
		const auto bytes = static_cast<int64_t>(std::filesystem::file_size(path));
		state.SetBytesProcessed(state.iterations() * bytes);
		state.counters["file_MiB"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
		state.counters["peak_rss_MiB"] = peakRssMiB();
	}

	void BM_QvfSave(benchmark::State& state)
	{
		const Graph& graph = sharedGraph();
		const std::string path = filePath();
		for (auto _ : state)
			if (!QuorvaleFile::save({const_cast<Graph*>(&graph)}, path))
				state.SkipWithError("saving failed");
		reportSize(state, path);
		std::filesystem::remove(path);
	}
	BENCHMARK(BM_QvfSave)->Unit(benchmark::kMillisecond);

	void BM_QvfLoad(benchmark::State& state)
	{
		const Graph& graph = sharedGraph();
		const std::string path = filePath();
		if (!QuorvaleFile::save({const_cast<Graph*>(&graph)}, path))
			state.SkipWithError("saving failed");
		for (auto _ : state)
		{
			auto result = QuorvaleFile::load(path);
			if (!result.ok() || result.data.size() != 1)
				state.SkipWithError("loading failed");
			benchmark::DoNotOptimize(result);
		}
		reportSize(state, path);
		std::filesystem::remove(path);
	}
	BENCHMARK(BM_QvfLoad)->Unit(benchmark::kMillisecond);

	/// The graph block alone, in memory: what the handler costs without the file system.
	void BM_GraphBlockWrite(benchmark::State& state)
	{
		const Graph& graph = sharedGraph();
		const GraphQuorvaleFilePlugin handler;
		size_t size = 0;
		for (auto _ : state)
		{
			std::ostringstream out;
			handler.write(graph, out);
			size = out.str().size();
		}
		state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
	}
	BENCHMARK(BM_GraphBlockWrite)->Unit(benchmark::kMillisecond);
}

BENCHMARK_MAIN();
