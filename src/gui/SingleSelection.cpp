#include "src/gui/SingleSelection.h"

#include "host/gui/GlView.h"
#include "src/graph/Graph.h"
#include "src/graph/GraphUtils.h"

#include <QMouseEvent>

#include <cmath>

namespace Quorvale
{
	SingleSelection::SingleSelection(DisplayWidgetMulti* display)
	    : m_overlay(display, m_marker)
	{
		m_marker.setColor(0, 1, 0);
		m_marker.setVisible(false);
		m_overlay.attachToAllViews();
	}

	SingleSelection::~SingleSelection() = default;

	void SingleSelection::hideOverlay()
	{
		m_marker.setVisible(false);
		m_marker.setDotSize(0.0);
	}

	std::optional<uint64_t> SingleSelection::pick(const GlView& view, const Eigen::Vector2d& position) const
	{
		if (!m_graph || m_graph->empty())
			return std::nullopt;
		const Eigen::Vector3d cursor = cursorPoint(view, position);
		double tolerance = m_dotSize;
		if (m_sizeUnit == 0)
			tolerance *= (cursorPoint(view, position + Eigen::Vector2d(1.0, 1.0)) - cursor).norm();
		if (m_graph->dimension() == Graph::Dimension::TwoD)
		{
			const Eigen::Vector3d local = toLocal(cursor);
			const auto node = GraphUtils::argmaxNode(*m_graph, [&](const Graph::NodeInfo& info) { return -(info.position() - local).norm(); });
			if (!node)
				return std::nullopt;
			const Eigen::Vector3d offset = (m_graph->node(*node).position() - local).cwiseAbs();
			// Only the plane counts: the slice may lie anywhere along z.
			return offset.x() < tolerance && offset.y() < tolerance ? node : std::nullopt;
		}
		if (m_graph->dimension() == Graph::Dimension::ThreeD)
		{
			const Geometry::Line ray = pickRay(view, position);
			const auto node =
			    GraphUtils::argmaxNode(*m_graph, [&](const Graph::NodeInfo& info) { return -ray.distanceToPoint(toWorld(info.position())); });
			if (!node || ray.distanceToPoint(toWorld(m_graph->node(*node).position())) >= tolerance)
				return std::nullopt;
			return node;
		}
		return std::nullopt;
	}

	bool SingleSelection::handleEvent(QEvent* event, const GlView& view)
	{
		if (!isMouseEvent(event))
			return false;
		m_highlighted = pick(view, position(event));
		const bool wasVisible = m_marker.visible();
		const Eigen::Vector3d wasAt = m_marker.point();
		if (m_highlighted && m_state == Armed)
		{
			m_marker.setPoint(toWorld(m_graph->node(*m_highlighted).position()));
			m_marker.setVisible(true);
			m_marker.setDotSize(m_dotSize);
		}
		else
			hideOverlay();
		if (m_marker.visible() != wasVisible || (m_marker.visible() && m_marker.point() != wasAt))
			m_overlay.repaint();
		return false;
	}

	void SingleSelection::graphEdited()
	{
		if (m_highlighted && (!m_graph || !m_graph->hasNode(*m_highlighted)))
		{
			m_highlighted.reset();
			hideOverlay();
		}
	}

	const QMouseEvent* SingleSelection::pickAndStart(QEvent* event, const GlView& view, Qt::MouseButton button, uint64_t& start)
	{
		SingleSelection::handleEvent(event, view);
		const auto* mouse = dynamic_cast<const QMouseEvent*>(event);
		if (!mouse || !m_graph)
			return nullptr;
		if (m_highlighted && m_state == Armed && event->type() == QEvent::MouseButtonPress && mouse->button() == button)
		{
			m_state = Active;
			start = *m_highlighted;
		}
		return mouse;
	}
}
