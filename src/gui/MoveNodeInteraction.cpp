#include "src/gui/MoveNodeInteraction.h"

#include "src/graph/Graph.h"

#include <QMouseEvent>

namespace Quorvale
{
	bool MoveNodeInteraction::handleEvent(QEvent* event, const GlView& view)
	{
		if (!pickAndStart(event, view, Qt::LeftButton, m_node) || m_state != Active)
			return false;
		const QEvent::Type type = event->type();
		if (type == QEvent::MouseButtonRelease || !m_graph->hasNode(m_node))
		{
			m_state = Armed;
			return true;
		}
		if (type == QEvent::MouseButtonPress || type == QEvent::MouseMove)
		{
			const Eigen::Vector3d p = toLocal(cursorPoint(view, position(event)));
			m_graph->editNode(m_node, [&](Graph::NodeInfo& info) { info.position() = p; });
			noteEdit();
		}
		return true;
	}
}
