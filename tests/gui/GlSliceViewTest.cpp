#include "host/gui/GlSliceView.h"

#include "host/gui/Manipulator.h"
#include "host/gui/View.h"
#include "tests/gui/RenderTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <functional>

using namespace Quorvale;

namespace
{
	constexpr int Side = 200;

	/// An axial slice view of a 20 x 20 x 40 volume in a widget, fed with synthesised events.
	class SliceNavigationTest : public ::testing::Test
	{
	public:
		SliceNavigationTest()
		    : image(RenderTest::image({20, 20, 40}))
		    , widget(std::make_unique<GlSliceView>(2))
		{
			widget.resize(Side, Side);
			view().setImage(image.get());
			view().setViewport(Side, Side);
		}

		GlSliceView& view() { return static_cast<GlSliceView&>(*widget.glView()); }

		void wheel(QPoint angle, Qt::KeyboardModifiers modifiers)
		{
			QWheelEvent event(QPointF(50, 50), QPointF(50, 50), QPoint(), angle, Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
			QApplication::sendEvent(&widget, &event);
		}
		void key(int k)
		{
			QKeyEvent event(QEvent::KeyPress, k, Qt::NoModifier);
			QApplication::sendEvent(&widget, &event);
		}
		/// A drag with `button` held from `from` to `to` (widget pixels).
		void drag(Qt::MouseButton button, QPoint from, QPoint to)
		{
			QMouseEvent press(QEvent::MouseButtonPress, from, button, button, Qt::NoModifier);
			QMouseEvent move(QEvent::MouseMove, to, Qt::NoButton, button, Qt::NoModifier);
			QMouseEvent release(QEvent::MouseButtonRelease, to, button, Qt::NoButton, Qt::NoModifier);
			for (QMouseEvent* event : {&press, &move, &release})
				QApplication::sendEvent(&widget, event);
			view().setViewport(Side, Side);
		}
		/// Where the image's centre appears (window pixels).
		Eigen::Vector2d centreOnScreen() const
		{
			return widget.glView()->viewState().project(GlSlice::boundsOf(image.get()).center()).head<2>();
		}

		std::unique_ptr<SharedImageSet> image;
		GUI::View widget;
	};

	/// Takes every press of one button.
	class PressTaker : public Manipulator
	{
	public:
		explicit PressTaker(Qt::MouseButton button)
		    : m_button(button)
		{
		}
		bool sceneEvent(QEvent* event, const GlView&) override
		{
			const auto* mouse = dynamic_cast<QMouseEvent*>(event);
			return mouse && event->type() == QEvent::MouseButtonPress && mouse->button() == m_button;
		}

	private:
		Qt::MouseButton m_button;
	};
}

TEST_F(SliceNavigationTest, WheelAndKeysStepSlicesShiftWheelZoomsControlWheelIsLeftAlone)
{
	struct Case
	{
		const char* name;
		std::function<void(SliceNavigationTest&)> input;
		int slice;
		double zoom;
	};
	const Case cases[] = {
	    {"wheel away",
	     [](auto& t) {
		     t.wheel({0, 120}, Qt::NoModifier);
	     },
	     21, 1.0},
	    {"wheel towards",
	     [](auto& t) {
		     t.wheel({0, -120}, Qt::NoModifier);
	     },
	     19, 1.0},
	    {"two half notches",
	     [](auto& t)
	     {
		     t.wheel({0, 60}, Qt::NoModifier);
		     t.wheel({0, 60}, Qt::NoModifier);
	     },
	     21, 1.0},
	    {"shift+wheel",
	     [](auto& t) {
		     t.wheel({0, 120}, Qt::ShiftModifier);
	     },
	     20, 1.1},
	    {"shift+wheel turned sideways",
	     [](auto& t) {
		     t.wheel({120, 0}, Qt::ShiftModifier);
	     },
	     20, 1.1},
	    {"ctrl+wheel",
	     [](auto& t) {
		     t.wheel({0, 120}, Qt::ControlModifier);
	     },
	     20, 1.0},
	    {"up", [](auto& t) { t.key(Qt::Key_Up); }, 21, 1.0},
	    {"right", [](auto& t) { t.key(Qt::Key_Right); }, 21, 1.0},
	    {"down", [](auto& t) { t.key(Qt::Key_Down); }, 19, 1.0},
	    {"left", [](auto& t) { t.key(Qt::Key_Left); }, 19, 1.0},
	    {"page up", [](auto& t) { t.key(Qt::Key_PageUp); }, 30, 1.0},
	    {"page down", [](auto& t) { t.key(Qt::Key_PageDown); }, 10, 1.0},
	    {"page up at the end",
	     [](auto& t)
	     {
		     t.key(Qt::Key_PageUp);
		     t.key(Qt::Key_PageUp);
	     },
	     39, 1.0},
	};
	for (const Case& c : cases)
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
	const Eigen::Vector2d before = centreOnScreen();
	drag(Qt::MiddleButton, {100, 100}, {130, 80});
	// Window y runs up, widget y down.
	EXPECT_NEAR((centreOnScreen() - before - Eigen::Vector2d(30, 20)).norm(), 0.0, 1e-6);
	EXPECT_EQ(view().slice().index(), 20);

	PressTaker taker(Qt::MiddleButton);
	widget.glView()->addManipulator(&taker);
	const Eigen::Vector2d held = centreOnScreen();
	drag(Qt::MiddleButton, {100, 100}, {60, 60});
	EXPECT_NEAR((centreOnScreen() - held).norm(), 0.0, 1e-6);
	drag(Qt::LeftButton, {100, 100}, {60, 60});
	EXPECT_NEAR((centreOnScreen() - held).norm(), 0.0, 1e-6);
	widget.glView()->removeManipulator(&taker);
}
