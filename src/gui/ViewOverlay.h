#pragma once

namespace Quorvale
{
	class DisplayWidgetMulti;
	class GlObject;

	/// The marker or circle of an interaction in the views of a display: added to the views that
	/// show it, taken out of every view of the display by `detach` and when the overlay is
	/// destroyed. Does not own the object, which must outlive the overlay (declare it first).
	class ViewOverlay
	{
	public:
		/// `display` may be null: then the object is shown in no view.
		ViewOverlay(DisplayWidgetMulti* display, GlObject& object);
		~ViewOverlay();
		ViewOverlay(const ViewOverlay&) = delete;
		ViewOverlay& operator=(const ViewOverlay&) = delete;

		/// Adds the object to every view of the display.
		void attachToAllViews();
		/// Adds the object to the views that show a graph: the first planar view for a planar
		/// (2-D) graph, every slice view for a 3-D one.
		void attachForGraph(bool planarGraph);
		/// Takes the object out of every view of the display.
		void detach();
		/// Schedules a repaint of every view of the display: a change of the object shows in all the
		/// views it is in, not only in the one under the cursor.
		void repaint() const;

	private:
		DisplayWidgetMulti* m_display;
		GlObject& m_object;
	};
}
