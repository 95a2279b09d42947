// The label map of a synthetic vessel tree of about 10^5 edges in a 512^3 grid, on the CPU path
// (one worker per hardware thread) and on the GPU path (llvmpipe here), in both modes, with the
// peak memory that one run adds per voxel (resident set high-water mark, beyond the graph).

#include <benchmark/benchmark.h>

#include <Eigen/Geometry>

#include <cmath>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "host/core/Resource/Repository.h"
#include "host/lib/ImageDescriptorWorld.h"
#include "host/lib/SharedImageSet.h"
#include "src/graph/Graph.h"
#include "src/imaging/GraphToLabelMapAlgorithm.h"
#include "src/plugin/Repository_QuorvaleGraph.h"

using namespace Quorvale;

namespace
{
	/// A branching tree of random-walk segments of 20 edges (about 2.5 voxels each) inside
	/// [-240, 240]^3: radius 8 at the root, 0.8 times the parent's in each child, at least 0.6.
	Graph vesselTree(int targetEdges)
	{
		struct Branch
		{
			std::uint64_t start;
			Eigen::Vector3d direction;
			double radius;
		};
		Graph graph;
		std::mt19937 random(17);
		std::normal_distribution<double> jitter(0.0, 0.25);
		std::vector<Branch> queue = {{graph.addNode(Graph::NodeInfo(Eigen::Vector3d(0, 0, -230), {})), Eigen::Vector3d(0, 0, 1), 8.0}};
		int edges = 0;
		for (std::size_t next = 0; next < queue.size() && edges < targetEdges; ++next)
		{
			Branch branch = queue[next];
			std::uint64_t node = branch.start;
			Eigen::Vector3d position = graph.node(node).position();
			for (int step = 0; step < 20 && edges < targetEdges; ++step, ++edges)
			{
				branch.direction = (branch.direction + Eigen::Vector3d(jitter(random), jitter(random), jitter(random))).normalized();
				for (int axis = 0; axis < 3; ++axis)
					if (std::abs(position[axis] + 2.5 * branch.direction[axis]) > 240.0)
						branch.direction[axis] = -branch.direction[axis];
				position += 2.5 * branch.direction;
				const std::uint64_t added = graph.addNode(Graph::NodeInfo(position, {}));
				graph.addEdge(node, added, Graph::EdgeInfo({2.0 * branch.radius}));
				node = added;
			}
			const double radius = std::max(0.6, 0.8 * branch.radius);
			const Eigen::Vector3d side = branch.direction.unitOrthogonal();
			queue.push_back({node, (branch.direction + 0.8 * side).normalized(), radius});
			queue.push_back({node, (branch.direction - 0.8 * side).normalized(), radius});
		}
		return graph;
	}

	const Graph& tree()
	{
		static const Graph graph = vesselTree(100000);
		return graph;
	}

	/// A field of /proc/self/status in bytes (VmRSS, VmHWM).
	double statusBytes(const std::string& field)
	{
		std::ifstream status("/proc/self/status");
		for (std::string line; std::getline(status, line);)
			if (line.rfind(field + ":", 0) == 0)
				return std::stod(line.substr(field.size() + 1)) * 1024.0;
		return 0.0;
	}

	/// Starts a new high-water mark of the resident set at its current size.
	void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

	void labelMap(benchmark::State& state, bool cpu)
	{
		static Repository_QuorvaleGraph shaders;
		Resource::addRepository(&shaders);
		const ImageDescriptorWorld grid(ImageDescriptor(ImageDescriptor::UnsignedChar, Eigen::Vector3i::Constant(512)));
		GraphToLabelMapAlgorithm algorithm(tree(), grid);
		algorithm.forceCPU = cpu;
		algorithm.mode = state.range(0) ? GraphToLabelMapAlgorithm::Mode::Vessel : GraphToLabelMapAlgorithm::Mode::Centerline;
		double peak = 0.0, labelled = 0.0;
		for (auto _ : state)
		{
			resetPeak();
			const double before = statusBytes("VmRSS");
			algorithm.compute();
			peak = std::max(peak, statusBytes("VmHWM") - before);
			state.PauseTiming();
			auto output = algorithm.takeOutput().extractFirst<SharedImageSet>();
			if (!output || algorithm.status() != Algorithm::Success)
				state.SkipWithError("no label map");
			else
			{
				const auto* labels = static_cast<const unsigned char*>(output->mem()->data());
				const std::size_t voxels = grid.size();
				std::size_t count = 0;
				for (std::size_t i = 0; i < voxels; ++i)
					count += labels[i];
				labelled = static_cast<double>(count) / static_cast<double>(voxels);
			}
			output.reset();
			state.ResumeTiming();
		}
		Resource::removeRepository(&shaders);
		state.counters["edges"] = tree().numEdges();
		state.counters["bytes_per_voxel"] = peak / static_cast<double>(grid.size());
		state.counters["labelled"] = labelled;
	}

	void cpuPath(benchmark::State& state) { labelMap(state, true); }
	void gpuPath(benchmark::State& state) { labelMap(state, false); }
}

// Argument: 0 Centerline, 1 Vessel.
BENCHMARK(cpuPath)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(gpuPath)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

BENCHMARK_MAIN();
