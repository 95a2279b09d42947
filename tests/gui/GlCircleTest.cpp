#include "host/gui/GlCircle.h"

#include "host/gui/GlPoint.h"
#include "host/gui/GlSliceView.h"
#include "tests/gui/RenderTestSupport.h"

#include <gtest/gtest.h>

using namespace Quorvale;

TEST(GlCircleTest, TheCircleAndTheMarkerAppearWhereTheyAreInTheWorld)
{
	QUORVALE_OPEN_GL_GUARD(guard);
	GlSliceView view(2);
	view.setViewport(RenderTest::Size, RenderTest::Size);
	GlCircle circle;
	circle.setCenter(Eigen::Vector3d(0.2, 0.1, 0.0));
	circle.setRadius(0.5);
	// Axes of any length: pixel steps as the editor gives them.
	const auto [right, up] = view.viewState().unprojectPixelIncrement(circle.center());
	circle.setAxes(right, up);
	GlPoint point;
	point.setPoint(Eigen::Vector3d(-0.6, -0.6, 0.0));
	view.addObject(&circle);
	view.addObject(&point);
	const RenderTest::Frame frame = RenderTest::render(view);
	const Eigen::Vector4f yellow(1, 1, 0, 1);
	for (const Eigen::Vector3d& offset : {Eigen::Vector3d(0.5, 0, 0), Eigen::Vector3d(0, -0.5, 0), Eigen::Vector3d(-0.3, 0.4, 0)})
		EXPECT_TRUE(RenderTest::near(frame.at(circle.center() + offset), yellow, 60)) << offset.transpose();
	EXPECT_TRUE(RenderTest::near(frame.at(circle.center()), RenderTest::Black));
	EXPECT_TRUE(RenderTest::near(frame.at(point.point()), RenderTest::Green));

	point.setDotSize(0.0);
	EXPECT_TRUE(RenderTest::near(RenderTest::render(view).at(point.point()), RenderTest::Black));
}

TEST(GlCircleTest, OnlyViewsLookingAtTheCircleFaceOnDrawIt)
{
	QUORVALE_OPEN_GL_GUARD(guard);
	// A circle in the x-y plane: the axial view sees it face-on, the others would see a line.
	GlCircle circle;
	circle.setRadius(0.5);
	for (int axis : {0, 1, 2})
	{
		GlSliceView view(axis);
		view.addObject(&circle);
		const RenderTest::Frame frame = RenderTest::render(view);
		EXPECT_EQ(RenderTest::count(frame.image, Eigen::Vector4f(1, 1, 0, 1)) > 0, axis == 2) << axis;
		EXPECT_EQ(circle.facesViewer(frame.viewState), axis == 2) << axis;
	}
}
