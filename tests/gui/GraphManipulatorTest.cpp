#include "src/gui/GraphManipulator.h"

#include "host/core/Log.h"
#include "host/gui/DataDisplayHandlerFactory.h"
#include "host/gui/DisplayWidgetMulti.h"
#include "host/gui/GlCircle.h"
#include "host/gui/GlSlice.h"
#include "host/gui/GlSliceView.h"
#include "host/gui/View.h"
#include "src/gl/GraphDisplayHandler.h"
#include "src/graph/Graph.h"
#include "src/gui/DeleteNodesInteraction.h"
#include "src/gui/DrawGraphAlgorithm.h"
#include "src/gui/DrawGraphController.h"
#include "src/gui/DrawGraphInteraction.h"
#include "src/gui/MoveNodesInteraction.h"
#include "src/gui/SingleSelection.h"
#include "tests/gui/RenderTestSupport.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QWheelEvent>

#include <cmath>
#include <stdexcept>
#include <utility>

using namespace Quorvale;

namespace
{
	using Interaction = GraphManipulator::Interaction;

	/// A panel editing a graph in a multi-view display, fed with synthesised events in the first slice
	/// view (looking along z: screen x is world x, screen y is world y).
	class GraphEditingTest : public ::testing::TestWithParam<Graph::Dimension>
	{
	protected:
		GraphEditingTest() { view().setViewport(400, 400); }

		/// Opens the panel on `graph` (null: a new graph, computed and taken over with drawing on).
		void open(Graph* edited)
		{
			algorithm = std::make_unique<DrawGraphAlgorithm>(edited);
			panel = std::make_unique<DrawGraphController>(algorithm.get());
			panel->setDisplayWidget(&display);
			panel->init();
			if (!edited)
			{
				algorithm->dimensions = GetParam();
				panel->onCompute();
				output = panel->postprocessOutput(algorithm->takeOutput());
			}
			graph = panel->editedGraph();
		}

		GlView& view() { return *display.view2D(0)->glView(); }

		Eigen::Vector2d at(double x, double y)
		{
			const Eigen::Vector3d w = view().viewState().project(Eigen::Vector3d(x, y, 0.0));
			return w.head<2>();
		}

		bool mouse(QEvent::Type type, const Eigen::Vector2d& p, Qt::MouseButton button = Qt::NoButton)
		{
			QMouseEvent event(type, QPointF(p.x(), p.y()), button, type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button),
			                  Qt::NoModifier);
			return view().sceneEvent(&event);
		}
		bool press(double x, double y, Qt::MouseButton button = Qt::LeftButton) { return mouse(QEvent::MouseButtonPress, at(x, y), button); }
		bool release(double x, double y) { return mouse(QEvent::MouseButtonRelease, at(x, y), Qt::LeftButton); }
		bool move(double x, double y) { return mouse(QEvent::MouseMove, at(x, y)); }
		bool wheel(int delta, Qt::KeyboardModifiers modifiers, const QPointF& p = QPointF(200, 200))
		{
			QWheelEvent event(p, p, QPoint(), QPoint(0, delta), Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
			return view().sceneEvent(&event);
		}
		bool key(int k)
		{
			QKeyEvent event(QEvent::KeyPress, k, Qt::NoModifier);
			return view().sceneEvent(&event);
		}

		std::shared_ptr<Interaction> interaction(const std::string& key) const { return panel->interaction(key); }
		Eigen::Vector2d xy(uint64_t node) const { return graph->node(node).position().head<2>(); }

		/// A graph with nodes at the given (x, y).
		std::unique_ptr<Graph> graphWith(const std::vector<Eigen::Vector2d>& points)
		{
			auto g = std::make_unique<Graph>(Graph::Type::Undirected, GetParam());
			for (const auto& p : points)
				g->addNode(Graph::NodeInfo(Eigen::Vector3d(p.x(), p.y(), 0.0), {}));
			return g;
		}

		DisplayWidgetMulti display;
		std::unique_ptr<DrawGraphAlgorithm> algorithm;
		std::unique_ptr<DrawGraphController> panel;
		OwningDataList output;
		Graph* graph = nullptr;
	};
}

