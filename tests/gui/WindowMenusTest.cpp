#include "app/WindowMenus.h"

#include "app/DataFiles.h"
#include "app/ViewWindow.h"
#include "host/core/Progress.h"
#include "host/gl/ContextGuard.h"
#include "host/gui/DataDisplayHandlerFactory.h"
#include "host/gui/DefaultAlgorithmController.h"
#include "host/gui/DisplayWidgetMulti.h"
#include "host/gui/GlSliceView.h"
#include "host/gui/GlView.h"
#include "host/gui/View.h"
#include "host/lib/AlgorithmControllerFactory.h"
#include "host/lib/AlgorithmFactory.h"
#include "host/lib/DataModel.h"
#include "host/core/Properties.h"
#include "host/lib/Algorithm.h"
#include "host/lib/FactoryRegistry.h"
#include "host/lib/IoAlgorithm.h"
#include "host/lib/QuorvaleFile.h"
#include "src/gl/GraphDisplayHandler.h"
#include "src/graph/Graph.h"
#include "src/gui/GraphDataController.h"
#include "src/io/GraphQuorvaleFilePlugin.h"
#include "src/plugin/GraphDataAnnotationFactory.h"
#include "src/plugin/GraphPluginControllerFactory.h"
#include "src/plugin/GraphPluginFactory.h"
#include "synthetic/GraphGeometry.h"
#include "synthetic/VesselTree.h"
#include "tests/gui/RenderTestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <atomic>
#include <thread>

using namespace Quorvale;

namespace
{
	/// Holds its GL context and waits until the test opens the gate (or the run is cancelled), then
	/// makes an image twice the size of its input image, or adds a node to its input graph.
	class GatedAlgorithm : public Algorithm
	{
	public:
		static inline std::atomic<bool> gateOpen{false};
		static inline std::atomic<bool> waiting{false};

		static bool createCompatible(const DataList& data, Algorithm** out)
		{
			auto* image = data.size() == 1 ? dynamic_cast<SharedImageSet*>(data.get(0)) : nullptr;
			auto* graph = data.size() == 1 ? dynamic_cast<Graph*>(data.get(0)) : nullptr;
			if ((image || graph) && out)
				*out = new GatedAlgorithm(image, graph);
			return image || graph;
		}

		GatedAlgorithm(SharedImageSet* image, Graph* graph)
		    : m_image(image)
		    , m_graph(graph)
		{
		}

		void compute() override
		{
			GL::ContextGuard guard;
			reportProgress(0.25, "Waiting");
			waiting = true;
			while (!gateOpen && !progress()->isCancelled())
				std::this_thread::sleep_for(std::chrono::milliseconds(1));
			waiting = false;
			if (m_image)
				m_output = RenderTest::image(2 * m_image->get()->descriptor().dimensions());
			else
				m_graph->addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {}));
			setStatus(Success);
		}

		OwningDataList takeOutput() override
		{
			OwningDataList list;
			list.add(std::move(m_output));
			return list;
		}

	private:
		SharedImageSet* m_image;
		Graph* m_graph;
		std::unique_ptr<SharedImageSet> m_output;
	};

	class GatedFactory : public AlgorithmFactory
	{
	public:
		GatedFactory()
		    : AlgorithmFactory("Test")
		{
			registerAlgorithm<GatedAlgorithm>("Gated", "Test;Gated Run");
		}
	};

	class GatedPanels : public AlgorithmControllerFactory
	{
	public:
		GatedPanels()
		    : AlgorithmControllerFactory("Test")
		{
		}
		AlgorithmController* create(Algorithm* algorithm) const override
		{
			return dynamic_cast<GatedAlgorithm*>(algorithm) ? new DefaultAlgorithmController(algorithm, "", false, false) : nullptr;
		}
	};

	class WindowMenusTest : public ::testing::Test
	{
	protected:
		WindowMenusTest()
		{
			static const bool registered = []
			{
				FactoryRegistry::get().registerFactories(std::make_unique<GatedFactory>(), std::make_unique<GatedPanels>(), nullptr);
				// Runs copy their graphs through the plug-in's annotation factory and tell changes by the stored form.
				FactoryRegistry::get().registerFactories(std::make_unique<GraphPluginFactory>(), std::make_unique<GraphPluginControllerFactory>(),
				                                         std::make_unique<GraphDataAnnotationFactory>());
				QuorvaleFile::addPlugin(std::make_unique<GraphQuorvaleFilePlugin>(GraphQuorvaleFilePlugin::kBlockType));
				// Ticks say what is shown: graphs are shown through their display handler.
				return DataDisplayHandlerFactory::registerHandler("Quorvale.GraphDisplayHandler",
				                                                  [] { return std::make_unique<GraphDisplayHandler>(); });
			}();
			EXPECT_TRUE(registered);
			window = std::make_unique<ViewWindow>(model);
		}

		WindowMenus& menus() { return *window->menus(); }
		void select(int row)
		{
			window->dataList()->clearSelection();
			if (row >= 0)
				window->dataList()->item(row)->setSelected(true);
		}

		DataModel model;
		std::unique_ptr<ViewWindow> window;
	};
}

