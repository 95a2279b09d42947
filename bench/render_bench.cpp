// One frame of a synthetic vessel tree (points and lines) in the 3-D view at 1024 x 1024, and the
// vertex-list rebuild that every frame does, for trees of 10^5 and 10^6 edges.
#include "bench/GuiBenchmarkMain.h"
#include "host/gl/Context.h"
#include "host/gui/GlVolumeView.h"
#include "src/gl/GlGraph.h"
#include "src/graph/GlGraphDisplayOptions.h"
#include "src/graph/Graph.h"

#include <benchmark/benchmark.h>

#include <Eigen/Geometry>

#include <cmath>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <random>

using namespace Quorvale;

namespace
{
	/// A branching tree of `edges` edges: chains of 10 edges that wander and split in two, in a 100 mm cube.
	std::unique_ptr<Graph> vesselTree(int edges)
	{
		auto graph = std::make_unique<Graph>();
		std::mt19937_64 random(5);
		std::normal_distribution<double> turn(0.0, 0.25);
		struct Tip
		{
			uint64_t node;
			Eigen::Vector3d direction;
		};
		std::deque<Tip> tips{{graph->addNode(Graph::NodeInfo(Eigen::Vector3d(50, 50, 0), {})), Eigen::Vector3d::UnitZ()}};
		const double step = 100.0 / std::cbrt(static_cast<double>(edges));
		int made = 0;
		while (made < edges && !tips.empty())
		{
			Tip tip = tips.front();
			tips.pop_front();
			for (int i = 0; i < 10 && made < edges; ++i, ++made)
			{
				tip.direction = (tip.direction + Eigen::Vector3d(turn(random), turn(random), turn(random))).normalized();
				Eigen::Vector3d next = graph->node(tip.node).position() + step * tip.direction;
				next = next.cwiseMax(0.0).cwiseMin(100.0);
				const uint64_t id = graph->addNode(Graph::NodeInfo(next, {}));
				graph->addEdge(tip.node, id, Graph::EdgeInfo({1.0}));
				tip.node = id;
			}
			const Eigen::Vector3d side = tip.direction.unitOrthogonal();
			tips.push_back({tip.node, (tip.direction + side).normalized()});
			tips.push_back({tip.node, (tip.direction - side).normalized()});
		}
		return graph;
	}

	Graph& tree(int edges)
	{
		static std::map<int, std::unique_ptr<Graph>> trees;
		auto& slot = trees[edges];
		if (!slot)
			slot = vesselTree(edges);
		return *slot;
	}

	void frame(benchmark::State& state)
	{
		if (!GL::Context::isAvailable())
		{
			state.SkipWithError("no OpenGL context");
			return;
		}
		Graph& graph = tree(static_cast<int>(state.range(0)));
		GlGraph object(&graph);
		GlVolumeView view;
		view.addObject(&object);
		for (auto _ : state)
			benchmark::DoNotOptimize(view.render(1024, 1024));
		view.removeObject(&object);
		state.counters["edges"] = graph.numEdges();
	}

	void vertexRebuild(benchmark::State& state)
	{
		const Graph& graph = tree(static_cast<int>(state.range(0)));
		for (auto _ : state)
			benchmark::DoNotOptimize(GlGraph::buildLineVertices(graph, Eigen::Vector3d::UnitZ()));
	}
}

BENCHMARK(frame)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(vertexRebuild)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return runGuiBenchmarks(argc, argv); }
