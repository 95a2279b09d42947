#pragma once

#include "host/gui/GlCircle.h"
#include "src/gui/GraphManipulator.h"
#include "src/gui/ViewOverlay.h"

#include <vector>

namespace Quorvale
{
	class DisplayWidgetMulti;

	/// Base of the interactions on all nodes inside a circle around the cursor: while armed the circle
	/// follows the cursor and collects the nodes within `radius` world units of the cursor (of the
	/// ray under it for a 3-D graph). Ctrl+wheel changes the radius by 3 % of its range.
	class NodesWithinRadiusInteraction : public GraphManipulator::Interaction
	{
	public:
		explicit NodesWithinRadiusInteraction(DisplayWidgetMulti* display);
		~NodesWithinRadiusInteraction() override;

		/// Consumes Ctrl+wheel only.
		bool handleEvent(QEvent* event, const GlView& view) override;
		void hideOverlay() override;
		/// Moves the circle to the views that show the graph: the first slice view for a 2-D graph,
		/// every slice view for a 3-D one.
		void setGraph(Graph* graph) override;

		double radius() const { return m_radius; }
		const std::vector<uint64_t>& collectedNodes() const { return m_collected; }
		const GlCircle& circle() const { return m_circle; }

		/// The nodes within the radius of the cursor at window position `position`, in node order.
		std::vector<uint64_t> collect(const GlView& view, const Eigen::Vector2d& position) const;

	protected:
		std::vector<uint64_t> m_collected;

	private:
		GlCircle m_circle;
		ViewOverlay m_overlay;
		double m_radius = 50.0;
		double m_maximum = 100.0;
		double m_minimum = 1.0;
	};
}
