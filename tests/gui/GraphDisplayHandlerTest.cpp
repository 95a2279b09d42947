#include "src/gl/GraphDisplayHandler.h"

#include "host/gui/DisplayWidgetMulti.h"
#include "host/gui/GlView.h"
#include "host/gui/View.h"
#include "src/gl/GlGraph.h"
#include "src/gui/GlGraphDisplayOptionsWidget.h"
#include "tests/gui/RenderTestSupport.h"

#include <gtest/gtest.h>

using namespace Quorvale;

namespace
{
	class GraphDisplayHandlerTest : public ::testing::Test
	{
	protected:
		GraphDisplayHandlerTest()
		    : graph(RenderTest::corner())
		    , slice(display.view2D(0))
		    , coronal(display.view2D(1))
		    , volume(display.view3D(0))
		{
		}

		bool holds(GUI::View* view) const { return view->glView()->hasObject(handler.glGraph(graph.get())); }

		DisplayWidgetMulti display;
		GraphDisplayHandler handler;
		std::unique_ptr<Graph> graph;
		GUI::View* slice;
		GUI::View* coronal;
		GUI::View* volume;
	};
}

TEST_F(GraphDisplayHandlerTest, ShowAddsOneObjectPerGraphAndHideLetsItGoWithTheLastView)
{
	handler.show(graph.get(), slice);
	handler.show(graph.get(), slice);
	handler.show(graph.get(), volume);
	GlGraph* object = handler.glGraph(graph.get());
	ASSERT_NE(object, nullptr);
	EXPECT_TRUE(object->visible());
	EXPECT_EQ(handler.viewsOf(graph.get()).size(), 2u);
	EXPECT_EQ(slice->glView()->objects().size(), 1u);

	// A view that never showed it: the entry stays.
	handler.hide(graph.get(), coronal);
	EXPECT_EQ(handler.glGraph(graph.get()), object);
	handler.hide(graph.get(), slice);
	EXPECT_FALSE(slice->glView()->hasObject(object));
	EXPECT_TRUE(holds(volume));
	handler.hide(graph.get(), volume);
	EXPECT_EQ(handler.glGraph(graph.get()), nullptr);
	EXPECT_TRUE(volume->glView()->objects().empty());
}

TEST_F(GraphDisplayHandlerTest, ViewRemovedOnlyPrunesTheViewSets)
{
	handler.show(graph.get(), slice);
	handler.viewRemoved(slice);
	EXPECT_TRUE(handler.viewsOf(graph.get()).empty());
	EXPECT_NE(handler.glGraph(graph.get()), nullptr);
}

TEST_F(GraphDisplayHandlerTest, DeletedGraphIsForgottenAndRemovedFromItsViews)
{
	handler.show(graph.get(), volume);
	const Data* address = graph.get();
	graph.reset();
	EXPECT_EQ(handler.glGraph(address), nullptr);
	EXPECT_TRUE(volume->glView()->objects().empty());
}

TEST_F(GraphDisplayHandlerTest, DestructorRemovesItsObjectsFromTheViews)
{
	{
		GraphDisplayHandler local;
		local.show(graph.get(), slice);
		EXPECT_EQ(slice->glView()->objects().size(), 1u);
	}
	EXPECT_TRUE(slice->glView()->objects().empty());
}

TEST_F(GraphDisplayHandlerTest, ViewsAcceptGraphsOfTheirDimension)
{
	auto planar = RenderTest::corner(Graph::Dimension::TwoD);
	auto planarImage = RenderTest::image({30, 30, 1});
	// Without an image the slice views cut the 3-D scene.
	EXPECT_TRUE(handler.canShowIn(graph.get(), slice));
	EXPECT_FALSE(handler.canShowIn(planar.get(), slice));
	display.setCurrentImage(planarImage.get());
	EXPECT_FALSE(handler.canShowIn(graph.get(), slice));
	EXPECT_TRUE(handler.canShowIn(planar.get(), slice));
	EXPECT_TRUE(handler.canShowIn(graph.get(), volume));
	EXPECT_FALSE(handler.canShowIn(planar.get(), volume));
	EXPECT_FALSE(handler.canShowIn(planarImage.get(), volume));
	display.setCurrentImage(nullptr);
}

TEST_F(GraphDisplayHandlerTest, OptionsWidgetOnlyForShownGraphs)
{
	EXPECT_EQ(handler.createOptionsWidget(graph.get(), nullptr, nullptr), nullptr);
	handler.show(graph.get(), volume);
	EXPECT_NE(dynamic_cast<GlGraphDisplayOptionsWidget*>(handler.createOptionsWidget(graph.get(), nullptr, nullptr).get()), nullptr);
}