TEST_F(WindowMenusTest, PartitionGraphsRunsFromItsMenuOnALoadedGraph)
{
	// Two components: a chain of three nodes and a single node.
	Graph graph;
	for (int i = 0; i < 4; ++i)
		graph.addNode(Graph::NodeInfo(Eigen::Vector3d(i, 0, 0), {}));
	graph.addEdge(1, 2, Graph::EdgeInfo());
	graph.addEdge(2, 3, Graph::EdgeInfo());
	QTemporaryDir folder;
	const std::string path = folder.filePath("parts.graphml").toStdString();
	DataFiles::save(graph, path);
	ASSERT_TRUE(menus().openFile(path)) << menus().message();
	ASSERT_EQ(window->dataList()->count(), 1);
	EXPECT_EQ(window->dataList()->item(0)->checkState(), Qt::Checked);

	// Menus nest at every ";"; entries follow the selection.
	QAction* partition = menus().action("Graph;Partition Graphs");
	ASSERT_NE(partition, nullptr);
	EXPECT_NE(menus().action("IO;Graph (graphml)"), nullptr);
	select(-1);
	EXPECT_FALSE(partition->isEnabled());
	EXPECT_TRUE(menus().action("Graph;Draw or edit Graph")->isEnabled());
	select(0);
	EXPECT_TRUE(partition->isEnabled());

	partition->trigger();
	auto* panel = dynamic_cast<DefaultAlgorithmController*>(menus().panel());
	ASSERT_NE(panel, nullptr) << menus().message();
	QTest::mouseClick(panel->computeButton(), Qt::LeftButton);
	EXPECT_TRUE(menus().waitForRun());
	EXPECT_EQ(menus().message(), "");
	ASSERT_EQ(window->dataList()->count(), 3);
	for (int row : {1, 2})
		EXPECT_EQ(window->dataList()->item(row)->checkState(), Qt::Checked);
	EXPECT_EQ(static_cast<Graph*>(model.getAll().items()[1])->numNodes(), 3);

	// The panel closes with its input.
	model.remove(model.getAll().items()[0]);
	EXPECT_EQ(menus().panel(), nullptr);
}

