// The parallel kernels and the whole centerline extraction on a machine that other programs share.
// Each runs on a 512³ synthetic vessel tree of 1 mm voxels with N busy processes of the benchmark's
// own beside it (N = 0, 3, 6; each spins on one processor), once per thread setting: the default
// (the team the machine leaves free) and 1, 2, 4 and 8 threads chosen through OMP_NUM_THREADS.
// Times are medians of the kernel alone (setup such as copying the input is not timed).
//
//   build/bin/parallel_load_bench              every benchmark, then the table: kernel x busy x threads
//   build/bin/parallel_load_bench --hashes     fingerprints of every kernel's output, per thread setting
//   build/bin/parallel_load_bench --benchmark_filter=Thinning     one kernel (any Google Benchmark flag)
//
// The table marks, for three busy processes, where the default misses the aim: slower than one
// thread, or more than 1.3 times the best thread setting. Repetitions of all settings interleave;
// still, other programs running at the same time distort the table: take it on a quiet machine
// (the load is printed before and after).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <omp.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "host/core/Hashing.h"
#include "host/lib/DistanceTransform.h"
#include "host/lib/ImageResamplingAlgorithm.h"
#include "host/lib/Morphology.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/Skeletonization.h"
#include "host/lib/TypedImage.h"
#include "src/graph/Graph.h"
#include "src/imaging/CenterlineGraphExtractionAlgorithm.h"
#include "src/imaging/GradientTransform.h"
#include "src/imaging/GraphToLabelMapAlgorithm.h"
#include "src/imaging/ImageAssignment.h"
#include "src/imaging/MaxReduction.h"
#include "synthetic/Fingerprint.h"
#include "synthetic/GraphGeometry.h"
#include "synthetic/VesselTree.h"

using namespace Quorvale;

namespace
{
	using Clock = std::chrono::steady_clock;
	const std::vector<std::int64_t> kBusy{0, 3, 6};
	/// 0: the default.
	const std::vector<std::int64_t> kThreads{0, 1, 2, 4, 8};

	/// Processes that each keep one processor busy until the object is destroyed.
	class BusyProcesses
	{
	public:
		explicit BusyProcesses(int count)
		{
			for (int i = 0; i < count; ++i)
			{
				const pid_t pid = ::fork();
				if (pid == 0)
				{
					::prctl(PR_SET_PDEATHSIG, SIGKILL);
					for (volatile std::uint64_t spin = 0;; spin = spin + 1)
					{
					}
				}
				if (pid > 0)
					m_pids.push_back(pid);
			}
			// Let the scheduler place them before anything is measured.
			if (count > 0)
				::usleep(200000);
		}
		~BusyProcesses()
		{
			for (pid_t pid : m_pids)
				::kill(pid, SIGKILL);
			for (pid_t pid : m_pids)
				::waitpid(pid, nullptr, 0);
		}
		BusyProcesses(const BusyProcesses&) = delete;
		BusyProcesses& operator=(const BusyProcesses&) = delete;

	private:
		std::vector<pid_t> m_pids;
	};

	/// A thread setting while it lives: 0 the default, else that many threads, chosen by the user.
	class ThreadSetting
	{
	public:
		explicit ThreadSetting(int threads)
		{
			if (threads > 0)
			{
				::setenv("OMP_NUM_THREADS", std::to_string(threads).c_str(), 1);
				omp_set_num_threads(threads);
			}
		}
		~ThreadSetting()
		{
			::unsetenv("OMP_NUM_THREADS");
			omp_set_num_threads(defaultLimit());
		}
		ThreadSetting(const ThreadSetting&) = delete;
		ThreadSetting& operator=(const ThreadSetting&) = delete;

		/// OpenMP's limit when the benchmark started.
		static int defaultLimit()
		{
			static const int limit = omp_get_max_threads();
			return limit;
		}
	};

