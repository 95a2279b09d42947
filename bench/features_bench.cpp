// Costs of the common graph features: lengths and degrees on a vessel tree of a million nodes, and
// diameters measured in a 256³ label volume of tubes along the centreline graph of those tubes.
#include "src/algorithms/ComputeCommonGraphFeaturesAlgorithm.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <Eigen/Geometry>
#include <omp.h>

#include "host/lib/AlgorithmRunner.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "synthetic/VesselVolume.h"

using namespace Quorvale;

namespace
{
	using Mode = ComputeCommonGraphFeaturesAlgorithm::Mode;
	constexpr double kPi = 3.14159265358979323846;

	/// One vessel of a synthetic tree: a straight piece that splits in two at its end.
	struct Branch
	{
		Eigen::Vector3d from;
		Eigen::Vector3d to;
		double radius;
		/// The graph node at `from` (0 for the root, which gets a node of its own).
		uint64_t startNode;
	};

	/// A branching vessel tree, the same every run: each branch splits into two thinner, shorter
	/// ones at 20° to 45° from its direction, until the radius falls below `minRadius`, a branch
	/// ends outside the box |x| < `extent`, or the graph has `maxNodes` nodes. The graph has a node
	/// about every `step` along each branch.
	struct VesselTree
	{
		std::vector<SyntheticVolumes::Tube> tubes;
		Graph graph;
	};

	VesselTree growTree(const Eigen::Vector3d& root, const Eigen::Vector3d& direction, double length, double radius, double minRadius,
	                    double extent, double step, int maxNodes)
	{
		VesselTree tree;
		std::mt19937_64 random(2024);
		std::uniform_real_distribution<double> angle(20.0 * kPi / 180.0, 45.0 * kPi / 180.0);
		std::uniform_real_distribution<double> spin(0.0, 2.0 * kPi);
		std::deque<Branch> pending{{root, root + length * direction.normalized(), radius, 0}};
		while (!pending.empty() && tree.graph.numNodes() < maxNodes)
		{
			const Branch branch = pending.front();
			pending.pop_front();
			tree.tubes.push_back({branch.from, branch.to, branch.radius});

			uint64_t previous = branch.startNode != 0 ? branch.startNode : tree.graph.addNode(Graph::NodeInfo(branch.from, {}));
			const Eigen::Vector3d axis = branch.to - branch.from;
			const int steps = std::min(std::max(1, static_cast<int>(std::round(axis.norm() / step))), maxNodes - tree.graph.numNodes());
			for (int i = 1; i <= steps; ++i)
			{
				const uint64_t node = tree.graph.addNode(Graph::NodeInfo(branch.from + axis * i / steps, {}));
				tree.graph.addEdge(previous, node, {});
				previous = node;
			}

			const double childRadius = branch.radius * 0.78;
			if (childRadius < minRadius || (branch.to.array().abs() > extent).any())
				continue;
			const Eigen::Vector3d d = axis.normalized();
			const Eigen::Vector3d normal = d.unitOrthogonal();
			const double turn = spin(random);
			for (double side : {1.0, -1.0})
			{
				const Eigen::Vector3d bend = Eigen::AngleAxisd(turn, d) * normal;
				const Eigen::Vector3d childDirection = Eigen::AngleAxisd(side * angle(random), bend) * d;
				pending.push_back({branch.to, branch.to + 0.85 * axis.norm() * childDirection, childRadius, previous});
			}
		}
		return tree;
	}

	/// A million nodes, half a unit apart.
	Graph& bigTree()
	{
		static VesselTree tree = growTree({0, 0, 0}, {0, 0, 1}, 60.0, 10.0, 0.0, 1e9, 0.5, 1000000);
		return tree.graph;
	}

	/// A tree of tubes in a 256³ volume of 1 mm voxels centred on the origin, with its centrelines.
	struct LabelledTree
	{
		std::unique_ptr<SharedImageSet> labels;
		Graph graph;
	};

	LabelledTree& labelledTree()
	{
		static LabelledTree labelled = []
		{
			VesselTree tree = growTree({0, -120, 0}, {0, 1, 0.15}, 60.0, 9.0, 1.0, 115.0, 1.0, 1000000);
			std::vector<SyntheticVolumes::Ball> joints;
			for (const SyntheticVolumes::Tube& tube : tree.tubes)
				joints.push_back({tube.to, tube.radius});
			LabelledTree result;
			result.labels =
			    SyntheticVolumes::createVesselVolume({256, 256, 256}, {1, 1, 1}, Eigen::Matrix4d::Identity(), tree.tubes, joints);
			result.graph = std::move(tree.graph);
			return result;
		}();
		return labelled;
	}

