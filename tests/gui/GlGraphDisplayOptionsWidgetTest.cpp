#include "src/gui/GlGraphDisplayOptionsWidget.h"

#include "host/gui/DataDisplayHandler.h"
#include "host/gui/PropertiesWidget.h"
#include "tests/gui/RenderTestSupport.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>

using namespace Quorvale;

namespace
{
	struct CountingHook : GUI::UpdateHook
	{
		int requests = 0;
		void requestUpdate() override { ++requests; }
	};

	class GlGraphDisplayOptionsWidgetTest : public ::testing::Test
	{
	protected:
		GlGraphDisplayOptionsWidgetTest()
		    : graph(RenderTest::corner())
		    , widget(graph.get(), &hook, nullptr)
		{
		}

		GlGraph::DisplayOptions& options() { return RenderTest::options(*graph); }
		bool rowHidden(PropertiesWidget* page, const std::string& name) { return page->editor(name)->isHidden(); }

		CountingHook hook;
		std::unique_ptr<Graph> graph;
		GlGraphDisplayOptionsWidget widget;
	};
}

TEST_F(GlGraphDisplayOptionsWidgetTest, PagesShowTheOptionsAndFollowTheirChanges)
{
	EXPECT_EQ(widget.count(), 2);
	EXPECT_EQ(widget.tabText(1), "Feature Circles");
	auto* lines = qobject_cast<QCheckBox*>(widget.generalPage()->editor("drawLines"));
	ASSERT_NE(lines, nullptr);
	EXPECT_TRUE(lines->isChecked());
	// Undirected graphs hide the direction option.
	EXPECT_TRUE(rowHidden(widget.generalPage(), "drawDirectionOnLines"));
	options().generalOptions->drawLines.setValue(false);
	EXPECT_FALSE(lines->isChecked());
	EXPECT_GT(hook.requests, 0);
}

TEST_F(GlGraphDisplayOptionsWidgetTest, EditsAreWrittenBackToTheGraph)
{
	widget.show();
	auto* points = qobject_cast<QCheckBox*>(widget.generalPage()->editor("drawPoints"));
	points->click();
	EXPECT_FALSE(options().generalOptions->drawPoints.value());
	auto* feature = qobject_cast<QComboBox*>(widget.featureCirclePage()->editor("featureName"));
	ASSERT_NE(feature, nullptr);
	// "(none)" and the edge features.
	ASSERT_EQ(feature->count(), 2);
	EXPECT_EQ(feature->itemText(1), "diameter");
	feature->setCurrentIndex(1);
	EXPECT_EQ(options().featureCircleOptions->featureName.value(), std::optional<std::string>("diameter"));
}

TEST_F(GlGraphDisplayOptionsWidgetTest, TogglingLabelsShowsTheUnitSuffixAtOnce)
{
	// The click reloads the page from inside the check box's own signal: rows must survive it.
	widget.show();
	PropertiesWidget* page = widget.featureCirclePage();
	EXPECT_TRUE(rowHidden(page, "unitSuffix"));
	auto* labels = qobject_cast<QCheckBox*>(page->editor("showLabels"));
	labels->click();
	EXPECT_TRUE(options().featureCircleOptions->showLabels.value());
	EXPECT_FALSE(rowHidden(page, "unitSuffix"));
	qobject_cast<QCheckBox*>(page->editor("showLabels"))->click();
	QCoreApplication::processEvents();
	EXPECT_TRUE(rowHidden(page, "unitSuffix"));
}

TEST(GlGraphDisplayOptionsWidgetDirectedTest, DirectedGraphsOfferDirectionAndWidgetSurvivesTheGraph)
{
	auto graph = RenderTest::corner(Graph::Dimension::ThreeD, Graph::Type::Directed);
	GlGraphDisplayOptionsWidget widget(graph.get(), nullptr, nullptr);
	EXPECT_FALSE(widget.generalPage()->editor("drawDirectionOnLines")->isHidden());
	graph.reset();
	EXPECT_FALSE(widget.isEnabled());
}