INSTANTIATE_TEST_SUITE_P(Dimensions, GraphEditingTest, ::testing::Values(Graph::Dimension::TwoD, Graph::Dimension::ThreeD),
                         [](const auto& info) { return info.param == Graph::Dimension::TwoD ? "TwoD" : "ThreeD"; });

TEST_P(GraphEditingTest, ANewGraphIsDrawnAsAChainEndedByARightPress)
{
	open(nullptr);
	ASSERT_NE(graph, nullptr);
	EXPECT_EQ(graph->dimension(), GetParam());
	EXPECT_EQ(output.size(), 1);
	EXPECT_TRUE(panel->computeButton()->isHidden());
	EXPECT_EQ(interaction("Draw")->state(), Interaction::Active);

	EXPECT_TRUE(press(0.1, 0.2));
	EXPECT_EQ(graph->numNodes(), 1);
	EXPECT_EQ(graph->numEdges(), 0);

	// The provisional node follows the cursor.
	EXPECT_TRUE(move(0.3, 0.3));
	EXPECT_TRUE(move(0.4, -0.2));
	ASSERT_EQ(graph->numNodes(), 2);
	const auto provisional = std::static_pointer_cast<DrawGraphInteraction>(interaction("Draw"))->provisionalNode();
	ASSERT_TRUE(provisional);
	EXPECT_TRUE(xy(*provisional).isApprox(Eigen::Vector2d(0.4, -0.2), 1e-9));

	EXPECT_TRUE(press(0.4, -0.2));
	EXPECT_TRUE(press(-0.5, -0.5, Qt::RightButton));
	EXPECT_EQ(interaction("Draw")->state(), Interaction::Armed);
	ASSERT_EQ(graph->numNodes(), 3);
	EXPECT_EQ(graph->numEdges(), 2);
	const std::vector<uint64_t> nodes{1, 3, 4};
	const std::vector<Eigen::Vector2d> placed{{0.1, 0.2}, {0.4, -0.2}, {-0.5, -0.5}};
	for (size_t i = 0; i < nodes.size(); ++i)
		EXPECT_TRUE(xy(nodes[i]).isApprox(placed[i], 1e-9)) << i;
	EXPECT_TRUE(graph->edge(1, 3));
	EXPECT_TRUE(graph->edge(3, 4));

	// Once ended, moves add nothing.
	EXPECT_FALSE(move(0.0, 0.0));
	EXPECT_EQ(graph->numNodes(), 3);
}

TEST_P(GraphEditingTest, AMiddlePressOnANodeContinuesFromIt)
{
	auto g = graphWith({{0.0, 0.0}});
	open(g.get());
	EXPECT_EQ(interaction("Draw")->state(), Interaction::Armed);
	EXPECT_FALSE(move(0.0, 0.0));
	EXPECT_TRUE(press(0.0, 0.0, Qt::MiddleButton));
	EXPECT_TRUE(press(0.5, 0.5, Qt::RightButton));
	EXPECT_EQ(graph->numNodes(), 2);
	EXPECT_TRUE(graph->edge(1, 2));
}

TEST_P(GraphEditingTest, ALeftPressOnANodeMovesItAloneElsewhereEveryNodeInTheCircle)
{
	// The second node lies inside the circle but not under the cursor.
	auto g = graphWith({{0.0, 0.0}, {0.3, 0.0}});
	open(g.get());
	EXPECT_FALSE(move(0.0, 0.0));
	EXPECT_TRUE(press(0.0, 0.0));
	EXPECT_EQ(interaction("Move Single")->state(), Interaction::Active);
	EXPECT_EQ(interaction("Move Multiple")->state(), Interaction::Armed);
	EXPECT_TRUE(move(-0.2, 0.4));
	EXPECT_TRUE(release(-0.2, 0.4));
	EXPECT_TRUE(xy(1).isApprox(Eigen::Vector2d(-0.2, 0.4), 1e-9));
	EXPECT_TRUE(xy(2).isApprox(Eigen::Vector2d(0.3, 0.0), 1e-9));

	// Away from both nodes: both move by the cursor's way.
	EXPECT_FALSE(move(0.5, 0.5));
	EXPECT_TRUE(press(0.5, 0.5));
	EXPECT_EQ(interaction("Move Multiple")->state(), Interaction::Active);
	EXPECT_TRUE(move(0.6, 0.3));
	EXPECT_TRUE(release(0.6, 0.3));
	EXPECT_EQ(interaction("Move Multiple")->state(), Interaction::Armed);
	EXPECT_TRUE(xy(1).isApprox(Eigen::Vector2d(-0.1, 0.2), 1e-9));
	EXPECT_TRUE(xy(2).isApprox(Eigen::Vector2d(0.4, -0.2), 1e-9));
}