TEST_F(WindowMenusTest, DrawingANewGraphInstallsItsEditorAndSavingDropsTheProvisionalNode)
{
	select(-1);
	menus().action("Graph;Draw or edit Graph")->trigger();
	auto* panel = dynamic_cast<DefaultAlgorithmController*>(menus().panel());
	ASSERT_NE(panel, nullptr);
	QTest::mouseClick(panel->computeButton(), Qt::LeftButton);
	EXPECT_TRUE(menus().waitForRun());
	ASSERT_EQ(window->dataList()->count(), 1);
	EXPECT_TRUE(panel->computeButton()->isHidden());
	auto* graph = static_cast<Graph*>(model.getAll().items()[0]);

	GlView& view = *window->display()->view2D(0)->glView();
	ASSERT_EQ(view.manipulators().size(), 1u);
	view.setViewport(200, 200);
	for (auto [type, x] : {std::pair{QEvent::MouseButtonPress, 50.0}, {QEvent::MouseMove, 150.0}})
	{
		QMouseEvent event(type, QPointF(x, 100), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
		EXPECT_TRUE(view.sceneEvent(&event));
	}
	EXPECT_EQ(graph->numNodes(), 2);

	select(0);
	QTemporaryDir folder;
	ASSERT_TRUE(menus().saveSelection(folder.filePath("drawn.graphml").toStdString())) << menus().message();
	EXPECT_EQ(graph->numNodes(), 1);
	EXPECT_FALSE(menus().saveSelection(folder.filePath("drawn.unknown").toStdString()));
	EXPECT_NE(menus().message(), "");
}

TEST_F(WindowMenusTest, EveryRecordOfARunIsInTheLogPanelAndItsProblemsInTheStatusLine)
{
	for (Graph::Type type : {Graph::Type::Undirected, Graph::Type::Directed})
	{
		auto graph = std::make_unique<Graph>(type);
		graph->addEdge(graph->addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {})), graph->addNode(Graph::NodeInfo(Eigen::Vector3d::UnitX(), {})),
		               Graph::EdgeInfo());
		model.add(std::move(graph));
	}
	struct Run
	{
		const char* menu;
		int row;                         ///< the graph: 0 undirected, 1 directed
		std::vector<std::string> logged; ///< lines the log panel gains
		std::string status;
	};
	const Run runs[] = {
	    // The spanning tree's own error says why it failed; the last error alone would not.
	    {"Graph;Minimum Spanning Tree", 0,
	     {"[info] Mode: UserDefined.", "[error] Edge feature '' not found.", "[error] Failed to build MST keys.",
	      "'Minimum Spanning Tree' failed (status 3): Edge feature '' not found. Failed to build MST keys."},
	     "'Minimum Spanning Tree' failed (status 3): Edge feature '' not found. Failed to build MST keys."},
	    // A run that succeeds with a warning.
	    {"Graph;Partition Graphs", 1,
	     {"[warning] Directed Graph. Computing weakly connected components.", "Partition Graphs made graph 'Graph 3'."},
	     "Partition Graphs made graph 'Graph 3'.  [warning] Directed Graph. Computing weakly connected components."},
	};
	Properties userDefined;
	userDefined.setParam("weightMode", 3);
	QStringList expected;
	for (const Run& run : runs)
	{
		SCOPED_TRACE(run.menu);
		select(run.row);
		menus().action(run.menu)->trigger();
		ASSERT_NE(menus().algorithm(), nullptr) << menus().message();
		menus().algorithm()->configure(userDefined);
		menus().compute();
		menus().waitForRun();
		for (const std::string& line : run.logged)
			expected << QString::fromStdString(line);
		EXPECT_EQ(window->logPanel()->toPlainText().split('\n'), expected);
		EXPECT_EQ(window->statusLine()->currentMessage().toStdString(), run.status);
	}
}

