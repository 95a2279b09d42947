#include "src/gui/MoveNodesInteraction.h"

#include "src/graph/Graph.h"

#include <QMouseEvent>

namespace Quorvale
{
	bool MoveNodesInteraction::handleEvent(QEvent* event, const GlView& view)
	{
		if (NodesWithinRadiusInteraction::handleEvent(event, view))
			return true;
		const auto* mouse = dynamic_cast<const QMouseEvent*>(event);
		if (!mouse || !m_graph)
			return false;
		const QEvent::Type type = event->type();
		if (m_state == Armed)
		{
			if (type != QEvent::MouseButtonPress || mouse->button() != Qt::LeftButton)
				return false;
			m_state = Active;
			m_pressPoint = cursorPoint(view, position(event));
			m_moving = collectedNodes();
			m_startPositions.clear();
			for (uint64_t node : m_moving)
				m_startPositions.push_back(m_graph->node(node).position());
			return true;
		}
		if (m_state != Active)
			return false;
		if (type == QEvent::MouseButtonRelease)
		{
			m_state = Armed;
			m_moving.clear();
			m_startPositions.clear();
			return true;
		}
		if (type != QEvent::MouseMove)
			return false;
		const Eigen::Vector3d d = toLocal(cursorPoint(view, position(event))) - toLocal(m_pressPoint);
		for (size_t i = 0; i < m_moving.size(); ++i)
			if (m_graph->hasNode(m_moving[i]))
				m_graph->editNode(m_moving[i], [&](Graph::NodeInfo& info) { info.position() = m_startPositions[i] + d; });
		noteEdit();
		return true;
	}
}
