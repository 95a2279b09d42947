#include "src/gl/GlGraph.h"

#include "host/gui/GlSliceView.h"
#include "host/gui/GlVolumeView.h"
#include "src/gui/GraphDataController.h"
#include "src/graph/GraphUtils.h"
#include "tests/gui/RenderTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

using namespace Quorvale;
using namespace RenderTest;
using ScalingMode = GlGraph::DisplayOptions::FeatureCircleOptions::ScalingMode;

namespace
{
	/// An axial slice view without image (it cuts through the 3-D scene) showing the corner graph.
	class GlGraphRenderTest : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			graph = corner();
			gl = std::make_unique<GlGraph>(graph.get());
			view.addObject(gl.get());
		}
		void TearDown() override { view.removeObject(gl.get()); }

		GlGraph::DisplayOptions::GeneralOptions& general() { return options(*graph).generalOptions.value(); }
		GlGraph::DisplayOptions::FeatureCircleOptions& circles() { return options(*graph).featureCircleOptions.value(); }
		GlGraph::DisplayOptions::FeatureColorMapOptions& colorMap() { return options(*graph).featureColorMapOptions.value(); }

		std::unique_ptr<Graph> graph;
		std::unique_ptr<GlGraph> gl;
		GlSliceView view{2};
	};
}

TEST_F(GlGraphRenderTest, PointsTakeThePointColourOrTheNodesOwnColour)
{
	QUORVALE_OPEN_GL_GUARD(guard);
	general().drawLines.setValue(false);
	graph->nodeAttributes(3).setParam("color", Eigen::Vector4d(0, 1, 0, 1));
	const Frame frame = render(view);
	EXPECT_TRUE(near(frame.at({0, 0, 0}), Red));
	EXPECT_TRUE(near(frame.at({10, 10, 0}), Green));
	// B has two neighbours: an interior node of the chain is not drawn.
	EXPECT_TRUE(near(frame.at({10, 0, 0}), Black));
	general().onlyDrawNontrivialNodes.setValue(false);
	EXPECT_TRUE(near(render(view).at({10, 0, 0}), Red));
}

TEST_F(GlGraphRenderTest, LinesTakeTheLineColourOrAFeatureColour)
{
	QUORVALE_OPEN_GL_GUARD(guard);
	general().drawPoints.setValue(false);
	EXPECT_TRUE(near(render(view).at({5, 0, 0}), Blue));

	// A node feature gives a gradient from one end's colour to the other's.
	graph->addNodeFeatureDescriptors({{"height", 0.0}});
	graph->editNode(1, [](Graph::NodeInfo& n) { n.features()[0] = 0.0; });
	graph->editNode(2, [](Graph::NodeInfo& n) { n.features()[0] = 1.0; });
	graph->editNode(3, [](Graph::NodeInfo& n) { n.features()[0] = 1.0; });
	colorMap().nodeFeatureName.setValue(std::string("height"));
	auto& mapper = GraphDataController::colorMapper(*graph);
	mapper.setColormap(GlColormap::Preset::Jet, 256, 0.0, 1.0);
	const Frame gradient = render(view);
	EXPECT_TRUE(near(gradient.at({0.2, 0, 0}), mapper.colorFor(0.02), 30));
	EXPECT_TRUE(near(gradient.at({9.8, 0, 0}), mapper.colorFor(0.98), 30));

	// The edge feature wins over the node feature.
	colorMap().edgeFeatureName.setValue(std::string("diameter"));
	mapper.setColormap(GlColormap::Preset::Jet, 256, 1.0, 4.0);
	const Frame byEdge = render(view);
	EXPECT_TRUE(near(byEdge.at({0.5, 0, 0}), mapper.colorFor(4.0)));
	EXPECT_TRUE(near(byEdge.at({10, 5, 0}), mapper.colorFor(1.0)));
}

struct CircleCase
{
	ScalingMode mode;
	double radius; ///< of the circle around B-C (diameter 1; the largest diameter is 4)
};

class GlGraphCircleTest : public GlGraphRenderTest, public ::testing::WithParamInterface<CircleCase>
{
};

TEST_P(GlGraphCircleTest, CircleHasTheRadiusOfItsScalingMode)
{
	QUORVALE_OPEN_GL_GUARD(guard);
	general().drawLines.setValue(false);
	general().drawPoints.setValue(false);
	circles().featureName.setValue(std::string("diameter"));
	circles().scalingMode.setValue(GetParam().mode);
	const Frame frame = render(view);
	// B-C runs along y: its circle stands in the x-z plane and shows as a segment along x through (10, 5).
	const double r = GetParam().radius;
	EXPECT_TRUE(near(frame.at({10 - 0.85 * r, 5, 0}), Green, 60)) << r;
	EXPECT_TRUE(near(frame.at({10 - 1.25 * r, 5, 0}), Black)) << r;
}

