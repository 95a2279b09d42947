#include "src/algorithms/PartitionGraphsAlgorithm.h"

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
		m_output = GraphPartition::componentGraphs(m_graph, minComponentSize.value());
		m_status = Success;
	}

	OwningDataList PartitionGraphsAlgorithm::takeOutput()
	{
		OwningDataList out;
		out.addAll(m_output);
		return out;
	}

	PartitionGraphsAlgorithm::ComponentTable PartitionGraphsAlgorithm::computeConnectedComponents(const Graph& graph)
	{
		return GraphPartition::connectedComponents(graph);
	}

	std::vector<std::unique_ptr<Graph>> PartitionGraphsAlgorithm::partition(const Graph& graph, const ComponentTable& components)
	{
		return GraphPartition::partition(graph, components);
	}
}
