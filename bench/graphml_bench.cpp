// GraphML writing and reading of a large vessel graph: 100,000 nodes and 120,000 edges with 4 node
// and 2 edge features. The file goes to the system's temporary folder and is removed at the end;
// set QUORVALE_GRAPHML_BENCH_FILE to write it elsewhere and keep it (to time other tools on it).
// BM_GraphMLReadPeakMemory reads documents of awkward shapes in a child process each and reports
// the peak resident memory the reading added against the reader's own estimate ("MB peak", "MB
// estimated"; the estimate must not be below the peak).
#include "host/core/Log.h"
#include "src/graph/Graph.h"
#include "src/io/GraphMLIoAlgorithm.h"

#include "bench/BenchGraphs.h"
#include "bench/BenchMemory.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
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

namespace
{
	const char* const kHeader = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<graphml xmlns=\"http://graphml.graphdrawing.org/xmlns\">\n";

	/// The shapes measured: keys that no node uses on many nodes, one long comment, text attributes
	/// as igraph writes names, and the large vessel graph as this program writes it.
	std::string shapeText(int shape)
	{
		std::string text = kHeader;
		switch (shape)
		{
		case 0:
			for (int k = 0; k < 20000; ++k)
				text += "<key id=\"f" + std::to_string(k) + "\" for=\"node\" attr.type=\"double\"/>\n";
			text += "<graph edgedefault=\"undirected\">\n";
			for (int n = 0; n < 10000; ++n)
				text += "<node id=\"n" + std::to_string(n) + "\"/>\n";
			return text + "</graph>\n</graphml>\n";
		case 1:
			text += "<!--" + std::string(50000000, 'c') + "-->\n<graph><node id=\"a\"/><node id=\"b\"/><edge source=\"a\" target=\"b\"/></graph>\n";
			return text + "</graphml>\n";
		case 2:
			text += "<key id=\"v_name\" for=\"node\" attr.name=\"name\" attr.type=\"string\"/>\n"
			        "<key id=\"e_label\" for=\"edge\" attr.name=\"label\" attr.type=\"string\"><default>none</default></key>\n"
			        "<graph edgedefault=\"undirected\">\n";
			for (int n = 0; n < 100000; ++n)
				text += "<node id=\"n" + std::to_string(n) + "\"><data key=\"v_name\">vessel segment number " + std::to_string(n) + "</data></node>\n";
			for (int n = 1; n < 100000; ++n)
				text += "<edge source=\"n" + std::to_string(n - 1) + "\" target=\"n" + std::to_string(n) + "\"/>\n";
			return text + "</graph>\n</graphml>\n";
		default:
		{
			GraphMLIoAlgorithm writer(sharedGraph());
			writer.saveToGraphML(sharedGraph(), benchFile(), nullptr);
			std::ifstream in(benchFile(), std::ios::binary);
			std::ostringstream all;
			all << in.rdbuf();
			return all.str();
		}
		}
	}

	/// The peak resident memory, in bytes, that reading `path` adds, measured in a child process
	/// whose free memory is returned and whose peak is reset before it reads; -1 when it cannot be measured.
	double readingPeak(const std::string& path)
	{
		return BenchMemory::inChild(
		    [&]
		    {
			    const long before = BenchMemory::resetPeak();
			    auto graph = GraphMLIoAlgorithm::loadFromGraphML(Filesystem::Path(path));
			    return graph ? BenchMemory::peakAbove(before) : -1.0;
		    },
		    -1.0);
	}

	/// The reader's estimate, in bytes, taken from its refusal under a limit of one byte.
	double readingEstimate(const std::string& path)
	{
		setenv("QUORVALE_MEMORY_LIMIT", "1", 1);
		Log::ScopedCapture log;
		GraphMLIoAlgorithm::loadFromGraphML(Filesystem::Path(path));
		unsetenv("QUORVALE_MEMORY_LIMIT");
		for (const std::string& message : log->messages(Log::Error))
			if (const size_t at = message.find("would need "); at != std::string::npos)
			{
				std::istringstream amount(message.substr(at + 11));
				double value = 0;
				std::string unit;
				amount >> value >> unit;
				return value * (unit == "GB" ? 1e9 : unit == "MB" ? 1e6 : unit == "kB" ? 1e3 : 1.0);
			}
		return -1;
	}
}

static void BM_GraphMLReadPeakMemory(benchmark::State& state)
{
	const std::string path = (std::filesystem::temp_directory_path() / "quorvale-graphml-shape.graphml").string();
	{
		const std::string text = shapeText(static_cast<int>(state.range(0)));
		std::ofstream(path, std::ios::binary) << text;
		state.counters["MB file"] = static_cast<double>(text.size()) / 1e6;
	}
	double peak = -1;
	for (auto _ : state)
		peak = readingPeak(path);
	const double estimate = readingEstimate(path);
	std::filesystem::remove(path);
	if (peak < 0 || estimate < 0)
		state.SkipWithError("reading failed");
	state.counters["MB peak"] = peak / 1e6;
	state.counters["MB estimated"] = estimate / 1e6;
}
// 0: 20,000 unused keys on 10,000 nodes; 1: a 50 MB comment; 2: text names on 100,000 nodes; 3: the vessel graph.
BENCHMARK(BM_GraphMLReadPeakMemory)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
