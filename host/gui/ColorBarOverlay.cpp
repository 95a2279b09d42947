#include "host/gui/ColorBarOverlay.h"

#include <QColor>
#include <QFont>
#include <QPainter>

#include <algorithm>

namespace Quorvale::GUI
{
	ColorBarOverlay::~ColorBarOverlay() { signalDestroyed.emitSignal(); }

	void ColorBarOverlay::setColormap(std::vector<float> rgba) { m_colors = std::move(rgba); }

	QRect ColorBarOverlay::rectIn(const QRect& view, int anchor) const
	{
		const int column = (anchor - 1) % 3; // 0 left, 1 centre, 2 right
		const int row = (anchor - 1) / 3;    // 0 bottom, 1 middle, 2 top
		const int x = column == 0 ? view.left() + m_marginX
		              : column == 2 ? view.left() + view.width() - m_marginX - m_width
		                            : view.left() + (view.width() - m_width) / 2;
		const int y = row == 2 ? view.top() + m_marginY
		              : row == 0 ? view.top() + view.height() - m_marginY - m_height
		                         : view.top() + (view.height() - m_height) / 2;
		return {x, y, m_width, m_height};
	}

	void ColorBarOverlay::paint(QPainter& painter, const QRect& view, int anchor, double scale) const
	{
		if (!m_visible || m_colors.size() < 4)
			return;
		painter.save();
		painter.scale(scale, scale);
		const QRect logical(view.topLeft() / scale, view.size() / scale);
		const QRect area = rectIn(logical, anchor);
		QFont font("DejaVu Sans");
		font.setPixelSize(11);
		painter.setFont(font);
		const int titleHeight = m_title.empty() ? 4 : 18;
		const QRect bar(area.left() + 4, area.top() + titleHeight, m_barWidth, area.height() - titleHeight - 8);
		painter.setPen(Qt::white);
		if (!m_title.empty())
			painter.drawText(QRect(area.left(), area.top(), area.width(), titleHeight), Qt::AlignLeft | Qt::AlignVCenter,
			                 QString::fromStdString(m_title));
		const int n = static_cast<int>(m_colors.size() / 4);
		for (int y = 0; y < bar.height(); ++y)
		{
			const double t = bar.height() > 1 ? 1.0 - static_cast<double>(y) / (bar.height() - 1) : 0.0;
			const auto i = static_cast<size_t>(std::clamp(static_cast<int>(t * (n - 1) + 0.5), 0, n - 1)) * 4;
			const auto channel = [](float c) { return std::clamp(static_cast<double>(c), 0.0, 1.0); };
			painter.setPen(QColor::fromRgbF(channel(m_colors[i]), channel(m_colors[i + 1]), channel(m_colors[i + 2])));
			painter.drawLine(bar.left(), bar.top() + y, bar.right(), bar.top() + y);
		}
		painter.setPen(Qt::white);
		for (size_t i = 0; i < m_labels.size() && i < m_heights.size(); ++i)
		{
			const int y = bar.bottom() - static_cast<int>(m_heights[i] * (bar.height() - 1));
			painter.drawLine(bar.right() + 1, y, bar.right() + 4, y);
			painter.drawText(QRect(bar.right() + 6, y - 8, area.right() - bar.right() - 6, 16), Qt::AlignLeft | Qt::AlignVCenter,
			                 QString::fromStdString(m_labels[i]));
		}
		painter.restore();
	}
}
