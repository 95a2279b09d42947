#include "src/gui/GraphDataController.h"

#include "host/gui/ColorBarOverlay.h"
#include "host/gui/DisplayWidgetMulti.h"
#include "host/gui/GlView.h"
#include "host/gui/View.h"
#include "host/lib/DataModel.h"
#include "src/gui/FeatureKey.h"
#include "src/gui/RangeInputDialog.h"
#include "tests/gui/RenderTestSupport.h"

#include <gtest/gtest.h>

#include <fmt/format.h>

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>

#include <functional>

#include <cmath>
#include <limits>

using namespace Quorvale;
using Mapper = GraphDataController::FeatureColorMapper;
using Legend = GraphDataController::FeatureLegend;

namespace
{
	/// The corner graph with an edge feature "vesselWidth" (1 and 3) and a node feature "degree".
	std::unique_ptr<Graph> measured(double low = 1.0, double high = 3.0)
	{
		auto graph = RenderTest::corner();
		graph->addEdgeFeatureDescriptors({{"vesselWidth", 0.0}});
		graph->addNodeFeatureDescriptors({{"degree", 0.0}});
		int i = 0;
		graph->editEachEdge([&](Graph::EdgeInfo& e, const Graph::NodeInfo&, const Graph::NodeInfo&) { e.features()[1] = i++ ? high : low; });
		graph->editEachNode([](uint64_t id, Graph::NodeInfo& n) { n.features()[0] = static_cast<double>(id); });
		return graph;
	}

	QStringList itemTexts(const QComboBox* combo)
	{
		QStringList texts;
		for (int i = 0; i < combo->count(); ++i)
			texts << combo->itemText(i);
		return texts;
	}

	class GraphDataControllerTest : public ::testing::Test
	{
	protected:
		void open(std::vector<Graph*> graphs)
		{
			panel = std::make_unique<GraphDataController>(graphs);
			panel->setHostContext(&model, &display);
			panel->init();
		}

		void choose(const QString& text) { panel->featureCombo()->setCurrentIndex(panel->featureCombo()->findText(text)); }
		GlGraph::DisplayOptions::FeatureColorMapOptions& colorMap(Graph& g) { return RenderTest::options(g).featureColorMapOptions.value(); }
		Legend* legend(Graph& g) { return g.components().get<Legend>(); }

		DataModel model;
		DisplayWidgetMulti display;
		std::unique_ptr<GraphDataController> panel;
	};

	const QString Edge = QString::fromUtf8("\u2015  "), Node = QString::fromUtf8("\u25CF  ");
}

TEST_F(GraphDataControllerTest, FeatureListIsWhatAllGraphsHave)
{
	auto first = measured();
	auto second = RenderTest::corner();
	second->addNodeFeatureDescriptors({{"degree", 0.0}, {"vesselWidth", 0.0}});
	open({first.get(), second.get()});
	// "vesselWidth" is an edge feature of one graph and a node feature of the other: listed for neither.
	EXPECT_EQ(itemTexts(panel->featureCombo()), (QStringList{"None", Edge + "diameter", Node + "degree"}));
	EXPECT_EQ(panel->featureCombo()->itemData(2).value<detail::FeatureKey>(), (detail::FeatureKey{detail::FeatureKey::Node, "degree"}));
	EXPECT_EQ(itemTexts(panel->colormapCombo()), (QStringList{"Cool-warm divergent", "Grayscale", "Hot iron", "Inferno", "Jet", "Viridis"}));
	EXPECT_EQ(panel->colormapCombo()->itemData(5).toInt(), 7);
}

TEST_F(GraphDataControllerTest, ChoosingAFeatureColoursByItsRangeWithALegend)
{
	auto graph = measured();
	open({graph.get()});
	panel->legendButton()->setChecked(true);
	choose(Edge + "vesselWidth");
	EXPECT_EQ(colorMap(*graph).edgeFeatureName.value(), std::optional<std::string>("vesselWidth"));
	const auto* mapper = graph->components().get<Mapper>();
	ASSERT_NE(mapper, nullptr);
	EXPECT_EQ(std::make_pair(mapper->min(), mapper->max()), std::make_pair(1.0, 3.0));
	ASSERT_NE(legend(*graph)->overlay(), nullptr);
	EXPECT_TRUE(legend(*graph)->isVisible());
	EXPECT_EQ(legend(*graph)->overlay()->title(), "Vessel width");
	EXPECT_EQ(legend(*graph)->overlay()->labels(), (std::vector<std::string>{"1", "1.67", "2.33", "3"}));

	// Switching to a node feature clears the edge feature, so lines follow the node feature.
	choose(Node + "degree");
	EXPECT_EQ(colorMap(*graph).edgeFeatureName.value(), std::nullopt);
	EXPECT_EQ(colorMap(*graph).nodeFeatureName.value(), std::optional<std::string>("degree"));

	choose("None");
	EXPECT_EQ(colorMap(*graph).nodeFeatureName.value(), std::nullopt);
	EXPECT_FALSE(legend(*graph)->isVisible());
}

