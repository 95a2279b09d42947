#include "host/gui/GlVolumeView.h"

#include <gtest/gtest.h>

using namespace Quorvale;

TEST(GlVolumeViewTest, DraggingTurnsAndTheWheelZooms)
{
	GlVolumeView view;
	const double turn = view.turn(), tilt = view.tilt();
	EXPECT_FALSE(view.mouseDrag({0, 0}, {10, 0}, Qt::RightButton));
	EXPECT_TRUE(view.mouseDrag({0, 0}, {10, 20}, Qt::LeftButton));
	EXPECT_DOUBLE_EQ(view.turn(), turn - 5.0);
	EXPECT_DOUBLE_EQ(view.tilt(), tilt + 10.0);
	EXPECT_TRUE(view.wheel(15));
	EXPECT_NEAR(view.zoom(), 1.1, 1e-12);
	view.mouseDrag({0, 0}, {0, 1000}, Qt::LeftButton);
	EXPECT_LE(view.tilt(), 89.0);
}
