#include "src/gui/DeleteNodesInteraction.h"

#include "src/graph/Graph.h"

#include <QKeyEvent>

namespace Quorvale
{
	bool DeleteNodesInteraction::handleEvent(QEvent* event, const GlView& view)
	{
		if (NodesWithinRadiusInteraction::handleEvent(event, view))
			return true;
		if (isMouseEvent(event) && m_state != Off)
		{
			m_toDelete = m_collected;
			return false;
		}
		const auto* key = dynamic_cast<const QKeyEvent*>(event);
		if (key && event->type() == QEvent::KeyPress && key->key() == Qt::Key_Delete && m_graph)
		{
			for (uint64_t node : m_toDelete)
				m_graph->removeNode(node);
			m_toDelete.clear();
			m_collected.clear();
			return true;
		}
		return false;
	}
}
