// Saving and loading a large graph through the .qvf file: 100,000 nodes with 4 features and
// 120,000 edges with 2 features, the size of a vessel tree extracted from a whole-organ scan.
// BM_QvfSavePeakMemory saves graphs of two shapes in a child process each and reports the peak
// resident memory the saving added to the graph's own ("MB peak"), beside the size of the file.
#include "host/lib/DataList.h"
#include "host/lib/QuorvaleFile.h"
#include "src/graph/Graph.h"
#include "src/io/GraphQuorvaleFilePlugin.h"

#include "bench/BenchGraphs.h"
#include "bench/BenchMemory.h"

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

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

	/// 0: the vessel graph; 1: 10,000 nodes with 20,000 features each (1.6 GB of values), the shape
	/// of a GraphML file with as many keys.
	Graph shapeGraph(int shape)
	{
		if (shape == 0)
			return makeGraph();
		constexpr int kFeatures = 20000;
		Graph graph;
		std::vector<Graph::FeatureDescriptor> descriptors;
		for (int i = 0; i < kFeatures; ++i)
			descriptors.push_back({"f" + std::to_string(i), 0.0});
		graph.addNodeFeatureDescriptors(descriptors);
		for (int i = 0; i < 10000; ++i)
			graph.addNode(Graph::NodeInfo(Eigen::Vector3d(i, 0, 0), std::vector<double>(kFeatures, 0.5 * i)));
		return graph;
	}

	/// What saving a graph of `shape` to `path` added to the peak resident memory, in bytes, and took,
	/// in seconds, measured in a child process whose free memory is returned and whose peak is reset
	/// once the graph is built; -1 each when the saving failed.
	std::array<double, 2> savingPeak(int shape, const std::string& path)
	{
		return BenchMemory::inChild(
		    [&]() -> std::array<double, 2>
		    {
			    Graph graph = shapeGraph(shape);
			    const long before = BenchMemory::resetPeak();
			    const auto start = std::chrono::steady_clock::now();
			    if (!QuorvaleFile::save({&graph}, path))
				    return {-1, -1};
			    return {BenchMemory::peakAbove(before), std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
		    },
		    std::array<double, 2>{-1, -1});
	}

	void BM_QvfSavePeakMemory(benchmark::State& state)
	{
		sharedGraph(); // registers the graph block handler
		const std::string path = filePath();
		std::array<double, 2> measured{-1, -1};
		for (auto _ : state)
			measured = savingPeak(static_cast<int>(state.range(0)), path);
		if (measured[0] < 0)
			state.SkipWithError("saving failed");
		else
		{
			state.counters["MB file"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
			state.counters["MB peak"] = measured[0] / 1e6;
			state.counters["s save"] = measured[1];
		}
		std::filesystem::remove(path);
	}
	BENCHMARK(BM_QvfSavePeakMemory)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->Iterations(1);
}

BENCHMARK_MAIN();
