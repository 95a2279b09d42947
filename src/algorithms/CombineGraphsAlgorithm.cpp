#include "src/algorithms/CombineGraphsAlgorithm.h"

#include "src/algorithms/GraphCombination.h"
#include "host/core/Log.h"
#include "host/lib/DataList.h"

namespace Quorvale
{
	namespace
	{
		/// The default category, the one users' log filters know these messages by.
		const char* const kCategory = "";
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
		try
		{
			m_combined = GraphCombination::combine(std::vector<const Graph*>(m_graphs.begin(), m_graphs.end()));
			m_status = Success;
		}
		catch (const GraphCombination::Error& e)
		{
			Log::log(Log::Error, kCategory, e.what());
			m_status = InvalidInput;
		}
	}

	OwningDataList CombineGraphsAlgorithm::takeOutput()
	{
		OwningDataList out;
		out.add(std::move(m_combined));
		return out;
	}
}
