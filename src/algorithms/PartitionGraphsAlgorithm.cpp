#include "src/algorithms/PartitionGraphsAlgorithm.h"

#include <algorithm>
#include <deque>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "host/core/Log.h"
#include "host/lib/DataList.h"

namespace Quorvale
{
	PartitionGraphsAlgorithm::PartitionGraphsAlgorithm(const Graph& graph)
	    : m_graph(graph)
	{
	}

	PartitionGraphsAlgorithm::~PartitionGraphsAlgorithm() = default;

	bool PartitionGraphsAlgorithm::createCompatible(const DataList& data, Algorithm** out)
	{
		const std::vector<Graph*> graphs = DataList::getGraphs(data);
		if (graphs.size() != 1)
			return false;
		if (out)
			*out = new PartitionGraphsAlgorithm(*graphs.front());
		return true;
	}

	void PartitionGraphsAlgorithm::compute()
	{
		ComponentTable components = computeConnectedComponents(m_graph);
		const uint64_t minSize = static_cast<uint64_t>(std::max(minComponentSize.value(), 0));
		for (auto it = components.begin(); it != components.end();)
			it = it->second.size() < minSize ? components.erase(it) : std::next(it);
		m_output = partition(m_graph, components);
		// Equal sizes keep the order in which the components were found.
		std::stable_sort(m_output.begin(), m_output.end(), [](const auto& a, const auto& b) { return a->numNodes() > b->numNodes(); });
		m_status = Success;
	}

	OwningDataList PartitionGraphsAlgorithm::takeOutput()
	{
		OwningDataList out;
		for (auto& graph : m_output)
			out.add(std::move(graph));
		m_output.clear();
		return out;
	}

	PartitionGraphsAlgorithm::ComponentTable PartitionGraphsAlgorithm::computeConnectedComponents(const Graph& graph)
	{
		if (graph.type() == Graph::Type::Directed)
			Log::log(Log::Warning, {}, "Directed Graph. Computing weakly connected components.");
		ComponentTable components;
		std::unordered_set<uint64_t> visited;
		visited.reserve(static_cast<size_t>(graph.numNodes()));
		std::deque<uint64_t> queue;
		int component = 0;
		// Breadth-first with an explicit queue. Every neighbour entry is followed, also the empty
		// entry of an arriving directed edge, so the components are the weakly connected ones.
		graph.forEachNode(
		    [&](uint64_t root, const Graph::NodeInfo&)
		    {
			    if (visited.count(root) != 0)
				    return;
			    std::set<uint64_t>& members = components[component];
			    queue.push_back(root);
			    while (!queue.empty())
			    {
				    const uint64_t u = queue.front();
				    queue.pop_front();
				    if (!visited.insert(u).second)
					    continue;
				    members.insert(members.end(), u);
				    for (const auto& [neighbor, edge] : graph.neighborhood(u))
					    if (visited.count(neighbor) == 0)
						    queue.push_back(neighbor);
			    }
			    ++component;
		    });
		return components;
	}

	std::vector<std::unique_ptr<Graph>> PartitionGraphsAlgorithm::partition(const Graph& graph, const ComponentTable& components)
	{
		const bool undirected = graph.type() == Graph::Type::Undirected;
		std::vector<std::unique_ptr<Graph>> out;
		out.reserve(components.size());
		std::unordered_map<uint64_t, uint64_t> newId;
		for (const auto& [number, members] : components)
		{
			auto part = std::make_unique<Graph>(graph.type(), graph.dimension());
			part->setMatrixToWorld(graph.matrixToWorld());
			part->clearFeatureDescriptors();
			part->addNodeFeatureDescriptors(graph.nodeFeatureDescriptors());
			part->addEdgeFeatureDescriptors(graph.edgeFeatureDescriptors());
			newId.clear();
			for (uint64_t id : members)
				newId.emplace(id, part->addNode(graph.node(id)));
			for (uint64_t u : members)
				for (const auto& [v, edge] : graph.neighborhood(u))
				{
					// An undirected edge from its lower end (a self-loop once), a directed one at its source.
					if (undirected ? u > v : !edge)
						continue;
					const auto target = newId.find(v);
					if (target == newId.end())
						continue;
					part->addEdge(newId.at(u), target->second, *edge);
				}
			out.push_back(std::move(part));
		}
		return out;
	}
}
