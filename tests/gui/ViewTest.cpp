#include "host/gui/View.h"

#include "host/gui/GlSliceView.h"
#include "host/gui/Manipulator.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>

using namespace Quorvale;

TEST(ViewTest, TheCursorOverAViewWithAManipulatorGivesItTheKeyboardFocus)
{
	struct Keys : Manipulator
	{
		bool sceneEvent(QEvent*, const GlView&) override { return false; }
	} keys;
	QWidget window;
	auto* edit = new QLineEdit(&window);
	auto* view = new GUI::View(std::make_unique<GlSliceView>(2), &window);
	window.show();
	edit->setFocus();
	const auto hover = [view]
	{
		QEvent enter(QEvent::Enter);
		QApplication::sendEvent(view, &enter);
		QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
		QApplication::sendEvent(view, &move);
	};
	// Without a manipulator hovering takes nothing from the field being typed in.
	hover();
	EXPECT_EQ(window.focusWidget(), edit);
	view->glView()->addManipulator(&keys);
	hover();
	EXPECT_EQ(window.focusWidget(), view);
	view->glView()->removeManipulator(&keys);
}