TEST_F(WindowMenusTest, ComputeRunsApartFromTheWindowWhichKeepsDrawingAndTakingInputOnTheCurrentData)
{
	SharedImageSet* image = static_cast<SharedImageSet*>(model.add(RenderTest::image({8, 8, 8})));
	window->showAll();
	select(0);
	GatedAlgorithm::gateOpen = false;
	menus().action("Test;Gated Run")->trigger();
	auto* panel = dynamic_cast<DefaultAlgorithmController*>(menus().panel());
	ASSERT_NE(panel, nullptr);
	QTest::mouseClick(panel->computeButton(), Qt::LeftButton);
	ASSERT_TRUE(menus().isRunning());
	while (!GatedAlgorithm::waiting)
		QCoreApplication::processEvents();

	// Compute and every algorithm menu are off; the bar shows the progress reported.
	EXPECT_FALSE(panel->computeButton()->isEnabled());
	for (const char* entry : {"Test;Gated Run", "Graph;Partition Graphs", "Graph;Draw or edit Graph"})
		EXPECT_FALSE(menus().action(entry)->isEnabled()) << entry;
	const auto* bar = menus().area()->findChild<QProgressBar*>();
	QTest::qWait(3 * 40);
	EXPECT_FALSE(bar->isHidden());
	EXPECT_EQ(bar->value(), 25);
	EXPECT_EQ(bar->format(), "Waiting %p%");

	// The views draw while the run holds its GL context, and the wheel turns the image shown now.
	GUI::View* axial = window->display()->view2D(0);
	axial->resize(200, 200);
	EXPECT_FALSE(axial->renderImage().isNull());
	EXPECT_EQ(static_cast<GlSliceView*>(axial->glView())->label(), "Axial  slice 5 of 8");
	for (int notch = 0; notch < 2; ++notch)
	{
		QWheelEvent wheel(QPointF(100, 100), axial->mapToGlobal(QPoint(100, 100)), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
		                  Qt::NoScrollPhase, false);
		QApplication::sendEvent(axial, &wheel);
	}
	EXPECT_EQ(static_cast<GlSliceView*>(axial->glView())->label(), "Axial  slice 7 of 8");

	// The result comes as it is: the steps taken meanwhile stay with the image they were taken on.
	GatedAlgorithm::gateOpen = true;
	EXPECT_TRUE(menus().waitForRun());
	EXPECT_NE(window->display()->currentImage(), image);
	EXPECT_EQ(static_cast<GlSliceView*>(axial->glView())->label(), "Axial  slice 9 of 16");
	EXPECT_TRUE(panel->computeButton()->isEnabled());
	EXPECT_TRUE(menus().action("Test;Gated Run")->isEnabled());
}

TEST_F(WindowMenusTest, ClosingTheWindowStopsARunThatListens)
{
	model.add(RenderTest::image({4, 4, 4}));
	select(0);
	GatedAlgorithm::gateOpen = false;
	menus().action("Test;Gated Run")->trigger();
	ASSERT_TRUE(menus().compute());
	window.reset();
	EXPECT_FALSE(GatedAlgorithm::waiting);
}

TEST_F(WindowMenusTest, EveryRunEndsWithALineOfWhatItMadeChangedOrWrote)
{
	model.add(RenderTest::corner());
	window->showAll();
	QTemporaryDir folder;
	const std::string exported = folder.filePath("corner.graphml").toStdString();
	struct Run
	{
		const char* menu;
		std::function<void(Algorithm&)> set;
		std::string status;
	};
	const Run runs[] = {
	    {"Graph;Compute Features", [](Algorithm&) {}, "Compute Features changed graph 'Graph'."},
	    {"Graph;Graph To Label Map", [](Algorithm&) {}, "Graph To Label Map made image set "},
	    {"IO;Graph (graphml)", [&](Algorithm& a) { static_cast<IoAlgorithm&>(a).setLocation(exported); },
	     "Graph (graphml) wrote " + exported + "."},
	};
	for (const Run& run : runs)
	{
		SCOPED_TRACE(run.menu);
		select(0);
		menus().action(run.menu)->trigger();
		ASSERT_NE(menus().algorithm(), nullptr) << menus().message();
		run.set(*menus().algorithm());
		ASSERT_TRUE(menus().compute());
		EXPECT_TRUE(menus().waitForRun()) << menus().message();
		EXPECT_EQ(window->statusLine()->currentMessage().toStdString().substr(0, run.status.size()), run.status);
		// The log ends with the line, which the status line shows first.
		EXPECT_TRUE(window->statusLine()->currentMessage().startsWith(window->logPanel()->toPlainText().split('\n').back()));
	}

	// The graph changed in place kept its row, text, tick and selection, and its panel lists the new feature.
	EXPECT_EQ(window->dataList()->item(0)->text(), "Graph");
	EXPECT_EQ(window->dataList()->item(0)->checkState(), Qt::Checked);
	EXPECT_TRUE(window->dataList()->item(0)->isSelected());
	auto* graph = static_cast<Graph*>(model.getAll().items()[0]);
	EXPECT_TRUE(graph->getEdgeFeatureIdx("length").has_value());
	auto* panel = dynamic_cast<GraphDataController*>(window->dataPanel());
	ASSERT_NE(panel, nullptr);
	EXPECT_NE(panel->featureCombo()->findText(QString::fromUtf8("\u2015  length")), -1);
}