INSTANTIATE_TEST_SUITE_P(Modes, GlGraphCircleTest,
                         ::testing::Values(CircleCase{ScalingMode::Raw, 0.5}, CircleCase{ScalingMode::RescaledMax, 0.25},
                                           CircleCase{ScalingMode::Logarithmic, std::log1p(1.0) / std::log1p(4.0)}));

TEST_F(GlGraphRenderTest, LabelStandsBesideItsCircle)
{
	QUORVALE_OPEN_GL_GUARD(guard);
	general().drawLines.setValue(false);
	general().drawPoints.setValue(false);
	circles().featureName.setValue(std::string("diameter"));
	circles().showLabels.setValue(true);
	circles().unitSuffix.setValue("mm");
	const Frame frame = render(view);
	// The label of B-C ("1 mm") starts a few pixels right of and above the end of the circle's first axis.
	std::vector<Eigen::Matrix4d> transforms;
	GlGraph::buildFeatureCircles(*graph, transforms, nullptr);
	const Eigen::Vector3d anchor = transforms[1].block<3, 1>(0, 3) + transforms[1].block<3, 1>(0, 0);
	int white = 0;
	for (int dx = 4; dx < 40; ++dx)
		for (int dy = 4; dy < 20; ++dy)
			white += frame.at(anchor, dx, dy).lightness() > 150 ? 1 : 0;
	EXPECT_GT(white, 10);
	EXPECT_LT(frame.at(anchor, -20, -20).lightness(), 30);
}

TEST(GlGraphViewKindTest, PlanarGraphAppearsOnlyInPlanarViews)
{
	QUORVALE_OPEN_GL_GUARD(guard);
	auto planarImage = image({40, 40, 1});
	auto planar = corner(Graph::Dimension::TwoD);
	auto volume = corner();
	for (Graph* g : {planar.get(), volume.get()})
		options(*g).generalOptions->drawPoints.setValue(false);
	GlGraph planarGl(planar.get()), volumeGl(volume.get());

	GlSliceView slice(2);
	slice.setImage(planarImage.get());
	ASSERT_EQ(slice.kind(), GlView::Planar);
	GlVolumeView volumeView;
	for (GlView* v : std::initializer_list<GlView*>{&slice, &volumeView})
	{
		const bool planarView = v == &slice;
		for (GlGraph* object : {&planarGl, &volumeGl})
		{
			const bool planarGraph = object == &planarGl;
			v->addObject(object);
			const bool drawn = count(render(*v).image, Blue) > 50;
			EXPECT_EQ(drawn, planarView == planarGraph) << "planar view " << planarView << ", planar graph " << planarGraph;
			v->removeObject(object);
		}
	}
	// A 3-D graph may be let into planar views.
	volumeGl.setShowInPlanarViews(true);
	slice.addObject(&volumeGl);
	EXPECT_GT(count(render(slice).image, Blue), 50);
	slice.removeObject(&volumeGl);
}

TEST_F(GlGraphRenderTest, NothingIsDrawnAfterTheGraphIsDeleted)
{
	QUORVALE_OPEN_GL_GUARD(guard);
	ASSERT_GT(count(render(view).image, Blue), 50);
	graph.reset();
	EXPECT_EQ(gl->graph(), nullptr);
	EXPECT_TRUE(gl->bounds().isEmpty());
	EXPECT_EQ(count(render(view).image, Blue), 0);
}

TEST_F(GlGraphRenderTest, TheRendererFollowsItsGraphAsItsOwnSignalReceiver)
{
	Eigen::Matrix4d moved = Eigen::Matrix4d::Identity();
	moved(0, 3) = 5.0;
	graph->setMatrixToWorld(moved);
	EXPECT_EQ(gl->matrix(), moved);
	// The connections are the receiver base's: without them the renderer no longer follows.
	static_cast<SignalReceiver&>(*gl).disconnectAll();
	graph->setMatrixToWorld(Eigen::Matrix4d::Identity());
	EXPECT_EQ(gl->matrix(), moved);
}

// Geometry without GL ---------------------------------------------------------------------------