TEST_F(GraphDataControllerTest, SeveralGraphsShareTheCombinedRangeAndTheFirstLegend)
{
	auto first = measured(1.0, 3.0);
	auto second = measured(-2.0, 2.0);
	open({first.get(), second.get()});
	panel->legendButton()->setChecked(true);
	choose(Edge + "vesselWidth");
	for (Graph* g : {first.get(), second.get()})
	{
		const auto* mapper = g->components().get<Mapper>();
		EXPECT_EQ(std::make_pair(mapper->min(), mapper->max()), std::make_pair(-2.0, 3.0));
	}
	EXPECT_TRUE(legend(*first)->isVisible());
	EXPECT_FALSE(legend(*second)->isVisible());

	// A range typed in reverse is taken in ascending order.
	panel->updateGraphsWithRange(5.0, 0.0);
	EXPECT_EQ(first->components().get<Mapper>()->min(), 0.0);
	EXPECT_EQ(first->components().get<Mapper>()->max(), 5.0);
}

TEST_F(GraphDataControllerTest, LegendLabelsRunAsTheColoursAndAreLeftOutWithoutValues)
{
	auto graph = measured();
	open({graph.get()});
	choose(Edge + "vesselWidth");
	// A range typed in reverse: the table runs from 2 to 5 and so do the labels.
	panel->updateGraphsWithRange(5.0, 2.0);
	EXPECT_EQ(legend(*graph)->overlay()->labels(), (std::vector<std::string>{"2", "3", "4", "5"}));
	const auto* mapper = graph->components().get<Mapper>();
	EXPECT_EQ(mapper->colorFor(2.0), Eigen::Vector4f(mapper->table()));

	// A feature no edge carries a value of.
	auto bare = std::make_unique<Graph>();
	bare->addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {}));
	open({bare.get()});
	choose(Edge + "diameter");
	ASSERT_NE(legend(*bare)->overlay(), nullptr);
	EXPECT_TRUE(legend(*bare)->overlay()->labels().empty());
}

TEST_F(GraphDataControllerTest, ColourMapChoiceIsStoredInTheGraph)
{
	auto graph = measured();
	open({graph.get()});
	panel->colormapCombo()->setCurrentIndex(panel->colormapCombo()->findText("Inferno"));
	EXPECT_EQ(colorMap(*graph).colormap.value(), GlColormap::Preset::Inferno);
}

TEST_F(GraphDataControllerTest, LegendFollowsItsViewAway)
{
	auto graph = measured();
	{
		DisplayWidgetMulti shortLived;
		Legend* created = Legend::getOrCreate(*graph, shortLived.view3D(0)->glView());
		EXPECT_NE(created->overlay(), nullptr);
	}
	EXPECT_EQ(legend(*graph)->overlay(), nullptr);
	legend(*graph)->setVisible(true); // harmless without a view
	GlView* view = display.view3D(0)->glView();
	EXPECT_NE(Legend::getOrCreate(*graph, view)->overlay(), nullptr);
	EXPECT_EQ(view->overlayCount(), 1);
	// And the legend leaves its view with its graph.
	graph.reset();
	EXPECT_EQ(view->overlayCount(), 0);
}

