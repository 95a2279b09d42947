#include "host/gui/GlSliceView.h"

#include "host/gui/Manipulator.h"
#include "host/gui/View.h"
#include "tests/gui/RenderTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

using namespace Quorvale;

namespace
{
	/// An axial slice view of a 20 x 20 x 40 volume in a 200 x 200 widget, fed with synthesised events.
	struct SliceNavigationTest : ::testing::Test
	{
		SliceNavigationTest()
		{
			widget.resize(200, 200);
			view().setImage(image.get());
			view().setViewport(200, 200);
		}

		GlSliceView& view() { return static_cast<GlSliceView&>(*widget.glView()); }
		void send(QEvent&& event) { QApplication::sendEvent(&widget, &event); }
		void wheel(QPoint angle, Qt::KeyboardModifiers modifiers)
		{
			send(QWheelEvent(QPointF(50, 50), QPointF(50, 50), QPoint(), angle, Qt::NoButton, modifiers, Qt::NoScrollPhase, false));
		}
		void key(int k) { send(QKeyEvent(QEvent::KeyPress, k, Qt::NoModifier)); }
		/// Drags with the middle button from (100, 100) by `by` widget pixels; where the image's centre
		/// moved on the screen.
		Eigen::Vector2d panBy(QPoint by)
		{
			const auto centre = [this]() -> Eigen::Vector2d { return view().viewState().project(GlSlice::boundsOf(image.get()).center()).head<2>(); };
			const Eigen::Vector2d before = centre();
			send(QMouseEvent(QEvent::MouseButtonPress, QPoint(100, 100), Qt::MiddleButton, Qt::MiddleButton, Qt::NoModifier));
			send(QMouseEvent(QEvent::MouseMove, QPoint(100, 100) + by, Qt::NoButton, Qt::MiddleButton, Qt::NoModifier));
			send(QMouseEvent(QEvent::MouseButtonRelease, QPoint(100, 100) + by, Qt::MiddleButton, Qt::NoButton, Qt::NoModifier));
			view().setViewport(200, 200);
			return centre() - before;
		}

		std::unique_ptr<SharedImageSet> image = RenderTest::image({20, 20, 40});
		GUI::View widget{std::make_unique<GlSliceView>(2)};
	};

	/// Takes every middle press, as the drawing interaction does on a node.
	struct MiddlePressTaker : Manipulator
	{
		bool sceneEvent(QEvent* event, const GlView&) override
		{
			return event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton;
		}
	};
}

TEST_F(SliceNavigationTest, WheelAndKeysStepSlicesShiftWheelZoomsControlWheelIsLeftAlone)
{
	const QPoint notch(0, 120), back(0, -120), half(0, 60);
	const struct
	{
		const char* name;
		std::function<void(SliceNavigationTest&)> input;
		int slice;
		double zoom;
	} cases[] = {
	    {"wheel away, towards, away", [&](auto& t) { t.wheel(notch, {}), t.wheel(back, {}), t.wheel(notch, {}); }, 21, 1.0},
	    {"two half notches", [&](auto& t) { t.wheel(half, {}), t.wheel(half, {}); }, 21, 1.0},
	    {"wheel towards", [&](auto& t) { t.wheel(back, {}); }, 19, 1.0},
	    {"shift+wheel, also turned sideways", [&](auto& t) { t.wheel(notch, Qt::ShiftModifier), t.wheel({120, 0}, Qt::ShiftModifier); }, 20, 1.21},
	    {"ctrl+wheel", [&](auto& t) { t.wheel(notch, Qt::ControlModifier); }, 20, 1.0},
	    {"up, right, right", [](auto& t) { t.key(Qt::Key_Up), t.key(Qt::Key_Right), t.key(Qt::Key_Right); }, 23, 1.0},
	    {"down, left", [](auto& t) { t.key(Qt::Key_Down), t.key(Qt::Key_Left); }, 18, 1.0},
	    {"page down", [](auto& t) { t.key(Qt::Key_PageDown); }, 10, 1.0},
	    {"page up beyond the end", [](auto& t) { t.key(Qt::Key_PageUp), t.key(Qt::Key_PageUp); }, 39, 1.0},
	};
	for (const auto& c : cases)
	{
		view().setImage(nullptr);
		view().setImage(image.get());
		c.input(*this);
		EXPECT_EQ(view().slice().index(), c.slice) << c.name;
		EXPECT_NEAR(view().zoom(), c.zoom, 1e-12) << c.name;
	}
	EXPECT_EQ(view().label(), "Axial  slice 40 of 40");
}

TEST_F(SliceNavigationTest, MiddleDragPansUnlessAManipulatorTookThePress)
{
	// Window y runs up, widget y down.
	EXPECT_NEAR((panBy({30, -20}) - Eigen::Vector2d(30, 20)).norm(), 0.0, 1e-6);
	MiddlePressTaker taker;
	view().addManipulator(&taker);
	EXPECT_NEAR(panBy({-40, -40}).norm(), 0.0, 1e-6);
	view().removeManipulator(&taker);
	EXPECT_EQ(view().slice().index(), 20);
}
