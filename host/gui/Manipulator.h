#pragma once

class QEvent;
class QPoint;

namespace Quorvale
{
	class GlView;

	/// Turns input events of a view into actions. A view offers each mouse, wheel and key event to
	/// the manipulators added to it (see `GlView::sceneEvent`), in the order they were added, until
	/// one consumes it. Event positions are window coordinates of the view's state: device pixels
	/// from the lower left corner, y up. GUI thread only.
	class Manipulator
	{
	public:
		Manipulator() = default;
		virtual ~Manipulator() = default;

		/// What the view calls: `sceneEvent` unless the manipulator is disabled.
		virtual bool handleInputEvent(QEvent* event, const GlView& view);
		/// Handles an event of `view`; true when it is consumed (the view then does not navigate).
		virtual bool sceneEvent(QEvent* event, const GlView& view) = 0;
		/// Whether the manipulator wants keyboard focus in its view.
		virtual bool requiresFocus() const { return false; }
		/// Offers a context menu at the position (widget coordinates); true when one was shown.
		virtual bool openContextMenu(const QPoint& position);

		/// Completes what is under way, so that the edited data holds only what the user made; the host
		/// calls it before it saves data or runs an algorithm.
		virtual void finishEditing() {}

		void setEnabled(bool enabled) { m_enabled = enabled; }
		bool isEnabled() const { return m_enabled; }

	private:
		bool m_enabled = true;
	};
}
