#include "src/gui/DrawGraphAlgorithm.h"

#include "host/lib/DataList.h"

namespace Quorvale
{
	DrawGraphAlgorithm::DrawGraphAlgorithm(Graph* graph)
	    : m_edited(graph)
	{
		dimensions.setAttribute("values", "2D,3D");
		type.setAttribute("values", "Directed,Undirected");
	}

	DrawGraphAlgorithm::~DrawGraphAlgorithm() = default;

	bool DrawGraphAlgorithm::createCompatible(const DataList& data, Algorithm** out)
	{
		if (data.size() > 1)
			return false;
		Graph* graph = nullptr;
		if (data.size() == 1)
		{
			graph = dynamic_cast<Graph*>(data.get(0));
			if (!graph)
				return false;
		}
		if (out)
			*out = new DrawGraphAlgorithm(graph);
		return true;
	}

	void DrawGraphAlgorithm::compute()
	{
		if (!m_edited)
			m_created = std::make_unique<Graph>(type.value(), dimensions.value());
		// The host counts a status it finds unset as a failure.
		m_status = Success;
	}

	OwningDataList DrawGraphAlgorithm::takeOutput()
	{
		OwningDataList out;
		if (m_created)
			out.add(std::move(m_created));
		return out;
	}
}
