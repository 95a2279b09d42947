#include "src/algorithms/GraphPartition.h"

#include <algorithm>
#include <deque>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "host/core/Log.h"

namespace Quorvale::GraphPartition
{
	namespace
	{
		/// The default category, the one users' log filters know these messages by.
		const char* const kCategory = "";
	}

	ComponentTable connectedComponents(const Graph& graph)
	{
		if (graph.type() == Graph::Type::Directed)
			Log::log(Log::Warning, kCategory, "Directed Graph. Computing weakly connected components.");
		ComponentTable components;
		std::unordered_set<uint64_t> visited;
		visited.reserve(static_cast<size_t>(graph.numNodes()));
		std::deque<uint64_t> queue;
		std::vector<uint64_t> members;
		int component = 0;
		// Breadth-first with an explicit queue. Every neighbour entry is followed, also the empty
		// entry of an arriving directed edge, so the components are the weakly connected ones.
		graph.forEachNode(
		    [&](uint64_t root, const Graph::NodeInfo&)
		    {
			    if (visited.count(root) != 0)
				    return;
			    members.clear();
			    queue.push_back(root);
			    while (!queue.empty())
			    {
				    const uint64_t u = queue.front();
				    queue.pop_front();
				    if (!visited.insert(u).second)
					    continue;
				    members.push_back(u);
				    for (const auto& [neighbor, edge] : graph.neighborhood(u))
					    if (visited.count(neighbor) == 0)
						    queue.push_back(neighbor);
			    }
			    // Sorted first, the set is built in linear time.
			    std::sort(members.begin(), members.end());
			    components.emplace(component++, std::set<uint64_t>(members.begin(), members.end()));
		    });
		return components;
	}

	std::vector<std::unique_ptr<Graph>> partition(const Graph& graph, const ComponentTable& components)
	{
		const bool undirected = graph.type() == Graph::Type::Undirected;
		std::vector<std::unique_ptr<Graph>> out;
		out.reserve(components.size());
		// Node → its component graph and its identifier there. The input is then walked once for the
		// nodes and once for the edges, both in ascending identifier, so every component graph numbers
		// its nodes in ascending input order without a lookup in the input per node.
		struct Placement
		{
			Graph* part;
			uint64_t id;
		};
		std::unordered_map<uint64_t, Placement> placed;
		for (const auto& [number, members] : components)
		{
			auto part = std::make_unique<Graph>(graph.type(), graph.dimension());
			part->setMatrixToWorld(graph.matrixToWorld());
			part->clearFeatureDescriptors();
			part->addNodeFeatureDescriptors(graph.nodeFeatureDescriptors());
			part->addEdgeFeatureDescriptors(graph.edgeFeatureDescriptors());
			for (uint64_t id : members)
				placed.emplace(id, Placement{part.get(), 0});
			out.push_back(std::move(part));
		}
		graph.forEachNode(
		    [&](uint64_t id, const Graph::NodeInfo& info)
		    {
			    const auto found = placed.find(id);
			    if (found != placed.end())
				    found->second.id = found->second.part->addNode(info);
		    });
		graph.forEachNode(
		    [&](uint64_t u, const Graph::NodeInfo&, const Graph::Neighborhood& neighbors)
		    {
			    const auto from = placed.find(u);
			    if (from == placed.end())
				    return;
			    for (const auto& [v, edge] : neighbors)
			    {
				    // An undirected edge from its lower end (a self-loop once), a directed one at its source.
				    if (undirected ? u > v : !edge)
					    continue;
				    const auto to = placed.find(v);
				    if (to != placed.end() && to->second.part == from->second.part)
					    from->second.part->addEdge(from->second.id, to->second.id, *edge);
			    }
		    });
		return out;
	}

	std::vector<std::unique_ptr<Graph>> componentGraphs(const Graph& graph, int minComponentSize)
	{
		ComponentTable components = connectedComponents(graph);
		const uint64_t minSize = static_cast<uint64_t>(std::max(minComponentSize, 0));
		for (auto it = components.begin(); it != components.end();)
			it = it->second.size() < minSize ? components.erase(it) : std::next(it);
		std::vector<std::unique_ptr<Graph>> parts = partition(graph, components);
		// Equal sizes keep the order in which the components were found.
		std::stable_sort(parts.begin(), parts.end(), [](const auto& a, const auto& b) { return a->numNodes() > b->numNodes(); });
		return parts;
	}
}
