#include "host/gui/DisplayWidgetMulti.h"

#include "host/gui/DataDisplayHandlerFactory.h"
#include "host/gui/GlSliceView.h"
#include "host/gui/GlVolumeView.h"
#include "host/gui/View.h"
#include "host/lib/DataModel.h"
#include "src/gl/GraphDisplayHandler.h"
#include "tests/gui/RenderTestSupport.h"

#include <gtest/gtest.h>


using namespace Quorvale;

namespace
{
	class DisplayWidgetMultiTest : public ::testing::Test
	{
	protected:
		DisplayWidgetMultiTest()
		{
			DataDisplayHandlerFactory::registerHandler("Quorvale.GraphDisplayHandler", [] { return std::make_unique<GraphDisplayHandler>(); });
			display = std::make_unique<DisplayWidgetMulti>();
			display->signalUpdateRequested.connect(&receiver, [this] { ++updates; });
		}

		std::unique_ptr<DisplayWidgetMulti> display;
		SignalReceiver receiver;
		int updates = 0;
	};
}

TEST_F(DisplayWidgetMultiTest, ThreeSliceViewsAndOneVolumeView)
{
	ASSERT_EQ(display->views().size(), 4u);
	for (int i = 0; i < 3; ++i)
		EXPECT_EQ(dynamic_cast<GlSliceView*>(display->view2D(i)->glView())->slice().axis(), 2 - i);
	EXPECT_NE(dynamic_cast<GlVolumeView*>(display->view3D(0)->glView()), nullptr);
	EXPECT_EQ(display->viewGroup(0), display->viewsSlice());
	EXPECT_EQ(display->view2D(3), nullptr);
}

TEST_F(DisplayWidgetMultiTest, ViewsUpdateAfterOptionAndDataChanges)
{
	auto graph = RenderTest::corner();
	ASSERT_TRUE(display->showData(graph.get()));
	updates = 0;
	RenderTest::options(*graph).generalOptions->lineWidth.setValue(5.0);
	EXPECT_GT(updates, 0);
	updates = 0;
	graph->signalDataChanged.emitSignal();
	EXPECT_GT(updates, 0);
	display->hideData(graph.get());
	updates = 0;
	RenderTest::options(*graph).generalOptions->lineWidth.setValue(6.0);
	EXPECT_EQ(updates, 0);
}

TEST_F(DisplayWidgetMultiTest, ImageChangesWhichViewsShowAGraph)
{
	auto planar = RenderTest::corner(Graph::Dimension::TwoD);
	auto planarImage = RenderTest::image({30, 30, 1});
	display->showData(planar.get());
	for (GUI::View* view : display->views())
		EXPECT_TRUE(view->glView()->objects().empty());
	display->setCurrentImage(planarImage.get());
	for (GUI::View* view : display->viewsSlice())
		EXPECT_EQ(view->glView()->objects().size(), 1u);
	EXPECT_TRUE(display->view3D(0)->glView()->objects().empty());
	planarImage.reset();
	EXPECT_EQ(display->view2D(0)->glView()->image(), nullptr);
}

TEST_F(DisplayWidgetMultiTest, DataLeavingTheModelIsHiddenFirst)
{
	DataModel model;
	display->setDataModel(&model);
	auto* graph = static_cast<Graph*>(model.add(RenderTest::corner()));
	ASSERT_TRUE(display->showData(graph));
	bool shownWhenRemoved = true;
	model.signalAboutToRemove.connect(&receiver, [&](Data* d) { shownWhenRemoved = display->isShown(d); });
	model.remove(graph);
	EXPECT_FALSE(shownWhenRemoved);
	for (GUI::View* view : display->views())
		EXPECT_TRUE(view->glView()->objects().empty());
	display->setDataModel(nullptr);
}
