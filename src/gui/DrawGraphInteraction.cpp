#include "src/gui/DrawGraphInteraction.h"

#include "src/graph/Graph.h"

#include <QMouseEvent>

namespace Quorvale
{
	void DrawGraphInteraction::setGraph(Graph* graph)
	{
		m_receiver.disconnectAll();
		m_provisional.reset();
		SingleSelection::setGraph(graph);
		if (!graph)
			return;
		graph->signalDataChanged.connect(&m_receiver,
		                                 [this]
		                                 {
			                                 if (announcingEdit())
				                                 return;
			                                 // Identifiers may mean other nodes now: nothing of the chain is kept.
			                                 m_provisional.reset();
			                                 if (m_state == Active)
				                                 m_state = Armed;
		                                 });
	}

	void DrawGraphInteraction::dropProvisional()
	{
		if (m_provisional && m_graph)
		{
			m_graph->removeNode(*m_provisional);
			noteEdit();
		}
		m_provisional.reset();
	}

	void DrawGraphInteraction::finish()
	{
		dropProvisional();
		SingleSelection::finish();
	}

	bool DrawGraphInteraction::handleEvent(QEvent* event, const GlView& view)
	{
		const QMouseEvent* mouse = pickAndStart(event, view, Qt::MiddleButton, m_lastNode);
		if (!mouse || m_state != Active)
			return false;
		const bool press = event->type() == QEvent::MouseButtonPress;
		const Eigen::Vector3d p = toLocal(cursorPoint(view, position(event)));
		if (press)
		{
			if (mouse->button() == Qt::LeftButton || mouse->button() == Qt::RightButton)
			{
				dropProvisional();
				const uint64_t node = m_graph->addNode(Graph::NodeInfo(p, {}));
				// A chain whose last node is gone (deleted meanwhile) starts anew without an edge.
				if (m_graph->numNodes() > 1 && m_graph->hasNode(m_lastNode) && m_lastNode != node)
					m_graph->addEdge(m_lastNode, node, Graph::EdgeInfo());
				m_lastNode = node;
				noteEdit();
				if (mouse->button() == Qt::RightButton)
					m_state = Armed;
			}
			return true;
		}
		if (event->type() == QEvent::MouseMove)
		{
			if (m_graph->empty())
				return false;
			if (m_provisional && m_graph->hasNode(*m_provisional))
				m_graph->editNode(*m_provisional, [&](Graph::NodeInfo& info) { info.position() = p; });
			else if (m_graph->hasNode(m_lastNode))
			{
				m_provisional = m_graph->addNode(Graph::NodeInfo(p, {}));
				m_graph->addEdge(m_lastNode, *m_provisional, Graph::EdgeInfo());
			}
			else
				m_provisional.reset();
			noteEdit();
			return true;
		}
		return true;
	}
}
