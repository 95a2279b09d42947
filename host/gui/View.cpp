#include "host/gui/View.h"

#include "host/gui/GlView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

namespace Quorvale::GUI
{
	View::View(std::unique_ptr<GlView> view, QWidget* parent)
	    : QWidget(parent)
	    , m_view(std::move(view))
	{
		setAttribute(Qt::WA_OpaquePaintEvent);
		setMinimumSize(64, 64);
	}

	View::~View() = default;

	QImage View::renderImage()
	{
		const double ratio = devicePixelRatioF();
		QImage image = m_view->render(static_cast<int>(std::lround(width() * ratio)), static_cast<int>(std::lround(height() * ratio)), ratio);
		image.setDevicePixelRatio(ratio);
		return image;
	}

	void View::paintEvent(QPaintEvent*)
	{
		QPainter painter(this);
		const QImage image = renderImage();
		if (image.isNull())
		{
			painter.fillRect(rect(), Qt::black);
			painter.setPen(Qt::white);
			painter.drawText(rect(), Qt::AlignCenter, tr("No OpenGL"));
			return;
		}
		painter.drawImage(QPoint(0, 0), image);
	}

	void View::mousePressEvent(QMouseEvent* event) { m_lastPosition = event->pos(); }

	void View::mouseMoveEvent(QMouseEvent* event)
	{
		const double ratio = devicePixelRatioF();
		if (m_view->mouseDrag(m_lastPosition * ratio, event->pos() * ratio, event->buttons()))
			update();
		m_lastPosition = event->pos();
	}

	void View::wheelEvent(QWheelEvent* event)
	{
		if (m_view->wheel(event->angleDelta().y() / 8))
			update();
	}
}
