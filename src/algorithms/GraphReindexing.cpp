#include "src/algorithms/GraphReindexing.h"

#include <limits>
#include <unordered_map>
#include <vector>

#include "src/graph/GraphUtils.h"

namespace Quorvale::GraphReindexing
{
	std::optional<uint64_t> largestDiameterLeaf(const Graph& graph)
	{
		const std::optional<int> diameter = graph.getEdgeFeatureIdx("diameter");
		if (!diameter)
			throw Error("No diameter feature found. Please compute diameter using Compute Features.");
		const size_t d = static_cast<size_t>(*diameter);
		// Only a leaf holding its edge scores; a leaf reached by an arriving directed edge does not.
		return GraphUtils::argmaxNode(graph,
		                              [d](uint64_t, const Graph::NodeInfo&, const Graph::Neighborhood& neighbors)
		                              {
			                              if (neighbors.size() == 1 && neighbors.begin()->second)
				                              return neighbors.begin()->second->features()[d];
			                              return std::numeric_limits<double>::lowest();
		                              });
	}

	Graph renumberedFrom(const Graph& graph, uint64_t root)
	{
		if (!graph.hasNode(root))
			throw Error("Invalid root node index selected.");
		// The graph's own walk keeps an explicit stack, so long chains cost no call depth.
		std::vector<uint64_t> order;
		order.reserve(static_cast<size_t>(graph.numNodes()));
		graph.forEachNode([&order](uint64_t id, const Graph::NodeInfo&) { order.push_back(id); }, root,
		                  Graph::TraversalStrategy::DepthFirst);
		if (order.size() != static_cast<size_t>(graph.numNodes()))
			throw Error("GraphReindexingAlgorithm requires a connected graph. Please run Partition Graph first.");
		std::unordered_map<uint64_t, uint64_t> newId;
		newId.reserve(order.size());
		for (size_t i = 0; i < order.size(); ++i)
			newId.emplace(order[i], static_cast<uint64_t>(i + 1));

		Graph out(graph.type(), graph.dimension());
		out.clearFeatureDescriptors();
		out.setMatrix(graph.matrix());
		out.addNodeFeatureDescriptors(graph.nodeFeatureDescriptors());
		out.addEdgeFeatureDescriptors(graph.edgeFeatureDescriptors());
		for (uint64_t id : order)
			out.addOrReplaceNode(newId.at(id), graph.node(id));
		graph.forEachEdge([&](const Graph::EdgeInfo& edge, uint64_t a, uint64_t b) { out.addEdge(newId.at(a), newId.at(b), edge); });
		return out;
	}
}