	void runMode(benchmark::State& state, Graph& graph, SharedImageSet* labels, Mode mode)
	{
		ComputeCommonGraphFeaturesAlgorithm algorithm(graph, labels);
		algorithm.mode = mode;
		for (auto _ : state)
			if (AlgorithmRunner::run(algorithm) != Algorithm::Success)
				state.SkipWithError("the algorithm failed");
		state.counters["nodes"] = graph.numNodes();
		state.counters["edges"] = graph.numEdges();
		state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * (mode == Mode::Degree ? graph.numNodes() : graph.numEdges()));
	}

	void BM_EdgeLengths(benchmark::State& state) { runMode(state, bigTree(), nullptr, Mode::EdgeLength); }

	void BM_Degrees(benchmark::State& state) { runMode(state, bigTree(), nullptr, Mode::Degree); }

	/// Range 0: OpenMP threads for the measurement, chosen as a user would (OMP_NUM_THREADS), so that
	/// the measurement does not adapt them to the machine's load.
	void runWithThreads(benchmark::State& state, Mode mode)
	{
		const int threads = omp_get_max_threads();
		const char* chosen = std::getenv("OMP_NUM_THREADS");
		const std::string previous = chosen ? chosen : "";
		::setenv("OMP_NUM_THREADS", std::to_string(state.range(0)).c_str(), 1);
		omp_set_num_threads(static_cast<int>(state.range(0)));
		LabelledTree& tree = labelledTree();
		runMode(state, tree.graph, tree.labels.get(), mode);
		omp_set_num_threads(threads);
		if (chosen)
			::setenv("OMP_NUM_THREADS", previous.c_str(), 1);
		else
			::unsetenv("OMP_NUM_THREADS");
	}

	void BM_Diameters(benchmark::State& state) { runWithThreads(state, Mode::Diameter); }

	void BM_VesselDiameters(benchmark::State& state) { runWithThreads(state, Mode::VesselDiameter); }

	/// Range 0: leaves of a star inside one labelled ball. A hub ends as many segments as it has
	/// leaves, so the clamping of vessel diameters must stay linear in its degree.
	void BM_VesselDiametersStar(benchmark::State& state)
	{
		const auto leaves = static_cast<int>(state.range(0));
		static auto labels =
		    SyntheticVolumes::createVesselVolume({48, 48, 48}, {1, 1, 1}, Eigen::Matrix4d::Identity(), {{{-12, 0, 0}, {12, 0, 0}, 12.0}});
		Graph graph;
		const uint64_t hub = graph.addNode(Graph::NodeInfo(Eigen::Vector3d(23.5, 23.5, 23.5), {}));
		std::mt19937_64 random(7);
		std::normal_distribution<double> normal;
		for (int i = 0; i < leaves; ++i)
		{
			const Eigen::Vector3d direction = Eigen::Vector3d(normal(random), normal(random), normal(random)).normalized();
			graph.addEdge(hub, graph.addNode(Graph::NodeInfo(graph.node(hub).position() + 8.0 * direction, {})), Graph::EdgeInfo());
		}
		runMode(state, graph, labels.get(), Mode::VesselDiameter);
		state.SetComplexityN(leaves);
	}

	void BM_PaintVolume(benchmark::State& state)
	{
		VesselTree tree = growTree({0, -120, 0}, {0, 1, 0.15}, 60.0, 9.0, 1.0, 115.0, 1.0, 1000000);
		for (auto _ : state)
			benchmark::DoNotOptimize(
			    SyntheticVolumes::createVesselVolume({256, 256, 256}, {1, 1, 1}, Eigen::Matrix4d::Identity(), tree.tubes));
		state.counters["tubes"] = static_cast<double>(tree.tubes.size());
	}
}

BENCHMARK(BM_EdgeLengths)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Degrees)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Diameters)->Arg(1)->Arg(2)->Arg(4)->Arg(omp_get_num_procs())->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_VesselDiameters)->Arg(1)->Arg(2)->Arg(4)->Arg(omp_get_num_procs())->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_VesselDiametersStar)->Arg(20000)->Arg(40000)->Arg(80000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(BM_PaintVolume)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