	const SyntheticVessels::VesselTree& tree()
	{
		static const SyntheticVessels::VesselTree made = []
		{
			SyntheticVessels::TreeSettings settings;
			settings.dimensions = Eigen::Vector3i::Constant(512);
			settings.spacing = Eigen::Vector3d::Ones();
			return SyntheticVessels::createVesselTree(settings);
		}();
		return made;
	}

	const TypedImage<unsigned char>& labels() { return dynamic_cast<const TypedImage<unsigned char>&>(*tree().labels->mem(0)); }

	/// Runs `work` and returns its seconds.
	double timed(const std::function<void()>& work)
	{
		const auto start = Clock::now();
		work();
		return std::chrono::duration<double>(Clock::now() - start).count();
	}

	/// A kernel: runs once on fresh input, returns the seconds of the kernel alone and, when asked,
	/// the fingerprint of its output.
	using Kernel = std::function<double(std::uint64_t* fingerprint)>;

	double thinning(std::uint64_t* fingerprint)
	{
		auto mask = labels().clone();
		const double seconds = timed([&] { Skeletonization::thin(*mask); });
		if (fingerprint)
			*fingerprint = SyntheticVessels::fingerprint(*mask);
		return seconds;
	}

	double distanceTransform(std::uint64_t* fingerprint)
	{
		std::unique_ptr<TypedImage<float>> distances;
		const double seconds = timed([&] { distances = DistanceTransform::computeChamfer(labels(), true, true, 0); });
		if (fingerprint)
			*fingerprint = SyntheticVessels::fingerprint(*distances);
		return seconds;
	}

	double closing(std::uint64_t* fingerprint)
	{
		auto image = labels().clone();
		const double seconds = timed([&] { Morphology::close(*image, 2, true); });
		if (fingerprint)
			*fingerprint = SyntheticVessels::fingerprint(*image);
		return seconds;
	}

	double resampling(std::uint64_t* fingerprint)
	{
		const ImageDescriptorWorld half(
		    ImageDescriptor(ImageDescriptor::UnsignedChar, Eigen::Vector3i::Constant(256), 1, Eigen::Vector3d::Constant(2.0)));
		ImageResamplingAlgorithm resampling(*tree().labels, {half});
		resampling.setReductionMode(ImageResamplingAlgorithm::Maximum);
		const double seconds = timed([&] { resampling.compute(); });
		const auto output = resampling.takeOutput().extractFirst<SharedImageSet>();
		if (fingerprint)
			*fingerprint = output ? SyntheticVessels::fingerprint(*output->mem(0)) : 0;
		return seconds;
	}

	/// The true centreline rasterised on the CPU into the label grid, as vessels.
	double labelMap(std::uint64_t* fingerprint)
	{
		static const Graph truth = SyntheticVessels::centerlineGraph(tree());
		GraphToLabelMapAlgorithm rasterisation(truth, tree().labels->get(0)->descriptorWorld());
		rasterisation.mode = GraphToLabelMapAlgorithm::Mode::Vessel;
		rasterisation.forceCPU = true;
		const double seconds = timed([&] { rasterisation.compute(); });
		const auto output = rasterisation.takeOutput().extractFirst<SharedImageSet>();
		if (fingerprint)
			*fingerprint = output ? SyntheticVessels::fingerprint(*output->mem(0)) : 0;
		return seconds;
	}

	ImageMath::ArrayImage cpuArray(SharedImage& image)
	{
		ImageMath::ArrayImage array(image, false, ImageMath::internal::ArrayGl::nearestFilter, ImageMath::internal::ArrayGl::clampToEdge);
		array.setDeviceStrategy(ImageMath::CpuOnly);
		return array;
	}

