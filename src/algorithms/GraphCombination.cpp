#include "src/algorithms/GraphCombination.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

namespace Quorvale::GraphCombination
{
	namespace
	{
		bool sameNames(const std::vector<Graph::FeatureDescriptor>& a, const std::vector<Graph::FeatureDescriptor>& b)
		{
			return std::equal(a.begin(), a.end(), b.begin(), b.end(),
			                  [](const Graph::FeatureDescriptor& x, const Graph::FeatureDescriptor& y) { return x.name == y.name; });
		}

		template <typename Predicate>
		bool anyIs(const std::vector<const Graph*>& graphs, Predicate predicate)
		{
			return std::any_of(graphs.begin(), graphs.end(), predicate);
		}

		bool isTwoD(const Graph* g) { return g->dimension() == Graph::Dimension::TwoD; }

		/// Throws the first reason why the graphs cannot be merged.
		void checkCompatible(const std::vector<const Graph*>& graphs)
		{
			if (graphs.empty())
				throw Error("No graphs to combine.");
			if (anyIs(graphs, [](const Graph* g) { return g == nullptr; }))
				throw Error("Invalid input. Graphs must be non-empty.");
			if (anyIs(graphs, isTwoD) && anyIs(graphs, [](const Graph* g) { return g->dimension() == Graph::Dimension::ThreeD; }))
				throw Error("Cannot combine graphs of different dimensions");
			const Graph& first = *graphs.front();
			const bool featuresFit = std::all_of(graphs.begin(), graphs.end(),
			                                     [&first](const Graph* g)
			                                     {
				                                     return sameNames(g->nodeFeatureDescriptors(), first.nodeFeatureDescriptors()) &&
				                                            sameNames(g->edgeFeatureDescriptors(), first.edgeFeatureDescriptors());
			                                     });
			if (!featuresFit)
				throw Error("Cannot combine graphs due to incompatible features");
		}

		/// Adds the nodes (in world coordinates) and edges of `graph` to `combined`.
		void append(Graph& combined, const Graph& graph, std::unordered_map<uint64_t, uint64_t>& newId)
		{
			const Eigen::Matrix4d toWorld = graph.matrixToWorld();
			const Eigen::Matrix3d linear = toWorld.topLeftCorner<3, 3>();
			const Eigen::Vector3d translation = toWorld.topRightCorner<3, 1>();
			newId.clear();
			graph.forEachNode(
			    [&](uint64_t id, const Graph::NodeInfo& info)
			    {
				    Graph::NodeInfo copy = info;
				    copy.position() = linear * info.position() + translation;
				    newId.emplace(id, combined.addNode(std::move(copy)));
			    });
			// An undirected edge joining a directed result reads both ways, as `Graph::setDirected`
			// makes it: one direction chosen by identifier order would cut paths the input had.
			const bool bothWays = combined.type() == Graph::Type::Directed && graph.type() == Graph::Type::Undirected;
			graph.forEachEdge(
			    [&](const Graph::EdgeInfo& edge, uint64_t a, uint64_t b)
			    {
				    combined.addEdge(newId.at(a), newId.at(b), edge);
				    if (bothWays && a != b)
					    combined.addEdge(newId.at(b), newId.at(a), edge);
			    });
		}
	}

	std::unique_ptr<Graph> combine(const std::vector<const Graph*>& graphs)
	{
		checkCompatible(graphs);
		const Graph& first = *graphs.front();
		const bool anyDirected = anyIs(graphs, [](const Graph* g) { return g->type() == Graph::Type::Directed; });
		auto combined = std::make_unique<Graph>(anyDirected ? Graph::Type::Directed : Graph::Type::Undirected,
		                                        anyIs(graphs, isTwoD) ? Graph::Dimension::TwoD : Graph::Dimension::ThreeD);
		combined->clearFeatureDescriptors();
		combined->addNodeFeatureDescriptors(first.nodeFeatureDescriptors());
		combined->addEdgeFeatureDescriptors(first.edgeFeatureDescriptors());
		std::unordered_map<uint64_t, uint64_t> newId;
		for (const Graph* graph : graphs)
			append(*combined, *graph, newId);
		return combined;
	}
}