TEST(GlGraphGeometryTest, ChainInteriorNodesHaveExactlyTwoOtherNeighbours)
{
	auto graph = corner();
	EXPECT_FALSE(GlGraph::isChainInteriorNode(1, *graph));
	EXPECT_TRUE(GlGraph::isChainInteriorNode(2, *graph));
	graph->addEdge(2, 2, Graph::EdgeInfo({1.0}));
	EXPECT_TRUE(GlGraph::isChainInteriorNode(2, *graph));
	graph->addEdge(2, graph->addNode(Graph::NodeInfo(Eigen::Vector3d(20, 0, 0), {})), Graph::EdgeInfo({1.0}));
	EXPECT_FALSE(GlGraph::isChainInteriorNode(2, *graph));
}

TEST(GlGraphGeometryTest, UnknownEdgeFeatureGivesTheLineColourEvenWithANodeFeature)
{
	auto graph = corner(Graph::Dimension::TwoD);
	graph->addNodeFeatureDescriptors({{"height", 0.5}});
	auto& colorMap = options(*graph).featureColorMapOptions.value();
	colorMap.edgeFeatureName.setValue(std::string("missing"));
	colorMap.nodeFeatureName.setValue(std::string("height"));
	const auto lines = GlGraph::buildLineVertices(*graph, Eigen::Vector3d::UnitZ());
	ASSERT_EQ(lines.colors.size(), 4u);
	for (const auto& c : lines.colors)
		EXPECT_EQ(c, Blue);
}

TEST(GlGraphGeometryTest, ArrowsOnlyOnDirectedGraphsAndNotFlattened)
{
	auto undirected = corner(Graph::Dimension::TwoD);
	options(*undirected).generalOptions->drawDirectionOnLines.setValue(true);
	EXPECT_EQ(GlGraph::buildLineVertices(*undirected, Eigen::Vector3d::UnitZ()).positions.size(), 4u);
	auto graph = corner(Graph::Dimension::TwoD, Graph::Type::Directed);
	graph->editNode(3, [](Graph::NodeInfo& n) { n.position().z() = 3.0; });
	options(*graph).generalOptions->drawDirectionOnLines.setValue(true);
	const auto lines = GlGraph::buildLineVertices(*graph, Eigen::Vector3d::UnitZ());
	ASSERT_EQ(lines.positions.size(), 12u);
	EXPECT_EQ(lines.positions[7].z(), 0.0);  // line end of B-C flattened
	EXPECT_EQ(lines.positions[8].z(), 3.0);  // arrowhead at C keeps its height
}

struct ScaleCase
{
	const char* name;
	std::vector<double> values; ///< of the circles' feature "length"; every "diameter" is 0
	ScalingMode mode;
	bool planar;
};

class GlGraphScaleTest : public ::testing::TestWithParam<ScaleCase>
{
};

TEST_P(GlGraphScaleTest, CirclesStayFiniteAndVisible)
{
	auto graph = corner(GetParam().planar ? Graph::Dimension::TwoD : Graph::Dimension::ThreeD);
	graph->addEdgeFeatureDescriptors({{"length", 0.0}});
	int i = 0;
	graph->editEachEdge(
	    [&](Graph::EdgeInfo& e, const Graph::NodeInfo&, const Graph::NodeInfo&)
	    {
		    e.features()[0] = 0.0;
		    e.features()[1] = GetParam().values[static_cast<size_t>(i++)];
	    });
	auto& circles = options(*graph).featureCircleOptions.value();
	circles.featureName.setValue(std::string("length"));
	circles.scalingMode.setValue(GetParam().mode);
	std::vector<Eigen::Matrix4d> transforms;
	GlGraph::buildFeatureCircles(*graph, transforms, nullptr);
	ASSERT_EQ(transforms.size(), 2u);
	for (const auto& t : transforms)
	{
		EXPECT_TRUE(t.allFinite()) << GetParam().name;
		EXPECT_GT((t.block<3, 1>(0, 0).norm()), 0.0) << GetParam().name;
	}
}

