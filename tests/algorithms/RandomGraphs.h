#pragma once

#include "src/graph/Graph.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace Quorvale::RandomGraphs
{
	/// The identifier a node had in the graph it was generated in (its attribute "origin").
	inline uint64_t origin(const Graph::NodeInfo& info) { return info.attributes().param<uint64_t>("origin").value(); }

	/// Nodes at random positions, identifiers with gaps (some nodes removed again), node features
	/// "a", "b" and edge features "diameter", "w" with random values, each node's identifier as its
	/// attribute "origin". No edges yet.
	inline Graph randomNodes(std::mt19937_64& random, int nodes, Graph::Type type)
	{
		std::uniform_real_distribution<double> coordinate(-50.0, 50.0);
		std::uniform_real_distribution<double> feature(0.0, 10.0);
		Graph graph(type);
		graph.addNodeFeatureDescriptors({{"a", 0.0}, {"b", 1.0}});
		graph.addEdgeFeatureDescriptors({{"w", 2.0}});
		for (int i = 0; i < nodes + nodes / 5; ++i)
			graph.addNode(Graph::NodeInfo(Eigen::Vector3d(coordinate(random), coordinate(random), coordinate(random)),
			                              {feature(random), feature(random)}));
		std::uniform_int_distribution<uint64_t> pick(1, graph.maxNodeIdx());
		while (graph.numNodes() > nodes)
			graph.removeNode(pick(random));
		graph.forEachNode([&graph](uint64_t id, const Graph::NodeInfo&) { graph.nodeAttributes(id).setParam("origin", id); });
		return graph;
	}

	inline std::vector<uint64_t> nodeIds(const Graph& graph)
	{
		std::vector<uint64_t> ids;
		graph.forEachNode([&ids](uint64_t id, const Graph::NodeInfo&) { ids.push_back(id); });
		return ids;
	}

	inline Graph::EdgeInfo randomEdge(std::mt19937_64& random, uint64_t a, uint64_t b)
	{
		std::uniform_real_distribution<double> feature(0.0, 10.0);
		Graph::EdgeInfo edge({feature(random), feature(random)});
		edge.attributes().setParam("ends", std::to_string(a) + "-" + std::to_string(b));
		return edge;
	}

	/// `edges` random edges between random nodes (self-loops included), so usually several components.
	inline Graph randomGraph(std::mt19937_64& random, int nodes, int edges, Graph::Type type)
	{
		Graph graph = randomNodes(random, nodes, type);
		const std::vector<uint64_t> ids = nodeIds(graph);
		std::uniform_int_distribution<size_t> pick(0, ids.size() - 1);
		for (int i = 0; i < edges; ++i)
		{
			const uint64_t a = ids[pick(random)];
			const uint64_t b = i % 25 == 0 ? a : ids[pick(random)];
			graph.addEdge(a, b, randomEdge(random, a, b));
		}
		return graph;
	}

	/// A random tree over all nodes (edges from the earlier node to the later one), plus `extra`
	/// random edges: connected, and on a directed graph every node is reachable from the lowest.
	inline Graph randomConnectedGraph(std::mt19937_64& random, int nodes, int extra, Graph::Type type)
	{
		Graph graph = randomNodes(random, nodes, type);
		const std::vector<uint64_t> ids = nodeIds(graph);
		for (size_t i = 1; i < ids.size(); ++i)
		{
			const uint64_t parent = ids[std::uniform_int_distribution<size_t>(0, i - 1)(random)];
			graph.addEdge(parent, ids[i], randomEdge(random, parent, ids[i]));
		}
		std::uniform_int_distribution<size_t> pick(0, ids.size() - 1);
		for (int i = 0; i < extra; ++i)
		{
			const uint64_t a = ids[pick(random)];
			const uint64_t b = ids[pick(random)];
			graph.addEdge(a, b, randomEdge(random, a, b));
		}
		return graph;
	}

	/// Node records compare equal: position, features and attributes.
	inline bool sameNode(const Graph::NodeInfo& a, const Graph::NodeInfo& b)
	{
		return a.position() == b.position() && a.features() == b.features() && a.attributes().compareWith(b.attributes());
	}

	inline bool sameEdge(const Graph::EdgeInfo& a, const Graph::EdgeInfo& b)
	{
		return a.features() == b.features() && a.attributes().compareWith(b.attributes());
	}
}