TEST_F(WindowMenusTest, AMissingLabelMapIsNamedWithHowToSelectItAndOneClickRunsOnTheNewSelection)
{
	SyntheticVessels::TreeSettings settings;
	settings.dimensions = Eigen::Vector3i::Constant(32);
	settings.loops = 0;
	settings.spurs = 0;
	SyntheticVessels::VesselTree tree = SyntheticVessels::createVesselTree(settings);
	model.add(std::make_unique<Graph>(SyntheticVessels::centerlineGraph(tree)));
	model.add(std::move(tree.labels));
	window->showAll();
	window->resize(1200, 800);
	window->show();
	select(0);
	menus().action("Graph;Compute Features")->trigger();
	Properties vesselDiameter;
	vesselDiameter.setParam("mode", 4);
	menus().algorithm()->configure(vesselDiameter);
	auto* panel = dynamic_cast<DefaultAlgorithmController*>(menus().panel());
	ASSERT_NE(panel, nullptr);
	QTest::mouseClick(panel->computeButton(), Qt::LeftButton);
	EXPECT_FALSE(menus().waitForRun());
	EXPECT_NE(menus().message().find("Label not set."), std::string::npos) << menus().message();
	EXPECT_NE(menus().message().find("with Ctrl+click"), std::string::npos) << menus().message();

	// Ctrl+click on the label image: the panel follows, with its settings, and one click runs it.
	const QRect row = window->dataList()->visualItemRect(window->dataList()->item(1));
	QTest::mouseClick(window->dataList()->viewport(), Qt::LeftButton, Qt::ControlModifier, row.center());
	ASSERT_EQ(window->selectedData().size(), 2u);
	panel = dynamic_cast<DefaultAlgorithmController*>(menus().panel());
	ASSERT_NE(panel, nullptr);
	QTest::mouseClick(panel->computeButton(), Qt::LeftButton);
	EXPECT_TRUE(menus().isRunning());
	EXPECT_TRUE(menus().waitForRun()) << menus().message();
	EXPECT_TRUE(window->statusLine()->currentMessage().startsWith("Compute Features ")) << menus().message();
}

TEST_F(WindowMenusTest, DataRemovedWhileARunChangesItLeavesNothingBehind)
{
	Data* graph = model.add(RenderTest::corner());
	select(0);
	GatedAlgorithm::gateOpen = false;
	menus().action("Test;Gated Run")->trigger();
	ASSERT_TRUE(menus().compute());
	while (!GatedAlgorithm::waiting)
		QCoreApplication::processEvents();
	// The data goes while the run works on its copy; so does the panel opened on it.
	model.remove(graph);
	EXPECT_EQ(menus().panel(), nullptr);
	GatedAlgorithm::gateOpen = true;
	EXPECT_TRUE(menus().waitForRun());
	EXPECT_EQ(model.size(), 0);
	EXPECT_EQ(window->statusLine()->currentMessage(),
	          "Gated Run dropped its changes to 'Graph', removed while it ran.");
}
