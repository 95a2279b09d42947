#include "src/gui/NodesWithinRadiusInteraction.h"

#include "host/gui/GlView.h"
#include "src/graph/Graph.h"

#include <QWheelEvent>

namespace Quorvale
{
	NodesWithinRadiusInteraction::NodesWithinRadiusInteraction(DisplayWidgetMulti* display)
	    : NodesWithinRadiusInteraction(std::make_shared<RadiusCircle>(display))
	{
	}

	NodesWithinRadiusInteraction::NodesWithinRadiusInteraction(std::shared_ptr<RadiusCircle> circle)
	    : m_circle(std::move(circle))
	{
	}

	NodesWithinRadiusInteraction::~NodesWithinRadiusInteraction() = default;

	void NodesWithinRadiusInteraction::hideOverlay() { m_circle->hide(); }

	void NodesWithinRadiusInteraction::setGraph(Graph* graph)
	{
		Interaction::setGraph(graph);
		clearCollected();
		if (graph)
			m_circle->attachForGraph(graph->dimension() == Graph::Dimension::TwoD);
		else
			m_circle->detach();
	}

	std::vector<uint64_t> NodesWithinRadiusInteraction::collect(const GlView& view, const Eigen::Vector2d& position) const
	{
		std::vector<uint64_t> nodes;
		if (!m_graph || m_graph->empty())
			return nodes;
		const double radius = m_circle->radius();
		if (m_graph->dimension() == Graph::Dimension::TwoD)
		{
			const Eigen::Vector3d cursor = cursorPoint(view, position);
			m_graph->forEachNode(
			    [&](uint64_t id, const Graph::NodeInfo& info)
			    {
				    if ((toWorld(info.position()) - cursor).norm() < radius)
					    nodes.push_back(id);
			    });
		}
		else if (m_graph->dimension() == Graph::Dimension::ThreeD)
		{
			const Geometry::Line ray = pickRay(view, position);
			m_graph->forEachNode(
			    [&](uint64_t id, const Graph::NodeInfo& info)
			    {
				    if (ray.distanceToPoint(toWorld(info.position())) < radius)
					    nodes.push_back(id);
			    });
		}
		return nodes;
	}

	void NodesWithinRadiusInteraction::placeAndCollect(const GlView& view, const Eigen::Vector2d& position)
	{
		m_circle->placeAt(view, cursorPoint(view, position));
		m_circle->setNodes(collect(view, position));
	}

	bool NodesWithinRadiusInteraction::handleEvent(QEvent* event, const GlView& view)
	{
		if (!m_graph || m_graph->empty())
			return false;
		if (const auto* wheel = dynamic_cast<const QWheelEvent*>(event); wheel && wheel->modifiers() == Qt::ControlModifier)
		{
			const int delta = wheel->angleDelta().y();
			m_circle->step(delta);
			// What is inside follows the new radius at once: Delete acts on what the circle shows.
			if (delta != 0 && m_state == Armed)
				placeAndCollect(view, position(event));
			return true;
		}
		if (!isMouseEvent(event))
			return false;
		if (m_state != Armed)
		{
			hideOverlay();
			return false;
		}
		placeAndCollect(view, position(event));
		return false;
	}
}
