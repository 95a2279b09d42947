#pragma once

#include "host/core/Signal.h"

#include <QRect>

#include <string>
#include <vector>

class QPainter;

namespace Quorvale::GUI
{
	/// A colour bar with a title and value labels, painted over a view's image at one of its corners.
	/// Owned by the view it was added to; announces its destruction.
	class ColorBarOverlay
	{
	public:
		ColorBarOverlay() = default;
		ColorBarOverlay(const ColorBarOverlay&) = delete;
		ColorBarOverlay& operator=(const ColorBarOverlay&) = delete;
		~ColorBarOverlay();

		/// The colours, RGBA floats, lowest value first.
		void setColormap(std::vector<float> rgba);
		/// Width of the bar in pixels.
		void setColormapMaxSize(int pixels) { m_barWidth = pixels; }
		void setLabels(std::vector<std::string> labels) { m_labels = std::move(labels); }
		/// Where each label sits along the bar, 0 at the bottom, 1 at the top.
		void setLabelHeights(std::vector<double> heights) { m_heights = std::move(heights); }
		void setTitle(std::string title) { m_title = std::move(title); }
		void setMargin(int x, int y)
		{
			m_marginX = x;
			m_marginY = y;
		}
		/// Size of the whole overlay in pixels.
		void setSize(int width, int height)
		{
			m_width = width;
			m_height = height;
		}
		void setVisible(bool visible) { m_visible = visible; }
		bool isVisible() const { return m_visible; }

		const std::string& title() const { return m_title; }
		const std::vector<std::string>& labels() const { return m_labels; }
		const std::vector<float>& colormap() const { return m_colors; }

		/// The overlay's rectangle inside `view` at `anchor` (keypad layout: 7 top left, 9 top right, 1 bottom
		/// left, 3 bottom right).
		QRect rectIn(const QRect& view, int anchor) const;
		/// Paints the overlay (when visible) at `anchor` of `view`.
		void paint(QPainter& painter, const QRect& view, int anchor, double scale) const;

		Signal<> signalDestroyed;

	private:
		std::vector<float> m_colors;
		std::vector<std::string> m_labels;
		std::vector<double> m_heights;
		std::string m_title;
		int m_barWidth = 20;
		int m_marginX = 0;
		int m_marginY = 0;
		int m_width = 150;
		int m_height = 200;
		bool m_visible = true;
	};
}