TEST_P(GraphEditingTest, DeleteRemovesTheNodesInsideTheCircleShownAtAnyZoom)
{
	// Node i lies 20 i - 5 world units right of the cursor's place.
	std::vector<Eigen::Vector2d> points;
	for (int i = 1; i <= 5; ++i)
		points.emplace_back(20.0 * i - 5.0, 0.0);
	auto g = graphWith(points);
	open(g.get());
	auto remove = std::static_pointer_cast<DeleteNodesInteraction>(interaction("Delete Multiple"));
	for (int zoom : {0, 240})
	{
		SCOPED_TRACE(zoom);
		dynamic_cast<GlSliceView&>(view()).wheel(zoom, Qt::ShiftModifier);
		view().setViewport(400, 400);
		EXPECT_FALSE(move(0.0, 0.0));
		ASSERT_TRUE(remove->circle().visible());
		for (const Eigen::Vector3d& p : remove->circle().outline())
			EXPECT_NEAR(p.head<2>().norm(), remove->radius(), 1e-6);
	}
	EXPECT_TRUE(key(Qt::Key_Delete));
	// 15, 35 go; 55, 75, 95 stay (radius 50).
	EXPECT_EQ(graph->numNodes(), 3);
	EXPECT_FALSE(graph->hasNode(1));
	EXPECT_FALSE(graph->hasNode(2));

	// The list follows the last mouse event: far from every node nothing goes.
	EXPECT_FALSE(move(500.0, 500.0));
	EXPECT_TRUE(key(Qt::Key_Delete));
	EXPECT_EQ(graph->numNodes(), 3);
}

TEST_P(GraphEditingTest, ControlWheelThenDeleteRemovesExactlyTheNodesInsideTheCircleShown)
{
	// A 2-D graph over a planar image, a 3-D one over a volume, nodes every 4 world units across it.
	const bool planar = GetParam() == Graph::Dimension::TwoD;
	auto image = RenderTest::image({120, 120, planar ? 1 : 9});
	display.setCurrentImage(image.get());
	std::vector<Eigen::Vector2d> points;
	const Geometry::AlignedBox box = GlSlice::boundsOf(image.get());
	for (double x = box.min().x() + 2.0; x < box.max().x(); x += 4.0)
		for (double y = box.min().y() + 2.0; y < box.max().y(); y += 4.0)
			points.emplace_back(x, y);
	auto g = graphWith(points);
	if (!planar)
		g->editEachNode([](uint64_t id, Graph::NodeInfo& n) { n.position().z() = static_cast<double>(id % 7); });
	open(g.get());
	auto remove = std::static_pointer_cast<DeleteNodesInteraction>(interaction("Delete Multiple"));
	EXPECT_EQ(&remove->circle(), &std::static_pointer_cast<MoveNodesInteraction>(interaction("Move Multiple"))->circle());
	const Eigen::Vector3d centre = box.center();
	// Two zoom levels (world units per pixel), each: place the circle, size it with the wheel, Delete.
	for (const auto& [pixels, steps] : {std::pair{400, -12}, std::pair{120, 5}})
	{
		SCOPED_TRACE(pixels);
		view().setViewport(pixels, pixels);
		const Eigen::Vector2d at = view().viewState().project(centre + Eigen::Vector3d(1.3, -0.7, 0.0)).head<2>();
		EXPECT_FALSE(mouse(QEvent::MouseMove, at));
		for (int i = 0; i < std::abs(steps); ++i)
			EXPECT_TRUE(wheel(steps < 0 ? -120 : 120, Qt::ControlModifier, QPointF(at.x(), at.y())));
		const GlCircle& circle = remove->circle();
		ASSERT_TRUE(circle.visible());
		// Inside: within the radius of the centre in the circle's plane, as the view shows it.
		std::vector<uint64_t> inside, outside;
		graph->forEachNode(
		    [&](uint64_t id, const Graph::NodeInfo& n)
		    {
			    const Eigen::Vector3d d = n.position() - circle.center();
			    const double distance = std::hypot(d.dot(circle.firstAxis()), d.dot(circle.secondAxis()));
			    (distance < circle.radius() ? inside : outside).push_back(id);
		    });
		ASSERT_FALSE(inside.empty());
		EXPECT_TRUE(key(Qt::Key_Delete));
		for (uint64_t id : inside)
			EXPECT_FALSE(graph->hasNode(id)) << id;
		EXPECT_EQ(graph->numNodes(), static_cast<int>(outside.size()));
	}
	display.setCurrentImage(nullptr);
}

