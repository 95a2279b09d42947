#include "src/algorithms/CombineGraphsAlgorithm.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "host/core/Log.h"
#include "host/lib/DataList.h"

namespace Quorvale
{
	namespace
	{
		bool sameNames(const std::vector<Graph::FeatureDescriptor>& a, const std::vector<Graph::FeatureDescriptor>& b)
		{
			return std::equal(a.begin(), a.end(), b.begin(), b.end(),
			                  [](const Graph::FeatureDescriptor& x, const Graph::FeatureDescriptor& y) { return x.name == y.name; });
		}
	}

	CombineGraphsAlgorithm::CombineGraphsAlgorithm(const std::vector<Graph*>& graphs)
	    : m_graphs(graphs)
	{
	}

	CombineGraphsAlgorithm::~CombineGraphsAlgorithm() = default;

	bool CombineGraphsAlgorithm::createCompatible(const DataList& data, Algorithm** out)
	{
		std::vector<Graph*> graphs = DataList::getGraphs(data);
		if (graphs.size() < 2)
			return false;
		if (out)
			*out = new CombineGraphsAlgorithm(graphs);
		return true;
	}

	void CombineGraphsAlgorithm::compute()
	{
		if (m_graphs.empty())
		{
			m_status = IncompleteInput;
			return;
		}
		if (std::any_of(m_graphs.begin(), m_graphs.end(), [](const Graph* g) { return g == nullptr; }))
		{
			Log::log(Log::Error, {}, "Invalid input. Graphs must be non-empty.");
			m_status = InvalidInput;
			return;
		}
		auto anyIs = [this](auto predicate) { return std::any_of(m_graphs.begin(), m_graphs.end(), predicate); };
		const bool any2d = anyIs([](const Graph* g) { return g->dimension() == Graph::Dimension::TwoD; });
		const bool any3d = anyIs([](const Graph* g) { return g->dimension() == Graph::Dimension::ThreeD; });
		if (any2d && any3d)
		{
			Log::log(Log::Error, {}, "Cannot combine graphs of different dimensions");
			m_status = InvalidInput;
			return;
		}
		const Graph& first = *m_graphs.front();
		const bool featuresFit = std::all_of(m_graphs.begin(), m_graphs.end(),
		                                     [&first](const Graph* g)
		                                     {
			                                     return sameNames(g->nodeFeatureDescriptors(), first.nodeFeatureDescriptors()) &&
			                                            sameNames(g->edgeFeatureDescriptors(), first.edgeFeatureDescriptors());
		                                     });
		if (!featuresFit)
		{
			Log::log(Log::Error, {}, "Cannot combine graphs due to incompatible features");
			m_status = InvalidInput;
			return;
		}

		const bool anyDirected = anyIs([](const Graph* g) { return g->type() == Graph::Type::Directed; });
		auto combined = std::make_unique<Graph>(anyDirected ? Graph::Type::Directed : Graph::Type::Undirected,
		                                        any2d ? Graph::Dimension::TwoD : Graph::Dimension::ThreeD);
		combined->clearFeatureDescriptors();
		combined->addNodeFeatureDescriptors(first.nodeFeatureDescriptors());
		combined->addEdgeFeatureDescriptors(first.edgeFeatureDescriptors());
		std::unordered_map<uint64_t, uint64_t> newId;
		for (const Graph* graph : m_graphs)
		{
			const Eigen::Matrix4d toWorld = graph->matrixToWorld();
			const Eigen::Matrix3d linear = toWorld.topLeftCorner<3, 3>();
			const Eigen::Vector3d translation = toWorld.topRightCorner<3, 1>();
			newId.clear();
			graph->forEachNode(
			    [&](uint64_t id, const Graph::NodeInfo& info)
			    {
				    Graph::NodeInfo copy = info;
				    copy.position() = linear * info.position() + translation;
				    newId.emplace(id, combined->addNode(std::move(copy)));
			    });
			// An undirected edge joining a directed result reads both ways, as `Graph::setDirected`
			// makes it: one direction chosen by identifier order would cut paths the input had.
			const bool bothWays = anyDirected && graph->type() == Graph::Type::Undirected;
			graph->forEachEdge(
			    [&](const Graph::EdgeInfo& edge, uint64_t a, uint64_t b)
			    {
				    combined->addEdge(newId.at(a), newId.at(b), edge);
				    if (bothWays && a != b)
					    combined->addEdge(newId.at(b), newId.at(a), edge);
			    });
		}
		m_combined = std::move(combined);
		m_status = Success;
	}

	OwningDataList CombineGraphsAlgorithm::takeOutput()
	{
		OwningDataList out;
		out.add(std::move(m_combined));
		return out;
	}
}
