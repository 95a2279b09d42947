#include "src/gui/DeleteNodesInteraction.h"

#include "src/graph/Graph.h"

#include <QKeyEvent>

namespace Quorvale
{
	bool DeleteNodesInteraction::handleEvent(QEvent* event, const GlView& view)
	{
		if (NodesWithinRadiusInteraction::handleEvent(event, view))
			return true;
		const auto* key = dynamic_cast<const QKeyEvent*>(event);
		if (!key || event->type() != QEvent::KeyPress || key->key() != Qt::Key_Delete || !m_graph)
			return false;
		// The nodes inside the circle as the user last saw it, placed by the cursor or sized by the wheel.
		const std::vector<uint64_t> nodes = collectedNodes();
		noteEdit();
		for (uint64_t node : nodes)
			m_graph->removeNode(node);
		clearCollected();
		return true;
	}
}