TEST_P(GraphEditingTest, ControlWheelStepsTheRadiusWithinItsRange)
{
	auto g = graphWith({{0.0, 0.0}});
	open(g.get());
	auto radius = std::static_pointer_cast<MoveNodesInteraction>(interaction("Move Multiple"));
	EXPECT_TRUE(wheel(120, Qt::ControlModifier));
	EXPECT_NEAR(radius->radius(), 52.97, 1e-9);
	EXPECT_TRUE(wheel(0, Qt::ControlModifier));
	EXPECT_NEAR(radius->radius(), 52.97, 1e-9);
	for (int i = 0; i < 40; ++i)
		EXPECT_TRUE(wheel(-120, Qt::ControlModifier));
	EXPECT_DOUBLE_EQ(radius->radius(), 1.0);
	for (int i = 0; i < 40; ++i)
		EXPECT_TRUE(wheel(120, Qt::ControlModifier));
	EXPECT_DOUBLE_EQ(radius->radius(), 100.0);
	EXPECT_FALSE(wheel(-120, Qt::ControlModifier | Qt::ShiftModifier));
	EXPECT_DOUBLE_EQ(radius->radius(), 100.0);
}

TEST_P(GraphEditingTest, AChainWhoseLastNodeWentStartsAnewAndOutsideChangesEndIt)
{
	open(nullptr);
	EXPECT_TRUE(press(0.0, 0.0));
	graph->removeNode(1);
	EXPECT_TRUE(press(0.5, 0.0));
	EXPECT_EQ(graph->numNodes(), 1);
	EXPECT_EQ(graph->numEdges(), 0);

	// A change from outside (a renumbering) ends the chain; its provisional node is not touched.
	EXPECT_TRUE(move(0.2, 0.2));
	EXPECT_EQ(graph->numNodes(), 2);
	graph->signalDataChanged.emitSignal();
	EXPECT_EQ(interaction("Draw")->state(), Interaction::Armed);
	EXPECT_FALSE(move(0.3, 0.3));
	EXPECT_EQ(graph->numNodes(), 2);
}

TEST_P(GraphEditingTest, EditsByHandRepaintEveryViewAndKeepTheDrawingChain)
{
	DataDisplayHandlerFactory::registerHandler("Quorvale.GraphDisplayHandler", [] { return std::make_unique<GraphDisplayHandler>(); });
	open(nullptr);
	ASSERT_TRUE(display.showData(graph));
	int requests = 0;
	SignalReceiver receiver;
	display.signalUpdateRequested.connect(&receiver, [&requests] { ++requests; });
	const auto repaints = [&requests](bool handled)
	{
		EXPECT_TRUE(handled);
		return std::exchange(requests, 0);
	};
	// Each press and move of the chain repaints every view; the chain goes on.
	EXPECT_EQ(repaints(press(0.0, 0.0)), 1);
	EXPECT_EQ(repaints(move(0.3, 0.3)), 1);
	EXPECT_EQ(repaints(press(0.3, 0.3)), 1);
	EXPECT_EQ(interaction("Draw")->state(), Interaction::Active);
	EXPECT_EQ(repaints(press(0.6, 0.0, Qt::RightButton)), 1);
	EXPECT_EQ(graph->numEdges(), 2);
	// The marker of the node under the cursor shows in every view, and goes with the node.
	const auto& marker = std::dynamic_pointer_cast<SingleSelection>(interaction("Move Single"))->marker();
	EXPECT_FALSE(move(0.0, 0.0));
	EXPECT_GT(std::exchange(requests, 0), 0);
	EXPECT_FALSE(move(0.0, 0.0));
	EXPECT_EQ(std::exchange(requests, 0), 0);
	// Moving one node, then deleting the nodes in the circle.
	EXPECT_EQ(repaints(press(0.0, 0.0)), 1);
	EXPECT_TRUE(release(0.0, 0.0));
	EXPECT_FALSE(move(0.0, 0.0));
	requests = 0;
	EXPECT_EQ(repaints(wheel(-120, Qt::ControlModifier)), 0);
	ASSERT_TRUE(marker.visible());
	EXPECT_EQ(repaints(key(Qt::Key_Delete)), 1);
	EXPECT_TRUE(graph->empty());
	EXPECT_FALSE(marker.visible());
}

