#include "src/gui/NodesWithinRadiusInteraction.h"

#include "host/gui/GlView.h"
#include "src/graph/Graph.h"

#include <QWheelEvent>

#include <algorithm>

namespace Quorvale
{
	NodesWithinRadiusInteraction::NodesWithinRadiusInteraction(DisplayWidgetMulti* display)
	    : m_overlay(display, m_circle)
	{
		m_circle.setVisible(false);
	}

	NodesWithinRadiusInteraction::~NodesWithinRadiusInteraction() = default;

	void NodesWithinRadiusInteraction::hideOverlay() { m_circle.setVisible(false); }

	void NodesWithinRadiusInteraction::setGraph(Graph* graph)
	{
		m_overlay.detach();
		Interaction::setGraph(graph);
		m_collected.clear();
		if (graph)
			m_overlay.attachForGraph(graph->dimension() == Graph::Dimension::TwoD);
	}

	std::vector<uint64_t> NodesWithinRadiusInteraction::collect(const GlView& view, const Eigen::Vector2d& position) const
	{
		std::vector<uint64_t> nodes;
		if (!m_graph || m_graph->empty())
			return nodes;
		if (m_graph->dimension() == Graph::Dimension::TwoD)
		{
			const Eigen::Vector3d cursor = cursorPoint(view, position);
			m_graph->forEachNode(
			    [&](uint64_t id, const Graph::NodeInfo& info)
			    {
				    if ((toWorld(info.position()) - cursor).norm() < m_radius)
					    nodes.push_back(id);
			    });
		}
		else if (m_graph->dimension() == Graph::Dimension::ThreeD)
		{
			const Geometry::Line ray = pickRay(view, position);
			m_graph->forEachNode(
			    [&](uint64_t id, const Graph::NodeInfo& info)
			    {
				    if (ray.distanceToPoint(toWorld(info.position())) < m_radius)
					    nodes.push_back(id);
			    });
		}
		return nodes;
	}

	bool NodesWithinRadiusInteraction::handleEvent(QEvent* event, const GlView& view)
	{
		if (!m_graph || m_graph->empty())
			return false;
		if (const auto* wheel = dynamic_cast<const QWheelEvent*>(event); wheel && wheel->modifiers() == Qt::ControlModifier)
		{
			const int delta = wheel->angleDelta().y();
			if (delta != 0)
			{
				m_radius += (delta > 0 ? 1.0 : -1.0) * 0.03 * (m_maximum - m_minimum);
				m_radius = std::clamp(m_radius, m_minimum, m_maximum);
				m_circle.setRadius(m_radius);
			}
			return true;
		}
		if (!isMouseEvent(event))
			return false;
		if (m_state != Armed)
		{
			hideOverlay();
			return false;
		}
		const Eigen::Vector2d at = position(event);
		const Eigen::Vector3d centre = cursorPoint(view, at);
		const auto [right, up] = view.viewState().unprojectPixelIncrement(centre);
		m_circle.setCenter(centre);
		m_circle.setAxes(right, up);
		m_circle.setRadius(m_radius);
		m_circle.setVisible(true);
		m_collected = collect(view, at);
		return false;
	}
}
