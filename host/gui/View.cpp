#include "host/gui/View.h"

#include "host/gui/GlView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>

#include <cmath>

namespace Quorvale::GUI
{
	namespace
	{
		/// How soon a view that left something out renders again.
		constexpr int RetryMilliseconds = 25;
	}

	View::View(std::unique_ptr<GlView> view, QWidget* parent)
	    : QWidget(parent)
	    , m_view(std::move(view))
	{
		setAttribute(Qt::WA_OpaquePaintEvent);
		setMinimumSize(64, 64);
		// Manipulators hear mouse moves without a button (a marker follows the cursor) and keys.
		setMouseTracking(true);
		setFocusPolicy(Qt::ClickFocus);
	}

	View::~View() = default;

	QPointF View::windowPosition(const QPointF& position) const
	{
		const double ratio = devicePixelRatioF();
		return {position.x() * ratio, (height() - position.y()) * ratio};
	}

	bool View::offer(QEvent* event)
	{
		if (m_view->manipulators().empty())
			return false;
		const double ratio = devicePixelRatioF();
		m_view->setViewport(static_cast<int>(std::lround(width() * ratio)), static_cast<int>(std::lround(height() * ratio)));
		bool consumed = false;
		if (auto* mouse = dynamic_cast<QMouseEvent*>(event))
		{
			const QPointF p = windowPosition(mouse->localPos());
			QMouseEvent translated(mouse->type(), p, p, mouse->screenPos(), mouse->button(), mouse->buttons(), mouse->modifiers());
			consumed = m_view->sceneEvent(&translated);
		}
		else if (auto* wheel = dynamic_cast<QWheelEvent*>(event))
		{
			const QPointF p = windowPosition(wheel->position());
			QWheelEvent translated(p, wheel->globalPosition(), wheel->pixelDelta(), wheel->angleDelta(), wheel->buttons(), wheel->modifiers(),
			                       wheel->phase(), wheel->inverted());
			consumed = m_view->sceneEvent(&translated);
		}
		else
			consumed = m_view->sceneEvent(event);
		// Manipulators that ignore an event may still have moved a marker.
		update();
		return consumed;
	}

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
		// Something is still being prepared (the slice of a large volume): look again soon.
		if (!m_view->isComplete())
			QTimer::singleShot(RetryMilliseconds, this, [this] { update(); });
	}

	void View::mousePressEvent(QMouseEvent* event)
	{
		m_lastPosition = event->pos();
		m_pressTaken = offer(event);
	}

	void View::mouseReleaseEvent(QMouseEvent* event)
	{
		offer(event);
		m_pressTaken = false;
	}

	void View::keyPressEvent(QKeyEvent* event)
	{
		if (offer(event))
			return;
		if (m_view->key(event->key(), event->modifiers()))
			update();
		else
			QWidget::keyPressEvent(event);
	}

	void View::focusForManipulators()
	{
		if (!m_view->manipulators().empty() && !hasFocus())
			setFocus(Qt::MouseFocusReason);
	}

	void View::enterEvent(QEvent* event)
	{
		focusForManipulators();
		QWidget::enterEvent(event);
	}

	void View::mouseMoveEvent(QMouseEvent* event)
	{
		// A manipulator installed while the cursor was over the view counts from the first move.
		focusForManipulators();
		if (offer(event))
		{
			m_lastPosition = event->pos();
			return;
		}
		const double ratio = devicePixelRatioF();
		if (!m_pressTaken && m_view->mouseDrag(m_lastPosition * ratio, event->pos() * ratio, event->buttons()))
			update();
		m_lastPosition = event->pos();
	}

	void View::wheelEvent(QWheelEvent* event)
	{
		if (offer(event))
			return;
		// Some platforms turn a wheel with Shift held into a horizontal one.
		const QPoint angle = event->angleDelta();
		if (m_view->wheel((angle.y() != 0 ? angle.y() : angle.x()) / 8.0, event->modifiers()))
			update();
	}
}
