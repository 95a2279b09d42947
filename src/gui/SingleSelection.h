#pragma once

#include "host/gui/GlPoint.h"
#include "src/gui/GraphManipulator.h"
#include "src/gui/ViewOverlay.h"

#include <Qt>

#include <optional>

class QMouseEvent;

namespace Quorvale
{
	class DisplayWidgetMulti;

	/// Base of the interactions that act on the node under the cursor: every mouse event picks the
	/// nearest node within a tolerance (`dotSize` screen pixels, or world units with a non-zero size
	/// unit) and, while armed, marks it with a dot. Never consumes an event itself.
	class SingleSelection : public GraphManipulator::Interaction
	{
	public:
		/// Shows its marker in every view of `display` (may be null).
		explicit SingleSelection(DisplayWidgetMulti* display);
		~SingleSelection() override;

		/// Picks and marks the node under a mouse event; false always.
		bool handleEvent(QEvent* event, const GlView& view) override;
		void hideOverlay() override;
		/// Forgets the marked node when it was removed.
		void graphEdited() override;

		const std::optional<uint64_t>& highlightedNode() const { return m_highlighted; }
		const GlPoint& marker() const { return m_marker; }
		/// 0: the dot size counts in screen pixels; any other value: in world units.
		void setSizeUnit(uint32_t unit) { m_sizeUnit = unit; }

		/// The node within the tolerance of the cursor at window position `position`, if any.
		std::optional<uint64_t> pick(const GlView& view, const Eigen::Vector2d& position) const;

	protected:
		/// Picks as `handleEvent` does; a press of `button` on a node while armed makes the
		/// interaction active and stores that node in `start`. The event as a mouse event, or null
		/// for other events and without a graph.
		const QMouseEvent* pickAndStart(QEvent* event, const GlView& view, Qt::MouseButton button, uint64_t& start);

		std::optional<uint64_t> m_highlighted;

	private:
		GlPoint m_marker;
		ViewOverlay m_overlay;
		uint32_t m_sizeUnit = 0;
		double m_dotSize = 8.0;
	};
}
