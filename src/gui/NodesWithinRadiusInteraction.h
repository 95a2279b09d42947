#pragma once

#include "src/gui/GraphManipulator.h"
#include "src/gui/RadiusCircle.h"

#include <memory>
#include <vector>

namespace Quorvale
{
	class DisplayWidgetMulti;

	/// Base of the interactions on all nodes inside a circle around the cursor: while armed the circle
	/// follows the cursor and collects the nodes within its radius (world units) of the cursor (of the
	/// ray under it for a 3-D graph). Ctrl+wheel changes the radius by 3 % of its range and collects
	/// anew at the wheel's position. Interactions made with one `RadiusCircle` share its radius, its
	/// outline and the nodes it collected.
	class NodesWithinRadiusInteraction : public GraphManipulator::Interaction
	{
	public:
		/// With a circle of its own, shown in the views of `display` (may be null).
		explicit NodesWithinRadiusInteraction(DisplayWidgetMulti* display);
		/// With the circle `circle`, shared with the other interactions made with it.
		explicit NodesWithinRadiusInteraction(std::shared_ptr<RadiusCircle> circle);
		~NodesWithinRadiusInteraction() override;

		/// Consumes Ctrl+wheel only.
		bool handleEvent(QEvent* event, const GlView& view) override;
		void hideOverlay() override;
		/// Moves the circle to the views that show the graph: the first slice view for a 2-D graph,
		/// every slice view for a 3-D one.
		void setGraph(Graph* graph) override;

		double radius() const { return m_circle->radius(); }
		/// The nodes inside the circle where it was placed last (by a mouse event or Ctrl+wheel).
		const std::vector<uint64_t>& collectedNodes() const { return m_circle->nodes(); }
		const GlCircle& circle() const { return m_circle->outline(); }

		/// The nodes within the radius of the cursor at window position `position`, in node order.
		std::vector<uint64_t> collect(const GlView& view, const Eigen::Vector2d& position) const;

	protected:
		/// Forgets the collected nodes (after they were removed).
		void clearCollected() { m_circle->setNodes({}); }

	private:
		/// Puts the circle under the cursor at `position` and collects the nodes inside it.
		void placeAndCollect(const GlView& view, const Eigen::Vector2d& position);

		std::shared_ptr<RadiusCircle> m_circle;
	};
}
