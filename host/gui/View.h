#pragma once

#include <QWidget>

#include <memory>

namespace Quorvale
{
	class GlView;
}

namespace Quorvale::GUI
{
	/// A widget showing one `GlView`: it renders the view into an image at the widget's size in device
	/// pixels and paints that image, and renders again shortly while the view left something out that
	/// is still being prepared (`GlView::isComplete`); mouse drags and the wheel reach the view, which
	/// asks for a repaint (never painted synchronously) when it changed. Mouse, wheel and key events are first offered to
	/// the view's manipulators; the view navigates only with what none of them consumes (and not with a
	/// drag whose press one of them took). While the view has a manipulator, the cursor over it gives it
	/// the keyboard focus, so keys reach the manipulator without a click first.
	class View : public QWidget
	{
		Q_OBJECT

	public:
		/// Takes the view.
		explicit View(std::unique_ptr<GlView> view, QWidget* parent = nullptr);
		~View() override;

		/// The widget that shows the view.
		QWidget* view() { return this; }
		GlView* glView() const { return m_view.get(); }

		/// The view's image at the widget's size (what the next paint shows); null without a GL context.
		QImage renderImage();

		QSize sizeHint() const override { return {320, 320}; }

	protected:
		void paintEvent(QPaintEvent* event) override;
		void mousePressEvent(QMouseEvent* event) override;
		void mouseReleaseEvent(QMouseEvent* event) override;
		void mouseMoveEvent(QMouseEvent* event) override;
		void enterEvent(QEvent* event) override;
		void wheelEvent(QWheelEvent* event) override;
		void keyPressEvent(QKeyEvent* event) override;

	private:
		/// Offers the event to the view's manipulators in window coordinates; true when one consumed it
		/// (the view is then repainted and does not navigate).
		bool offer(QEvent* event);
		/// Takes the keyboard focus when a manipulator is installed.
		void focusForManipulators();
		/// The window position (device pixels, y up) of a widget position.
		QPointF windowPosition(const QPointF& position) const;

		std::unique_ptr<GlView> m_view;
		QPoint m_lastPosition;
		/// A manipulator took the last press: the drag until the release is its, not the view's.
		bool m_pressTaken = false;
	};
}
