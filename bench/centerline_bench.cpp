// The centerline extraction of a 256³ synthetic vessel tree, stage by stage, with its peak memory
// beyond the input image.
//
// Counters: seconds per stage (from the algorithm's debug records), the resampled grid's voxel count,
// and the peak resident memory the run adds to the process, in MiB and in bytes per voxel of the
// resampled grid. Large blocks are always mapped from and returned to the system here, and the
// kernel's peak is reset before each run, so the peak is that of the run.
#include <benchmark/benchmark.h>

#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <string>

#include <malloc.h>

#include "host/core/Log.h"
#include "host/lib/SharedImageSet.h"
#include "src/graph/Graph.h"
#include "src/imaging/CenterlineGraphExtractionAlgorithm.h"
#include "synthetic/VesselTree.h"

using namespace Quorvale;

namespace
{
	/// A value in kB from /proc/self/status ("VmRSS", "VmHWM").
	double statusKiB(const std::string& key)
	{
		std::ifstream status("/proc/self/status");
		std::string line;
		while (std::getline(status, line))
			if (line.rfind(key + ":", 0) == 0)
				return std::stod(line.substr(key.size() + 1));
		return 0.0;
	}

	/// Starts a new peak at the current resident size.
	void resetPeak()
	{
		malloc_trim(0);
		std::ofstream("/proc/self/clear_refs") << "5";
	}

	const SyntheticVessels::VesselTree& tree(int size)
	{
		static std::map<int, SyntheticVessels::VesselTree> trees;
		auto it = trees.find(size);
		if (it == trees.end())
		{
			SyntheticVessels::TreeSettings settings;
			settings.dimensions = Eigen::Vector3i::Constant(size);
			settings.spacing = Eigen::Vector3d::Constant(0.5);
			it = trees.emplace(size, SyntheticVessels::createVesselTree(settings)).first;
		}
		return it->second;
	}

	void BM_CenterlineExtraction(benchmark::State& state)
	{
		// Freed large buffers go back to the system at once, so a run's peak is its own.
		mallopt(M_MMAP_THRESHOLD, 128 * 1024);
		mallopt(M_TRIM_THRESHOLD, 128 * 1024);
		const SyntheticVessels::VesselTree& input = tree(static_cast<int>(state.range(0)));
		const int previousLevel = Log::minimumLevel();
		Log::setMinimumLevel(Log::Debug);

		std::map<std::string, double> stages;
		double peakBytes = 0.0, gridVoxels = 0.0, nodes = 0.0;
		const std::regex stageRecord("Stage (.+): ([0-9.]+) s");
		const std::regex gridRecord("Resampled grid ([0-9]+) x ([0-9]+) x ([0-9]+)");
		for (auto _ : state)
		{
			Log::ScopedCapture log;
			resetPeak();
			const double before = statusKiB("VmRSS");
			CenterlineGraphExtractionAlgorithm algorithm(*input.labels);
			algorithm.compute();
			const double peak = statusKiB("VmHWM");
			if (algorithm.status() != Algorithm::Success)
			{
				state.SkipWithError("The extraction failed");
				break;
			}
			auto graph = algorithm.takeOutput().extractFirst<Graph>();
			nodes = graph ? graph->numNodes() : 0;
			peakBytes = std::max(peakBytes, (peak - before) * 1024.0);
			for (const Log::Record& record : log.sink().records())
			{
				std::smatch match;
				if (std::regex_match(record.message, match, stageRecord))
					stages[match[1]] += std::stod(match[2]);
				else if (std::regex_match(record.message, match, gridRecord))
					gridVoxels = std::stod(match[1]) * std::stod(match[2]) * std::stod(match[3]);
			}
		}
		Log::setMinimumLevel(previousLevel);

		const double runs = static_cast<double>(state.iterations());
		for (const auto& [stage, seconds] : stages)
			state.counters["s_" + std::regex_replace(stage, std::regex(" "), "_")] = seconds / runs;
		state.counters["grid_voxels"] = gridVoxels;
		state.counters["nodes"] = nodes;
		state.counters["peak_MiB"] = peakBytes / (1024.0 * 1024.0);
		state.counters["peak_B_per_voxel"] = gridVoxels > 0 ? peakBytes / gridVoxels : 0.0;
	}
}

BENCHMARK(BM_CenterlineExtraction)->Arg(128)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
