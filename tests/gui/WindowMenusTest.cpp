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
	/// Holds its GL context until the test opens the gate (or the run is cancelled), then makes an
	/// image twice the size of its input image, or adds a node to its input graph.
	class GatedAlgorithm : public Algorithm
	{
	public:
		static inline std::atomic<bool> gateOpen{false}, waiting{false};

		static bool createCompatible(const DataList& data, Algorithm** out)
		{
			Data* input = data.size() == 1 ? data.get(0) : nullptr;
			const bool taken = dynamic_cast<SharedImageSet*>(input) || dynamic_cast<Graph*>(input);
			if (taken && out)
				*out = new GatedAlgorithm(input);
			return taken;
		}

		explicit GatedAlgorithm(Data* input)
		    : m_input(input)
		{
		}

		void compute() override
		{
			GL::ContextGuard guard;
			reportProgress(0.25, "Waiting");
			for (waiting = true; !gateOpen && !progress()->isCancelled();)
				std::this_thread::sleep_for(std::chrono::milliseconds(1));
			waiting = false;
			if (auto* image = dynamic_cast<SharedImageSet*>(m_input))
				m_output.add(RenderTest::image(2 * image->get()->descriptor().dimensions()));
			else
				static_cast<Graph*>(m_input)->addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {}));
			setStatus(Success);
		}

		OwningDataList takeOutput() override { return std::move(m_output); }

	private:
		Data* m_input;
		OwningDataList m_output;
	};

	struct GatedFactory : AlgorithmFactory
	{
		GatedFactory()
		    : AlgorithmFactory("Test")
		{
			registerAlgorithm<GatedAlgorithm>("Gated", "Test;Gated Run");
		}
	};

	struct GatedPanels : AlgorithmControllerFactory
	{
		GatedPanels()
		    : AlgorithmControllerFactory("Test")
		{
		}
		AlgorithmController* create(Algorithm* a) const override
		{
			return dynamic_cast<GatedAlgorithm*>(a) ? new DefaultAlgorithmController(a, "", false, false) : nullptr;
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
		/// Opens the gated algorithm on row 0, clicks Compute once and waits until the run holds.
		DefaultAlgorithmController* startGated()
		{
			select(0);
			GatedAlgorithm::gateOpen = false;
			menus().action("Test;Gated Run")->trigger();
			auto* panel = dynamic_cast<DefaultAlgorithmController*>(menus().panel());
			QTest::mouseClick(panel->computeButton(), Qt::LeftButton);
			while (menus().isRunning() && !GatedAlgorithm::waiting)
				QCoreApplication::processEvents();
			return panel;
		}
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
	DefaultAlgorithmController* panel = startGated();
	ASSERT_TRUE(menus().isRunning());
	// Compute and every algorithm menu are off; the bar shows the progress reported.
	EXPECT_FALSE(panel->computeButton()->isEnabled());
	for (const char* entry : {"Test;Gated Run", "Graph;Draw or edit Graph"})
		EXPECT_FALSE(menus().action(entry)->isEnabled()) << entry;
	QTest::qWait(100);
	EXPECT_EQ(menus().area()->findChild<QProgressBar*>()->format(), "Waiting %p%");

	// The views draw while the run holds its GL context, and the wheel turns the image shown now.
	GUI::View* axial = window->display()->view2D(0);
	const auto label = [axial] { return static_cast<GlSliceView*>(axial->glView())->label(); };
	EXPECT_FALSE(axial->renderImage().isNull());
	QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
	QApplication::sendEvent(axial, &wheel);
	EXPECT_EQ(label(), "Axial  slice 7 of 8");

	// The result comes as it is: the steps taken meanwhile stay with the image they were taken on.
	GatedAlgorithm::gateOpen = true;
	EXPECT_TRUE(menus().waitForRun());
	EXPECT_NE(window->display()->currentImage(), image);
	EXPECT_EQ(label(), "Axial  slice 9 of 16");
	EXPECT_TRUE(panel->computeButton()->isEnabled());
}

// The graph the window holds stays as the window left it: removed (and another one added, which may
// take its place in memory) or changed by hand meanwhile.
TEST_F(WindowMenusTest, ARunDropsItsChangesToDataRemovedOrChangedMeanwhileAndClosingTheWindowStopsARun)
{
	for (const bool removed : {true, false})
	{
		SCOPED_TRACE(removed);
		Data* graph = model.add(RenderTest::corner());
		startGated();
		if (removed)
		{
			model.remove(graph);
			EXPECT_EQ(menus().panel(), nullptr);
			graph = model.add(RenderTest::corner());
		}
		else
		{
			static_cast<Graph*>(graph)->removeNode(3);
			graph->signalDataChanged.emitSignal();
		}
		const int nodes = static_cast<Graph*>(graph)->numNodes();
		// What the window logs meanwhile is not the run's.
		EXPECT_FALSE(menus().openFile("missing.graphml"));
		GatedAlgorithm::gateOpen = true;
		EXPECT_TRUE(menus().waitForRun());
		EXPECT_EQ(model.getAll().items(), std::vector<Data*>{graph});
		EXPECT_EQ(static_cast<Graph*>(graph)->numNodes(), nodes);
		EXPECT_EQ(window->statusLine()->currentMessage().toStdString(),
		          std::string("Gated Run dropped its changes to 'Graph', ") + (removed ? "removed" : "changed") + " while it ran.");
		model.remove(graph);
	}

	model.add(RenderTest::corner());
	startGated();
	window.reset();
	EXPECT_FALSE(GatedAlgorithm::waiting);
}

TEST_F(WindowMenusTest, EveryRunEndsWithALineOfWhatItMadeChangedOrWrote)
{
	model.add(RenderTest::corner());
	window->showAll();
	QTemporaryDir folder;
	const std::string exported = folder.filePath("corner.graphml").toStdString();
	const std::pair<const char*, std::string> runs[] = {
	    {"Graph;Compute Features", "Compute Features changed graph 'Graph'."},
	    {"Graph;Graph To Label Map", "Graph To Label Map made image set "},
	    {"IO;Graph (graphml)", "Graph (graphml) wrote " + exported + "."},
	};
	for (const auto& [menu, status] : runs)
	{
		SCOPED_TRACE(menu);
		select(0);
		menus().action(menu)->trigger();
		if (auto* io = dynamic_cast<IoAlgorithm*>(menus().algorithm()))
			io->setLocation(exported);
		ASSERT_TRUE(menus().compute());
		EXPECT_TRUE(menus().waitForRun()) << menus().message();
		EXPECT_TRUE(window->statusLine()->currentMessage().startsWith(QString::fromStdString(status)));
		// The log ends with the line, which the status line shows first.
		EXPECT_TRUE(window->statusLine()->currentMessage().startsWith(window->logPanel()->toPlainText().split('\n').back()));
	}
	// The graph changed in place kept its row, text, tick and selection, and its panel lists the new feature.
	const QListWidgetItem* item = window->dataList()->item(0);
	EXPECT_EQ(std::make_tuple(item->text(), item->checkState(), item->isSelected()), std::make_tuple(QString("Graph"), Qt::Checked, true));
	auto* panel = dynamic_cast<GraphDataController*>(window->dataPanel());
	ASSERT_NE(panel, nullptr);
	EXPECT_NE(panel->featureCombo()->findText(QString::fromUtf8("\u2015  length")), -1);
}

TEST_F(WindowMenusTest, AMissingLabelMapIsNamedWithHowToSelectItAndOneClickRunsOnTheNewSelection)
{
	model.add(RenderTest::corner());
	model.add(RenderTest::image({16, 16, 16}))->setName("labels");
	window->resize(1200, 800);
	window->show();
	select(0);
	menus().action("Graph;Compute Features")->trigger();
	Properties vesselDiameter;
	vesselDiameter.setParam("mode", 4);
	menus().algorithm()->configure(vesselDiameter);
	QTest::mouseClick(dynamic_cast<DefaultAlgorithmController*>(menus().panel())->computeButton(), Qt::LeftButton);
	EXPECT_FALSE(menus().waitForRun());
	EXPECT_NE(menus().message().find("Label not set. (mode=VesselDiameter"), std::string::npos) << menus().message();
	EXPECT_NE(menus().message().find("with Ctrl+click"), std::string::npos) << menus().message();

	// Ctrl+click on the label image: the panel follows, with its settings, and one click runs it.
	const QRect row = window->dataList()->visualItemRect(window->dataList()->item(1));
	QTest::mouseClick(window->dataList()->viewport(), Qt::LeftButton, Qt::ControlModifier, row.center());
	ASSERT_EQ(window->selectedData().size(), 2u);
	QTest::mouseClick(dynamic_cast<DefaultAlgorithmController*>(menus().panel())->computeButton(), Qt::LeftButton);
	EXPECT_TRUE(menus().isRunning());
	menus().waitForRun();
	EXPECT_EQ(menus().message().find("Label not set."), std::string::npos) << menus().message();
}
