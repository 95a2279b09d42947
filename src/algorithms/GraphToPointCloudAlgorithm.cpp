#include "src/algorithms/GraphToPointCloudAlgorithm.h"

#include <omp.h>

#include <cstdint>
#include <utility>

#include "host/core/ThreadTeam.h"
#include "src/algorithms/GraphPointCloud.h"
#include "host/lib/DataList.h"
#include "host/lib/PointCloud.h"
#include "src/graph/Graph.h"

namespace Quorvale
{
	GraphToPointCloudAlgorithm::GraphToPointCloudAlgorithm(std::vector<Graph*> graphs)
	    : m_graphs(std::move(graphs))
	{
	}

	GraphToPointCloudAlgorithm::~GraphToPointCloudAlgorithm() = default;

	bool GraphToPointCloudAlgorithm::createCompatible(const DataList& data, Algorithm** out)
	{
		std::vector<Graph*> graphs = DataList::getGraphs(data);
		if (graphs.empty())
			return false;
		if (out)
			*out = new GraphToPointCloudAlgorithm(std::move(graphs));
		return true;
	}

	void GraphToPointCloudAlgorithm::compute()
	{
		if (m_graphs.empty())
		{
			m_status = InvalidInput;
			return;
		}
		m_output.clear();

		// Each thread collects its clouds with their input index; they are put in order afterwards.
		using Made = std::pair<int32_t, std::unique_ptr<PointCloud>>;
		std::vector<std::vector<Made>> perThread(static_cast<size_t>(omp_get_max_threads()));
		const int count = static_cast<int>(m_graphs.size());
		const Threading::ThreadTeam team;
#pragma omp parallel for schedule(static) num_threads(team.size())
		for (int i = 0; i < count; ++i)
		{
			auto cloud = GraphPointCloud::nodePositions(*m_graphs[static_cast<size_t>(i)]);
			perThread[static_cast<size_t>(omp_get_thread_num())].emplace_back(i, std::move(cloud));
		}

		m_output.resize(m_graphs.size());
		for (auto& list : perThread)
			for (auto& [index, cloud] : list)
				m_output[static_cast<size_t>(index)] = std::move(cloud);
		m_status = Success;
	}

	OwningDataList GraphToPointCloudAlgorithm::takeOutput()
	{
		OwningDataList out;
		out.addAll(m_output);
		return out;
	}
}