INSTANTIATE_TEST_SUITE_P(Mends, GlGraphScaleTest,
                         ::testing::Values(ScaleCase{"planar bounds, rescaled", {3.0, 5.0}, ScalingMode::RescaledMax, true},
                                           ScaleCase{"planar bounds, log", {3.0, 5.0}, ScalingMode::Logarithmic, true},
                                           ScaleCase{"non-positive maximum, log", {-0.5, 0.0}, ScalingMode::Logarithmic, false}),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(GlGraphGeometryTest, FeatureNameOfNoEdgeFeatureAndSelfLoopsDrawNoCircles)
{
	auto graph = corner();
	auto& circles = options(*graph).featureCircleOptions.value();
	std::vector<Eigen::Matrix4d> transforms;
	circles.featureName.setValue(std::string("length"));
	GlGraph::buildFeatureCircles(*graph, transforms, nullptr);
	EXPECT_TRUE(transforms.empty());
	circles.featureName.setValue(std::string("diameter"));
	graph->addEdge(1, 1, Graph::EdgeInfo({2.0}));
	std::vector<double> raw;
	GlGraph::buildFeatureCircles(*graph, transforms, &raw);
	EXPECT_EQ(raw, (std::vector<double>{4.0, 1.0}));
}

TEST(GlGraphGeometryTest, LinearChainsReduceToOneCircleAtTheirMiddle)
{
	auto graph = corner();
	auto& circles = options(*graph).featureCircleOptions.value();
	circles.featureName.setValue(std::string("diameter"));
	circles.simplifyLinearChains.setValue(true);
	std::vector<Eigen::Matrix4d> transforms;
	std::vector<double> raw;
	GlGraph::buildFeatureCircles(*graph, transforms, &raw);
	ASSERT_EQ(raw, (std::vector<double>{2.5}));
	EXPECT_TRUE((transforms[0].block<3, 1>(0, 3).isApprox(Eigen::Vector3d(10, 0, 0))));
}

// A Y, a star, a path entered in the middle and a ring: one record per chain, on its own edges.
TEST(GlGraphGeometryTest, EveryChainGetsOneRecordOnItsOwnEdges)
{
	const auto unit = [](double x, double y, double z) { return Eigen::Vector3d(x, y, z).normalized(); };
	const struct
	{
		const char* name;
		std::vector<Eigen::Vector3d> nodes;         ///< node i + 1 at nodes[i]
		std::vector<std::array<int, 3>> edges;      ///< from, to, value
		std::vector<GlGraph::ChainRecord> expected; ///< directions up to their sign
	} shapes[] = {
	    // A stem from (0,-2) up to the fork at the origin, arms to (-2,2) and (2,2).
	    {"Y",
	     {{0, -2, 0}, {0, -1, 0}, {0, 0, 0}, {-1, 1, 0}, {-2, 2, 0}, {1, 1, 0}, {2, 2, 0}},
	     {{1, 2, 1}, {2, 3, 3}, {3, 4, 4}, {4, 5, 6}, {3, 6, 8}, {6, 7, 10}},
	     {{unit(0, 1, 0), 2.0, {0, -1, 0}}, {unit(-1, 1, 0), 5.0, {-1, 1, 0}}, {unit(1, 1, 0), 9.0, {1, 1, 0}}}},
	    // Three arms of two edges from the centre node 1 along x, y and z.
	    {"star",
	     {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}, {0, 2, 0}, {0, 0, 1}, {0, 0, 2}},
	     {{1, 2, 1}, {2, 3, 1}, {1, 4, 2}, {4, 5, 2}, {1, 6, 3}, {6, 7, 3}},
	     {{unit(1, 0, 0), 1.0, {1, 0, 0}}, {unit(0, 1, 0), 2.0, {0, 1, 0}}, {unit(0, 0, 1), 3.0, {0, 0, 1}}}},
	    // A bent path 2 - 1 - 3 - 4 whose lowest identifier lies inside.
	    {"path entered in the middle",
	     {{1, 0, 0}, {0, 0, 0}, {1, 1, 0}, {2, 1, 0}},
	     {{2, 1, 1}, {1, 3, 2}, {3, 4, 6}},
	     {{unit(0, 1, 0), 3.0, {1, 0.5, 0}}}},
	    // A square ring: one record on the node opposite the walk's start.
	    {"ring",
	     {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}},
	     {{1, 2, 1}, {2, 3, 2}, {3, 4, 3}, {4, 1, 6}},
	     {{unit(-1, 1, 0), 3.0, {1, 1, 0}}}},
	};
	for (const auto& shape : shapes)
	{
		SCOPED_TRACE(shape.name);
		Graph graph;
		for (const auto& p : shape.nodes)
			graph.addNode(Graph::NodeInfo(p, {}));
		for (const auto& [a, b, value] : shape.edges)
			graph.addEdge(static_cast<uint64_t>(a), static_cast<uint64_t>(b), Graph::EdgeInfo({static_cast<double>(value)}));
		const auto records = GlGraph::reduceLinearChains(graph, meanOfValues, 0);
		ASSERT_EQ(records.size(), shape.expected.size());
		for (const auto& expected : shape.expected)
		{
			const auto found =
			    std::find_if(records.begin(), records.end(), [&](const auto& r) { return r.centre.isApprox(expected.centre); });
			ASSERT_NE(found, records.end()) << expected.centre.transpose();
			EXPECT_DOUBLE_EQ(found->value, expected.value) << expected.centre.transpose();
			EXPECT_NEAR(std::abs(found->direction.dot(expected.direction)), 1.0, 1e-12) << expected.centre.transpose();
		}
	}
}
