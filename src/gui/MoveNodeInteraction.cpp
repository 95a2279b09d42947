#include "src/gui/MoveNodeInteraction.h"

#include "src/graph/Graph.h"

#include <QMouseEvent>

namespace Quorvale
{
	MoveNodeInteraction::MoveNodeInteraction(DisplayWidgetMulti* display)
	    : SingleSelection(display)
	{
	}

	MoveNodeInteraction::~MoveNodeInteraction() = default;

	bool MoveNodeInteraction::handleEvent(QEvent* event, const GlView& view)
	{
		SingleSelection::handleEvent(event, view);
		const auto* mouse = dynamic_cast<const QMouseEvent*>(event);
		if (!mouse || !m_graph)
			return false;
		const QEvent::Type type = event->type();
		if (m_highlighted && m_state == Armed && type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton)
		{
			m_state = Active;
			m_node = *m_highlighted;
		}
		if (m_state != Active)
			return false;
		if (type == QEvent::MouseButtonRelease || !m_graph->hasNode(m_node))
		{
			m_state = Armed;
			return true;
		}
		if (type == QEvent::MouseButtonPress || type == QEvent::MouseMove)
		{
			const Eigen::Vector3d p = toLocal(cursorPoint(view, position(event)));
			m_graph->editNode(m_node, [&](Graph::NodeInfo& info) { info.position() = p; });
		}
		return true;
	}
}