TEST_F(GraphDataControllerTest, ARangeSetByHandStaysUntilTheFeatureChangesOrRescaleIsPressed)
{
	auto graph = measured(1.0, 3.0);
	open({graph.get()});
	choose(Edge + "vesselWidth");
	// Set Range through its dialog (cancelled without a range), noting where the dialog starts.
	std::vector<std::pair<double, double>> offered;
	const auto setRange = [&](std::optional<std::pair<double, double>> range)
	{
		QTimer::singleShot(0, panel.get(),
		                   [&, range]
		                   {
			                   auto* dialog = panel->findChild<detail::RangeInputDialog*>();
			                   offered.emplace_back(dialog->minimumValue(), dialog->maximumValue());
			                   if (range)
				                   dialog->setRange(range->first, range->second);
			                   range ? dialog->accept() : dialog->reject();
		                   });
		panel->setRangeButton()->click();
	};
	setRange(std::pair(2.0, 2.5));
	const std::pair<std::function<void()>, std::pair<double, double>> steps[] = {
	    {[&] { panel->legendButton()->click(); }, {2.0, 2.5}},
	    {[&] { panel->legendButton()->click(); }, {2.0, 2.5}},
	    {[&] { panel->colormapCombo()->setCurrentIndex(panel->colormapCombo()->findText("Jet")); }, {2.0, 2.5}},
	    {[&] { setRange(std::nullopt); }, {2.0, 2.5}},
	    {[&] { choose(Edge + "diameter"); }, {1.0, 4.0}},
	    {[&] { choose(Edge + "vesselWidth"); }, {1.0, 3.0}},
	    {[&] { setRange(std::pair(1.5, 2.0)); }, {1.5, 2.0}},
	    {[&] { panel->rescaleButton()->click(); }, {1.0, 3.0}},
	    {[&] { panel->legendButton()->click(); }, {1.0, 3.0}},
	};
	for (size_t i = 0; i < std::size(steps); ++i)
	{
		SCOPED_TRACE(i);
		steps[i].first();
		const auto* mapper = graph->components().get<Mapper>();
		EXPECT_EQ(std::make_pair(mapper->min(), mapper->max()), steps[i].second);
		const auto& labels = legend(*graph)->overlay()->labels();
		EXPECT_EQ(std::make_pair(labels.front(), labels.back()),
		          std::make_pair(fmt::format("{:.3g}", steps[i].second.first), fmt::format("{:.3g}", steps[i].second.second)));
	}
	EXPECT_EQ(offered, (std::vector<std::pair<double, double>>{{1.0, 3.0}, {2.0, 2.5}, {1.0, 3.0}}));
}

TEST_F(GraphDataControllerTest, TheFeatureListFollowsTheGraphsChanges)
{
	auto graph = measured();
	open({graph.get()});
	choose(Node + "degree");
	// An edit that keeps the features (a node dragged by hand, step by step) leaves the list as it is.
	QSignalSpy refills(panel->featureCombo()->model(), &QAbstractItemModel::rowsInserted);
	graph->signalDataChanged.emitSignal();
	EXPECT_EQ(refills.count(), 0);
	graph->addEdgeFeatureDescriptors({{"length", 0.0}});
	graph->signalDataChanged.emitSignal();
	EXPECT_EQ(itemTexts(panel->featureCombo()),
	          (QStringList{"None", Edge + "diameter", Edge + "length", Edge + "vesselWidth", Node + "degree"}));
	EXPECT_EQ(panel->featureCombo()->currentText(), Node + "degree");
	EXPECT_EQ(colorMap(*graph).nodeFeatureName.value(), std::optional<std::string>("degree"));
}

TEST(FeatureColorMapperTest, ValuesMapToTheTableEndsAndNaNToGrey)
{
	Mapper mapper;
	EXPECT_EQ(mapper.colorFor(0.5), Eigen::Vector4f(1, 0, 1, 1)); // no table yet
	mapper.setColormap(GlColormap::Preset::Grayscale, 256, 0.0, 10.0);
	EXPECT_EQ(mapper.colorFor(-5.0), mapper.colorFor(0.0));
	EXPECT_EQ(mapper.colorFor(50.0), mapper.colorFor(10.0));
	EXPECT_NEAR(mapper.colorFor(5.0)[0], 0.5f, 0.01f);
	EXPECT_EQ(mapper.colorFor(std::nan("")), Eigen::Vector4f(0.5f, 0.5f, 0.5f, 1.f));
	mapper.setColormap(GlColormap::Preset::Jet, 256, 2.0, 2.0);
	EXPECT_EQ(mapper.colorFor(7.0), Eigen::Vector4f(mapper.table()));
}

TEST(FeatureColorMapperTest, MapperMadeOnDemandFollowsTheGraphsOptions)
{
	auto graph = measured(4.0, 8.0);
	auto& options = RenderTest::options(*graph).featureColorMapOptions.value();
	options.colormap.setValue(GlColormap::Preset::HotIron);
	options.edgeFeatureName.setValue(std::string("vesselWidth"));
	const Mapper& mapper = GraphDataController::colorMapper(*graph);
	EXPECT_EQ(std::make_pair(mapper.min(), mapper.max()), std::make_pair(4.0, 8.0));
	EXPECT_EQ(mapper.colorFor(8.0), GlColormap(GlColormap::Preset::HotIron).color(1.0));
}

TEST(RangeInputDialogTest, OffersBothEndsWithinTheLimits)
{
	detail::RangeInputDialog dialog;
	dialog.setRange(-3.5, 2e10);
	EXPECT_EQ(dialog.minimumValue(), -3.5);
	EXPECT_EQ(dialog.maximumValue(), 1e9);
	EXPECT_EQ(dialog.minimumBox()->minimum(), -1e9);
}