	/// A 256³ three-channel float image: turned in place by the gradient transform, copied through a
	/// storage mapping by the set assignment; and the maximum of the 512³ labels.
	double imageExpressions(std::uint64_t* fingerprint)
	{
		auto memory = TypedImage<float>::create(Eigen::Vector3i::Constant(256), 3);
		for (std::size_t i = 0; i < memory->byteSize() / sizeof(float); ++i)
			memory->pointer()[i] = static_cast<float>(i % 97);
		SharedImageSet source(std::make_unique<SharedImage>(std::move(memory)));
		source.mem(0)->setStorageMapping(0.5, 2.0);
		SharedImageSet destination(std::make_unique<SharedImage>(TypedImage<float>::create(Eigen::Vector3i::Constant(256), 3)));
		SharedImage labelImage(labels().clone());
		Eigen::Matrix3d m;
		m << 0, -1, 0, 1, 0, 0, 0, 0, 1;
		ImageMath::ArrayImage target = cpuArray(*source.get(0));
		const auto expression = ImageMath::makeGradientTransform(target, m, ImageMath::CpuOnly);
		ImageMath::ArraySet to(destination, false, 9728, 33071), from(source, false, 9728, 33071);
		ImageMath::MaxReduction<ImageMath::ArrayImage> reduction(cpuArray(labelImage), ImageMath::ImgOps::max{}, Selection());
		Eigen::VectorXd largest;
		const double seconds = timed(
		    [&]
		    {
			    ImageMath::evaluateGradientTransform(target, expression);
			    ImageMath::assign(to, from);
			    reduction.reduce(largest);
		    });
		if (fingerprint)
			*fingerprint = SyntheticVessels::fingerprint(*destination.mem(0)) ^ Hashing::murmur64(largest.data(), static_cast<std::size_t>(largest.size()));
		return seconds;
	}

	double extraction(std::uint64_t* fingerprint)
	{
		CenterlineGraphExtractionAlgorithm algorithm(*tree().labels);
		const double seconds = timed([&] { algorithm.compute(); });
		const auto graph = algorithm.takeOutput().extractFirst<Graph>();
		if (fingerprint)
			*fingerprint = graph ? SyntheticVessels::fingerprint(*graph) : 0;
		return seconds;
	}

	const std::vector<std::pair<std::string, Kernel>>& kernels()
	{
		static const std::vector<std::pair<std::string, Kernel>> all{
		    {"Thinning", thinning},  {"DistanceTransform", distanceTransform}, {"Closing", closing},
		    {"Resampling", resampling}, {"LabelMapRasterisation", labelMap}, {"ImageExpressions", imageExpressions},
		    {"Extraction", extraction}};
		return all;
	}

	void runKernel(benchmark::State& state, const Kernel& kernel)
	{
		const BusyProcesses busy(static_cast<int>(state.range(0)));
		const ThreadSetting setting(static_cast<int>(state.range(1)));
		for (auto _ : state)
			state.SetIterationTime(kernel(nullptr));
	}

	std::string loadNow()
	{
		std::string load;
		std::getline(std::ifstream("/proc/loadavg"), load);
		return load;
	}

	/// Prints the fingerprint of every kernel's output per thread setting (busy: 0, and 3 for the default).
	int printHashes()
	{
		std::cout << "kernel                  setting     fingerprint\n";
		for (const auto& [name, kernel] : kernels())
			for (int threads : {1, 3, 8, 0, -3})
			{
				const BusyProcesses busy(threads < 0 ? -threads : 0);
				const ThreadSetting setting(std::max(threads, 0));
				std::uint64_t fingerprint = 0;
				kernel(&fingerprint);
				const std::string label = threads > 0 ? std::to_string(threads) + " threads" : threads == 0 ? "default" : "default, 3 busy";
				std::cout << fmt::format("{:<24}{:<16}{:016x}\n", name, label, fingerprint) << std::flush;
			}
		return 0;
	}

	/// The console output, and at the end the table of medians: one row per kernel and busy count,
	/// one column per thread setting.
	class TableReporter : public benchmark::ConsoleReporter
	{
	public:
		void ReportRuns(const std::vector<Run>& runs) override
		{
			ConsoleReporter::ReportRuns(runs);
			for (const Run& run : runs)
			{
				if (run.aggregate_name != "median" || run.error_occurred)
					continue;
				int busy = 0, threads = 0;
				if (std::sscanf(run.run_name.args.c_str(), "busy:%d/threads:%d", &busy, &threads) != 2)
					continue;
				m_seconds[run.run_name.function_name][{busy, threads}] = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
			}
		}

