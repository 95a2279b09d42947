#include "src/algorithms/GraphReindexingAlgorithm.h"

#include <algorithm>
#include <limits>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/core/Log.h"
#include "host/lib/DataList.h"
#include "src/graph/GraphUtils.h"

namespace Quorvale
{
	GraphReindexingAlgorithm::GraphReindexingAlgorithm(Graph& graph)
	    : m_graph(graph)
	{
		mode.setAttribute("values", "Manual,Largest Diameter");
		rootIndex.setLabel("Root index");
		rootIndex.setAttribute("min", "0");
		uint64_t largest = 0;
		graph.forEachNode([&largest](uint64_t id, const Graph::NodeInfo&) { largest = id; });
		// An editor reads the range as a 32-bit number; larger identifiers are clamped to what it can hold.
		largest = std::min<uint64_t>(largest, static_cast<uint64_t>(std::numeric_limits<int32_t>::max()));
		rootIndex.setAttribute("max", std::to_string(largest));
	}

	GraphReindexingAlgorithm::~GraphReindexingAlgorithm() = default;

	bool GraphReindexingAlgorithm::createCompatible(const DataList& data, Algorithm** out)
	{
		const std::vector<Graph*> graphs = DataList::getGraphs(data);
		if (graphs.size() != 1)
			return false;
		if (out)
			*out = new GraphReindexingAlgorithm(*graphs.front());
		return true;
	}

	void GraphReindexingAlgorithm::compute()
	{
		if (mode.value() == Mode::LargestDiameter)
		{
			const std::optional<int> diameter = m_graph.getEdgeFeatureIdx("diameter");
			if (!diameter)
			{
				Log::log(Log::Error, {}, "No diameter feature found. Please compute diameter using Compute Features.");
				m_status = Error;
				return;
			}
			const size_t d = static_cast<size_t>(*diameter);
			// Only a leaf holding its edge scores; a leaf reached by an arriving directed edge does not.
			const std::optional<uint64_t> root =
			    GraphUtils::argmaxNode(m_graph,
			                           [d](uint64_t, const Graph::NodeInfo&, const Graph::Neighborhood& neighbors)
			                           {
				                           if (neighbors.size() == 1 && neighbors.begin()->second)
					                           return neighbors.begin()->second->features()[d];
				                           return std::numeric_limits<double>::lowest();
			                           });
			if (root)
				rootIndex = *root;
		}
		if (!m_graph.hasNode(rootIndex))
		{
			Log::log(Log::Error, {}, "Invalid root node index selected.");
			m_status = Error;
			return;
		}
		std::optional<Graph> renumbered = rebuildFromRoot(m_graph, rootIndex);
		if (!renumbered)
		{
			m_status = Error;
			return;
		}
		if (inPlace)
		{
			// The graph stays the same object in the data model: keep its name, matrix and display
			// settings and take over only the renumbered nodes and edges.
			static_cast<Data&>(*renumbered) = static_cast<const Data&>(m_graph);
			m_graph = std::move(*renumbered);
			m_output.reset();
		}
		else
			m_output = std::make_unique<Graph>(std::move(*renumbered));
		m_status = Success;
	}

	OwningDataList GraphReindexingAlgorithm::takeOutput()
	{
		OwningDataList out;
		out.add(std::move(m_output));
		return out;
	}

	std::optional<Graph> GraphReindexingAlgorithm::rebuildFromRoot(const Graph& graph, uint64_t root)
	{
		// The graph's own walk keeps an explicit stack, so long chains cost no call depth.
		std::vector<uint64_t> order;
		order.reserve(static_cast<size_t>(graph.numNodes()));
		graph.forEachNode([&order](uint64_t id, const Graph::NodeInfo&) { order.push_back(id); }, root,
		                  Graph::TraversalStrategy::DepthFirst);
		if (order.size() != static_cast<size_t>(graph.numNodes()))
		{
			Log::log(Log::Error, {}, "GraphReindexingAlgorithm requires a connected graph. Please run Partition Graph first.");
			return std::nullopt;
		}
		std::unordered_map<uint64_t, uint64_t> newId;
		newId.reserve(order.size());
		for (size_t i = 0; i < order.size(); ++i)
			newId.emplace(order[i], static_cast<uint64_t>(i + 1));

		std::optional<Graph> out(std::in_place, graph.type(), graph.dimension());
		out->clearFeatureDescriptors();
		out->setMatrix(graph.matrix());
		out->addNodeFeatureDescriptors(graph.nodeFeatureDescriptors());
		out->addEdgeFeatureDescriptors(graph.edgeFeatureDescriptors());
		for (uint64_t id : order)
			out->addOrReplaceNode(newId.at(id), graph.node(id));
		graph.forEachEdge([&](const Graph::EdgeInfo& edge, uint64_t a, uint64_t b) { out->addEdge(newId.at(a), newId.at(b), edge); });
		return out;
	}
}
