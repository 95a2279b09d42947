#pragma once

#include "host/gui/GlCircle.h"
#include "src/gui/ViewOverlay.h"

#include <Eigen/Core>

#include <cstdint>
#include <utility>
#include <vector>

namespace Quorvale
{
	class DisplayWidgetMulti;
	class GlView;

	/// The circle that the radius interactions share: one radius in world units (50 at first, between
	/// 1 and 100), its outline in the views, and the nodes found inside it where it was placed last.
	/// Sharing it makes the circle the user sizes and sees the one every radius interaction acts on.
	class RadiusCircle
	{
	public:
		/// Shows its outline in the views of `display` (may be null); hidden at first.
		explicit RadiusCircle(DisplayWidgetMulti* display);
		RadiusCircle(const RadiusCircle&) = delete;
		RadiusCircle& operator=(const RadiusCircle&) = delete;

		double radius() const { return m_circle.radius(); }
		/// Grows (`direction` > 0) or shrinks (< 0) the radius by 3 % of its range, within the range;
		/// nothing for 0.
		void step(int direction);

		/// Centres the outline on `centre` in the plane of the view's screen and shows it.
		void placeAt(const GlView& view, const Eigen::Vector3d& centre);
		void hide() { m_circle.setVisible(false); }
		const GlCircle& outline() const { return m_circle; }

		/// Puts the outline in the views that show a graph (see `ViewOverlay::attachForGraph`) after
		/// taking it out of every view.
		void attachForGraph(bool planarGraph);
		void detach() { m_overlay.detach(); }

		/// The nodes inside the circle where it was placed last.
		const std::vector<uint64_t>& nodes() const { return m_nodes; }
		void setNodes(std::vector<uint64_t> nodes) { m_nodes = std::move(nodes); }

	private:
		GlCircle m_circle;
		ViewOverlay m_overlay;
		std::vector<uint64_t> m_nodes;
	};
}