		void Finalize() override
		{
			ConsoleReporter::Finalize();
			std::cout << "\nMedian seconds; aim (3 busy): the default no slower than 1 thread and within 1.3 times the best setting\n";
			std::cout << fmt::format("{:<22}{:>5}{:>9}{:>9}{:>9}{:>9}{:>9}{:>11}{:>14}  {}\n", "kernel", "busy", "default", "1", "2", "4", "8",
			                         "default/1", "default/best", "aim");
			for (const auto& [name, kernel] : kernels())
				for (std::int64_t busy : kBusy)
					printRow(name, static_cast<int>(busy));
		}

	private:
		/// One row; settings that were not run (a filter) show "-", and so do the ratios they need.
		void printRow(const std::string& name, int busy) const
		{
			const auto found = m_seconds.find(name);
			if (found == m_seconds.end())
				return;
			const auto seconds = [&](std::int64_t threads)
			{
				const auto cell = found->second.find({busy, static_cast<int>(threads)});
				return cell == found->second.end() ? 0.0 : cell->second;
			};
			std::string row = fmt::format("{:<22}{:>5}", name, busy);
			double best = 0.0;
			bool any = false;
			for (std::int64_t threads : kThreads)
			{
				const double s = seconds(threads);
				any = any || s > 0.0;
				row += s > 0.0 ? fmt::format("{:>9.3f}", s) : fmt::format("{:>9}", "-");
				if (threads > 0 && s > 0.0 && (best == 0.0 || s < best))
					best = s;
			}
			if (!any)
				return;
			const double standard = seconds(0), single = seconds(1);
			const bool complete = standard > 0.0 && single > 0.0 && best > 0.0;
			// The aim is set for three busy processes; a quiet machine compares with another build.
			const char* aim = busy != 3 || !complete ? "-" : standard <= single && standard <= 1.3 * best ? "met" : "MISSED";
			const auto ratio = [](double a, double b, int width)
			{ return a > 0.0 && b > 0.0 ? fmt::format("{:>{}.2f}", a / b, width) : fmt::format("{:>{}}", "-", width); };
			std::cout << row << ratio(standard, single, 11) << ratio(standard, best, 14) << "  " << aim << "\n";
		}

		std::map<std::string, std::map<std::pair<int, int>, double>> m_seconds;
	};
}

int main(int argc, char** argv)
{
	ThreadSetting::defaultLimit();
	for (int i = 1; i < argc; ++i)
		if (std::strcmp(argv[i], "--hashes") == 0)
			return printHashes();
	for (const auto& [name, kernel] : kernels())
		benchmark::RegisterBenchmark(name.c_str(), [kernel = kernel](benchmark::State& state) { runKernel(state, kernel); })
		    ->ArgsProduct({kBusy, kThreads})
		    ->ArgNames({"busy", "threads"})
		    ->UseManualTime()
		    ->Unit(benchmark::kMillisecond)
		    ->Iterations(1)
		    ->Repetitions(name == "Extraction" ? 3 : 5)
		    ->ReportAggregatesOnly(true);
	// Repetitions of all settings interleave, so that other programs that come and go while the
	// table is taken slow every setting alike instead of a few (a later flag overrides this one).
	std::vector<char*> arguments(argv, argv + argc);
	std::string interleave = "--benchmark_enable_random_interleaving=true";
	arguments.insert(arguments.begin() + 1, interleave.data());
	int count = static_cast<int>(arguments.size());
	benchmark::Initialize(&count, arguments.data());
	std::cout << "Load before: " << loadNow() << std::endl;
	TableReporter reporter;
	benchmark::RunSpecifiedBenchmarks(&reporter);
	std::cout << "Load after: " << loadNow() << std::endl;
	benchmark::Shutdown();
	return 0;
}
