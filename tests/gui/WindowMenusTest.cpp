#include "app/WindowMenus.h"

#include "app/DataFiles.h"
#include "app/ViewWindow.h"
#include "host/gui/DataDisplayHandlerFactory.h"
#include "host/gui/DefaultAlgorithmController.h"
#include "host/gui/DisplayWidgetMulti.h"
#include "host/gui/GlView.h"
#include "host/gui/View.h"
#include "host/lib/DataModel.h"
#include "host/core/Properties.h"
#include "host/lib/Algorithm.h"
#include "host/lib/FactoryRegistry.h"
#include "src/gl/GraphDisplayHandler.h"
#include "src/graph/Graph.h"
#include "src/plugin/GraphPluginControllerFactory.h"
#include "src/plugin/GraphPluginFactory.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

using namespace Quorvale;

namespace
{
	class WindowMenusTest : public ::testing::Test
	{
	protected:
		WindowMenusTest()
		{
			static const bool registered = []
			{
				FactoryRegistry::get().registerFactories(std::make_unique<GraphPluginFactory>(), std::make_unique<GraphPluginControllerFactory>(),
				                                         nullptr);
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
	     {"[info] Mode: UserDefined.", "[error] Edge feature '' not found.", "[error] Failed to build MST keys."},
	     "[error] Edge feature '' not found.  [error] Failed to build MST keys."},
	    // A run that succeeds with a warning.
	    {"Graph;Partition Graphs", 1,
	     {"[warning] Directed Graph. Computing weakly connected components."},
	     "[warning] Directed Graph. Computing weakly connected components."},
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
		for (const std::string& line : run.logged)
			expected << QString::fromStdString(line);
		EXPECT_EQ(window->logPanel()->toPlainText().split('\n'), expected);
		EXPECT_EQ(window->statusLine()->currentMessage().toStdString(), run.status);
	}
}
