#pragma once

#include "src/graph/Graph.h"

#include <cmath>
#include <cstdint>
#include <random>

namespace Quorvale::BenchGraphs
{
	/// A random undirected graph of `nodes` nodes with 4 node features and `edges` edges (a spanning
	/// chain plus random chords) with 2 edge features, the same on every run: the file-format benchmarks'
	/// graph.
	inline Graph randomChordGraph(uint64_t nodes, uint64_t edges)
	{
		Graph graph;
		graph.addEdgeFeatureDescriptors({{"length", 0.0}});
		graph.addNodeFeatureDescriptors({{"radius", 0.0}, {"degree", 0.0}, {"intensity", 0.0}, {"distance", 0.0}});
		std::mt19937_64 random(11);
		std::uniform_real_distribution<double> value(0.0, 100.0);
		for (uint64_t i = 0; i < nodes; ++i)
			graph.addNode(Graph::NodeInfo(Eigen::Vector3d(value(random), value(random), value(random)),
			                              {value(random), std::floor(value(random) / 20), value(random), value(random)}));
		for (uint64_t i = 1; i < nodes; ++i)
			graph.addEdge(i, i + 1, Graph::EdgeInfo({value(random), value(random)}));
		std::uniform_int_distribution<uint64_t> node(1, nodes);
		for (uint64_t count = nodes - 1; count < edges;)
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
}