TEST_P(GraphEditingTest, TheProvisionalNodeGoesWhenEditingFinishesOrThePanelCloses)
{
	open(nullptr);
	EXPECT_TRUE(press(0.0, 0.0));
	EXPECT_TRUE(move(0.2, 0.2));
	EXPECT_EQ(graph->numNodes(), 2);
	for (Manipulator* manipulator : view().manipulators())
		manipulator->finishEditing();
	EXPECT_EQ(graph->numNodes(), 1);
	EXPECT_EQ(graph->numEdges(), 0);

	interaction("Draw")->setState(Interaction::Active);
	EXPECT_TRUE(move(0.2, 0.2));
	EXPECT_EQ(graph->numNodes(), 2);
	panel.reset();
	EXPECT_EQ(graph->numNodes(), 1);
	EXPECT_TRUE(view().manipulators().empty());
}

TEST_P(GraphEditingTest, DeletingTheGraphClosesTheEditor)
{
	open(nullptr);
	EXPECT_TRUE(press(0.0, 0.0));
	EXPECT_TRUE(move(0.2, 0.2));
	output = OwningDataList();
	EXPECT_EQ(panel->editedGraph(), nullptr);
	EXPECT_EQ(panel->interactiveObject(), nullptr);
	for (GUI::View* v : display.views())
		EXPECT_TRUE(v->glView()->manipulators().empty());
	EXPECT_FALSE(move(0.3, 0.3));
}

TEST(GraphManipulatorTest, ArmedInteractionsAreOfferedInOrderAndActiveOnesTakeEverything)
{
	struct Recorder : Interaction
	{
		Recorder(std::vector<std::string>& log, std::string name, bool consume)
		    : log(log), label(std::move(name)), consume(consume) {}
		bool handleEvent(QEvent*, const GlView&) override
		{
			log.push_back(label);
			if (label == "throws")
				throw std::out_of_range("invalid map<K, T> key");
			return consume;
		}
		std::string name() const override { return label; }
		void hideOverlay() override { log.push_back(label + " hidden"); }
		std::vector<std::string>& log;
		std::string label;
		bool consume;
	};
	std::vector<std::string> log;
	Graph graph;
	GraphManipulator manipulator(graph);
	auto first = std::make_shared<Recorder>(log, "first", false);
	auto second = std::make_shared<Recorder>(log, "second", true);
	auto third = std::make_shared<Recorder>(log, "third", true);
	for (const auto& i : {first, second, third, second})
		manipulator.addInteraction(i);
	EXPECT_EQ(manipulator.interactions().size(), 3u);
	EXPECT_EQ(third->graph(), &graph);

	GlSliceView view(2);
	QKeyEvent event(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
	EXPECT_TRUE(manipulator.sceneEvent(&event, view));
	EXPECT_EQ(log, (std::vector<std::string>{"first", "second"}));

	log.clear();
	third->setState(Interaction::Active);
	EXPECT_TRUE(manipulator.sceneEvent(&event, view));
	EXPECT_EQ(log, (std::vector<std::string>{"third", "first hidden", "second hidden"}));

	// A failing edit is logged and ends nothing else.
	log.clear();
	third->setState(Interaction::Armed);
	manipulator.addInteraction(std::make_shared<Recorder>(log, "throws", false));
	first->setState(Interaction::Off);
	second->setState(Interaction::Off);
	third->setState(Interaction::Off);
	Log::ScopedCapture capture;
	EXPECT_TRUE(manipulator.sceneEvent(&event, view));
	EXPECT_EQ(capture.sink().messages(Log::Error), std::vector<std::string>{"Editing the graph failed: invalid map<K, T> key"});
}
