#include "src/graph/GraphUtils.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "host/lib/SharedImage.h"
#include "host/lib/TypedImage.h"

using namespace Quorvale;

namespace
{
	using Edges = std::vector<std::tuple<uint64_t, uint64_t, double>>;

	/// Nodes 1..n at x = id, edges carrying their value as "diameter" (feature 0).
	Graph build(uint64_t n, const Edges& edges, Graph::Type type = Graph::Type::Undirected)
	{
		Graph graph(type);
		for (uint64_t i = 1; i <= n; ++i)
			graph.addNode(Graph::NodeInfo(Eigen::Vector3d(static_cast<double>(i), 0, 0), {}));
		for (const auto& [a, b, value] : edges)
			graph.addEdge(a, b, Graph::EdgeInfo({value}));
		return graph;
	}

	Graph chain(uint64_t n, Graph::Type type = Graph::Type::Undirected)
	{
		Edges edges;
		for (uint64_t i = 1; i < n; ++i)
			edges.emplace_back(i, i + 1, 1.0);
		return build(n, edges, type);
	}

	double value(const Graph& graph, uint64_t a, uint64_t b, int k = 0)
	{
		const auto& edge = graph.edge(a, b) ? graph.edge(a, b) : graph.edge(b, a);
		return edge.value().features().at(static_cast<size_t>(k));
	}

	double sum(const std::vector<double>& values)
	{
		double s = 0.0;
		for (double v : values)
			s += v;
		return s;
	}
}

TEST(GraphUtilsTest, MeanOfValues)
{
	EXPECT_EQ(meanOfValues({}), 0.0);
	EXPECT_EQ(meanOfValues({1.0, 2.0}), 1.5);
}

// Segment walks -------------------------------------------------------------------------------------

TEST(GraphUtilsTest, SegmentWalkStopsAtBranchesAndLeavesAndClosesLoops)
{
	// Triangle 1-2-3: the walk comes back to its start.
	const Graph triangle = build(3, {{1, 2, 1.0}, {2, 3, 2.0}, {3, 1, 3.0}});
	std::vector<uint64_t> path;
	EXPECT_EQ(GraphUtils::collectLinearPathFeatures(triangle, 1, 2, 0, path), (std::vector<double>{1.0, 2.0, 3.0}));
	EXPECT_EQ(path, (std::vector<uint64_t>{1, 2, 3, 1}));

	// Branch node 2 (neighbours 1, 3, 5); chain 2-3-4 ends at leaf 4, chain 2-1 at leaf 1.
	const Graph tree = build(5, {{1, 2, 1.0}, {2, 3, 2.0}, {3, 4, 3.0}, {2, 5, 4.0}});
	path.clear();
	EXPECT_EQ(GraphUtils::collectLinearPathFeatures(tree, 2, 3, 0, path), (std::vector<double>{2.0, 3.0}));
	EXPECT_EQ(path, (std::vector<uint64_t>{2, 3, 4}));
	path.clear();
	EXPECT_EQ(GraphUtils::collectLinearPathFeatures(tree, 4, 3, 0, path), (std::vector<double>{3.0, 2.0}));
	EXPECT_EQ(path, (std::vector<uint64_t>{4, 3, 2}));

	// A `next` that is no neighbour falls back to the first offered one; the path is appended to.
	path = {99};
	EXPECT_EQ(GraphUtils::collectLinearPathFeatures(tree, 2, 42, 0, path), (std::vector<double>{1.0}));
	EXPECT_EQ(path, (std::vector<uint64_t>{99, 2, 1}));
}

TEST(GraphUtilsTest, SegmentEndingAtBranchBesideTheStartIsNotALoop)
{
	// Branch nodes 1 and 3 are adjacent and also joined through inner node 2: the walk 1-2-3 stops
	// at branch 3 and must not take the separate edge 3-1 as its closing edge.
	const Graph graph = build(5, {{1, 2, 1.0}, {2, 3, 2.0}, {3, 1, 50.0}, {1, 4, 1.0}, {3, 5, 1.0}});
	std::vector<uint64_t> path;
	EXPECT_EQ(GraphUtils::collectLinearPathFeatures(graph, 1, 2, 0, path), (std::vector<double>{1.0, 2.0}));
	EXPECT_EQ(path, (std::vector<uint64_t>{1, 2, 3}));

	Graph accumulated = graph;
	GraphUtils::accumulateFeatureAlongSegments(accumulated, sum, "diameter", "total");
	const int total = accumulated.getEdgeFeatureIdx("total").value();
	EXPECT_EQ(value(accumulated, 1, 2, total), 3.0);
	EXPECT_EQ(value(accumulated, 3, 1, total), 50.0);
}

TEST(GraphUtilsTest, BadFeatureIndexOrNameIsRefused)
{
	Graph graph = build(3, {{1, 2, 1.0}, {2, 3, 2.0}});
	std::vector<uint64_t> path;
	EXPECT_THROW(GraphUtils::collectLinearPathFeatures(graph, 1, 2, 1, path), std::out_of_range);
	EXPECT_THROW(GraphUtils::collectLinearPathFeatures(graph, 1, 2, -1, path), std::out_of_range);
	EXPECT_THROW(GraphUtils::accumulateFeatureAlongSegments(graph, sum, 3, "total"), std::out_of_range);
	EXPECT_THROW(GraphUtils::clampAndSmoothEdgeFeature(graph, 2, true, 1, 1.0), std::out_of_range);
	EXPECT_THROW(GraphUtils::accumulateFeatureAlongSegments(graph, sum, "radius", "total"), std::bad_optional_access);
	EXPECT_FALSE(graph.getEdgeFeatureIdx("total"));
	EXPECT_THROW(GraphUtils::accumulateFeatureAlongSegments(graph, GraphUtils::Reduction(), "diameter", "total"), std::bad_function_call);
}

TEST(GraphUtilsTest, AccumulationGivesEveryEdgeItsSegmentValue)
{
	// Branch 1: segments 1-2-3 (leaf), 1-4 (leaf), 1-5-6-7 to branch 7 with leaves 8 and 9, and a
	// self-loop at 1. Besides: open chain 10-11-12, closed chain 13-14-15, node 16 with only a
	// self-loop.
	Graph graph = build(16, {{1, 2, 1.0},
	                         {2, 3, 2.0},
	                         {1, 4, 5.0},
	                         {1, 5, 1.0},
	                         {5, 6, 1.0},
	                         {6, 7, 1.0},
	                         {7, 8, 2.0},
	                         {7, 9, 4.0},
	                         {1, 1, 9.0},
	                         {10, 11, 1.0},
	                         {11, 12, 1.0},
	                         {13, 14, 1.0},
	                         {14, 15, 2.0},
	                         {15, 13, 3.0},
	                         {16, 16, 7.0}});
	GraphUtils::accumulateFeatureAlongSegments(graph, sum, "diameter", "total");
	const int total = graph.getEdgeFeatureIdx("total").value();
	const std::vector<std::tuple<uint64_t, uint64_t, double>> expected = {
	    {1, 2, 3.0}, {2, 3, 3.0},   {1, 4, 5.0},   {1, 5, 3.0},   {5, 6, 3.0},   {6, 7, 3.0},   {7, 8, 2.0},  {7, 9, 4.0},
	    {1, 1, 9.0}, {10, 11, 2.0}, {11, 12, 2.0}, {13, 14, 6.0}, {14, 15, 6.0}, {15, 13, 6.0}, {16, 16, 7.0}};
	for (const auto& [a, b, v] : expected)
		EXPECT_EQ(value(graph, a, b, total), v) << a << "-" << b;
	// The source stays, and a second run overwrites the target column in place.
	EXPECT_EQ(value(graph, 1, 4, 0), 5.0);
	GraphUtils::accumulateFeatureAlongSegments(graph, meanOfValues, 0, "total");
	EXPECT_EQ(graph.numEdgeFeatures(), 2);
	EXPECT_EQ(value(graph, 13, 14, total), 2.0);
}

TEST(GraphUtilsTest, AccumulationOnDirectedGraphsReachesEveryEdge)
{
	// 1 → 2 → 3 → 4 is walked from leaf 1; 1 → 5 and 6 → 5 meet at 5 against the walk direction.
	Graph graph = build(6, {{1, 2, 1.0}, {2, 3, 2.0}, {3, 4, 3.0}, {6, 5, 4.0}}, Graph::Type::Directed);
	graph.addEdge(1, 5, Graph::EdgeInfo({8.0}));
	GraphUtils::accumulateFeatureAlongSegments(graph, sum, "diameter", "total");
	const int total = graph.getEdgeFeatureIdx("total").value();
	graph.forEachEdge([&](const Graph::EdgeInfo& edge, uint64_t a, uint64_t b)
	                  { EXPECT_NE(edge.features()[static_cast<size_t>(total)], 0.0) << a << "->" << b; });
	EXPECT_EQ(value(graph, 6, 5, total), 4.0);
}

// Clamping and smoothing ----------------------------------------------------------------------------

TEST(GraphUtilsTest, ShortSegmentBetweenBranchesIsClampedByTheThinnerEnd)
{
	// Segment 1-4-5 (values 10, 2) between branch 1 (other edges 3, 4) and branch 5 (5, 6).
	const Edges edges = {{1, 2, 3.0}, {1, 3, 4.0}, {1, 4, 10.0}, {4, 5, 2.0}, {5, 6, 5.0}, {5, 7, 6.0}};
	const double reference = std::cbrt(27.0 + 64.0);
	Graph graph = build(7, edges);
	GraphUtils::clampAndSmoothEdgeFeature(graph, 0, true, std::nullopt, 1.0);
	EXPECT_NEAR(value(graph, 1, 4), reference, 1e-12);
	EXPECT_NEAR(reference, 4.498, 1e-3);
	EXPECT_EQ(value(graph, 4, 5), 2.0);
	EXPECT_EQ(value(graph, 1, 2), 3.0);
	EXPECT_EQ(value(graph, 5, 7), 6.0);

	Graph doubled = build(7, edges);
	GraphUtils::clampAndSmoothEdgeFeature(doubled, 0, true, std::nullopt, 2.0);
	EXPECT_NEAR(value(doubled, 1, 4), 2.0 * reference, 1e-12);

	// Without the clamp flag nothing changes.
	Graph untouched = build(7, edges);
	GraphUtils::clampAndSmoothEdgeFeature(untouched, 0, false, std::nullopt, 1.0);
	EXPECT_EQ(value(untouched, 1, 4), 10.0);
}

TEST(GraphUtilsTest, LongSegmentIsClampedByTheLargestSurroundingEdge)
{
	// Five edges of 10 between branch 1 (other edges 3, 4) and branch 6 (5, 6): reference min(10, 6).
	Graph graph = build(
	    10, {{1, 7, 3.0}, {1, 8, 4.0}, {1, 2, 10.0}, {2, 3, 10.0}, {3, 4, 10.0}, {4, 5, 10.0}, {5, 6, 10.0}, {6, 9, 5.0}, {6, 10, 6.0}});
	GraphUtils::clampAndSmoothEdgeFeature(graph, 0, true, std::nullopt, 1.0);
	for (uint64_t i = 1; i <= 5; ++i)
		EXPECT_EQ(value(graph, i, i + 1), 6.0);
}

TEST(GraphUtilsTest, BranchesOfAHighDegreeNodeAreClampedByTheLargestOtherBranch)
{
	// Hub 1 with eight branches of five edges (values 10, 20, ..., 80) and a loop edge of 1000,
	// which is part of every branch's end and so never a reference.
	Edges edges{{1, 1, 1000.0}};
	std::vector<uint64_t> firstNodes;
	uint64_t next = 2;
	for (int branch = 1; branch <= 8; ++branch)
	{
		firstNodes.push_back(next);
		for (uint64_t from = 1, e = 0; e < 5; ++e, from = next++)
			edges.emplace_back(from, next, 10.0 * branch);
	}
	Graph graph = build(next - 1, edges);
	GraphUtils::clampAndSmoothEdgeFeature(graph, 0, true, std::nullopt, 1.0);
	for (int branch = 1; branch <= 8; ++branch)
		EXPECT_EQ(value(graph, 1, firstNodes[static_cast<size_t>(branch - 1)]), branch == 8 ? 70.0 : 10.0 * branch) << branch;
}

TEST(GraphUtilsTest, SegmentFromALeafKeepsItsMedianAsReference)
{
	// Leaf 1 - 2 - branch 3 (other edges 3 and 4): values 10 and 20, median 15.
	Graph graph = build(5, {{1, 2, 10.0}, {2, 3, 20.0}, {3, 4, 3.0}, {3, 5, 4.0}});
	GraphUtils::clampAndSmoothEdgeFeature(graph, 0, true, std::nullopt, 1.0);
	EXPECT_EQ(value(graph, 1, 2), 10.0);
	EXPECT_EQ(value(graph, 2, 3), 15.0);
}

TEST(GraphUtilsTest, EdgeBetweenTwoBranchesAlreadyMetIsStillClamped)
{
	// Branch nodes 1, 2, 3 form a triangle, each with one leaf. The edge 2-3 is a segment of its own
	// whose ends were both met before it is reached.
	Graph graph = build(6, {{1, 2, 1.0}, {1, 3, 1.0}, {2, 3, 100.0}, {1, 4, 1.0}, {2, 5, 1.0}, {3, 6, 1.0}});
	GraphUtils::clampAndSmoothEdgeFeature(graph, 0, true, std::nullopt, 1.0);
	EXPECT_NEAR(value(graph, 2, 3), std::cbrt(2.0), 1e-12);
}

TEST(GraphUtilsTest, SmoothingTakesWindowMediansOncePerSegment)
{
	// An open chain is reached from both leaves, a segment between branches from both branches:
	// smoothing twice would give 3, 1, 1, 1.
	Graph open = build(5, {{1, 2, 1.0}, {2, 3, 9.0}, {3, 4, 1.0}, {4, 5, 1.0}});
	GraphUtils::clampAndSmoothEdgeFeature(open, 0, false, 1, 1.0);
	EXPECT_EQ((std::vector<double>{value(open, 1, 2), value(open, 2, 3), value(open, 3, 4), value(open, 4, 5)}),
	          (std::vector<double>{5.0, 1.0, 1.0, 1.0}));

	Graph between = build(9, {{1, 2, 1.0}, {2, 3, 9.0}, {3, 4, 1.0}, {4, 5, 1.0}, {1, 6, 1.0}, {1, 7, 1.0}, {5, 8, 1.0}, {5, 9, 1.0}});
	GraphUtils::clampAndSmoothEdgeFeature(between, 0, false, 1, 1.0);
	EXPECT_EQ(value(between, 1, 2), 5.0);

	// A closed chain is smoothed too; a window below 1 does nothing.
	Graph loop = build(4, {{1, 2, 1.0}, {2, 3, 9.0}, {3, 4, 1.0}, {4, 1, 1.0}});
	GraphUtils::clampAndSmoothEdgeFeature(loop, 0, false, 0, 1.0);
	EXPECT_EQ(value(loop, 2, 3), 9.0);
	GraphUtils::clampAndSmoothEdgeFeature(loop, 0, false, 1, 1.0);
	EXPECT_EQ(value(loop, 1, 2), 5.0);
	EXPECT_EQ(value(loop, 2, 3), 1.0);
}

// Cycle test ----------------------------------------------------------------------------------------

TEST(GraphUtilsTest, UndirectedCycles)
{
	EXPECT_TRUE(GraphUtils::isAcyclic(Graph()));
	EXPECT_TRUE(GraphUtils::isAcyclic(build(7, {{1, 2, 1}, {2, 3, 1}, {2, 4, 1}, {5, 6, 1}})));
	EXPECT_FALSE(GraphUtils::isAcyclic(build(3, {{1, 1, 1}})));
	EXPECT_FALSE(GraphUtils::isAcyclic(build(6, {{1, 2, 1}, {4, 5, 1}, {5, 6, 1}, {6, 4, 1}})));
}

TEST(GraphUtilsTest, DirectedGraphsAreJudgedByDirectedCycles)
{
	const auto directed = Graph::Type::Directed;
	EXPECT_TRUE(GraphUtils::isAcyclic(build(2, {{2, 1, 1}}, directed)));
	EXPECT_TRUE(GraphUtils::isAcyclic(build(3, {{1, 2, 1}, {3, 2, 1}, {1, 3, 1}}, directed)));
	EXPECT_TRUE(GraphUtils::isAcyclic(build(4, {{1, 2, 1}, {1, 3, 1}, {2, 4, 1}, {3, 4, 1}}, directed)));
	EXPECT_FALSE(GraphUtils::isAcyclic(build(3, {{1, 2, 1}, {2, 3, 1}, {3, 1, 1}}, directed)));
	EXPECT_FALSE(GraphUtils::isAcyclic(build(2, {{1, 2, 1}, {2, 1, 1}}, directed)));
	EXPECT_FALSE(GraphUtils::isAcyclic(build(2, {{2, 2, 1}}, directed)));
}

TEST(GraphUtilsTest, LongChainsNeedNoCallDepth)
{
	constexpr uint64_t n = 200000;
	Graph graph = chain(n);
	EXPECT_TRUE(GraphUtils::isAcyclic(graph));
	graph.addEdge(n, 1, Graph::EdgeInfo({1.0}));
	EXPECT_FALSE(GraphUtils::isAcyclic(graph));

	Graph directed = chain(n, Graph::Type::Directed);
	EXPECT_TRUE(GraphUtils::isAcyclic(directed));
	directed.addEdge(n, 1, Graph::EdgeInfo({1.0}));
	EXPECT_FALSE(GraphUtils::isAcyclic(directed));

	// The closed chain is one segment.
	GraphUtils::accumulateFeatureAlongSegments(graph, sum, "diameter", "total");
	EXPECT_EQ(value(graph, n / 2, n / 2 + 1, 1), static_cast<double>(n));
	GraphUtils::clampAndSmoothEdgeFeature(graph, 0, true, 2, 1.0);
	EXPECT_EQ(value(graph, 1, 2), 1.0);
}

// Node to edge, argmax, leaves, walk ----------------------------------------------------------------

TEST(GraphUtilsTest, NodeFeatureToEdgeOrder)
{
	const auto record = [](uint64_t a, uint64_t b) { return std::tuple<uint64_t, uint64_t, double>(a, b, 0.0); };
	for (const Graph::Type type : {Graph::Type::Undirected, Graph::Type::Directed})
	{
		Graph graph = build(2, {record(2, 1)}, type);
		graph.addNodeFeatureDescriptors({{"value", 0.0}});
		graph.editEachNode([](uint64_t id, Graph::NodeInfo& info) { info.features()[0] = id == 1 ? 10.0 : 20.0; });
		const int e = GraphUtils::transformNodeFeatureToEdge(
		    graph, 0, [](double a, double b) { return 100 * a + b; }, "derived");
		EXPECT_EQ(e, 1);
		EXPECT_EQ(value(graph, 2, 1, e), 2010.0);
	}
	Graph forward = build(2, {record(1, 2)}, Graph::Type::Directed);
	forward.addNodeFeatureDescriptors({{"value", 0.0}});
	forward.editEachNode([](uint64_t id, Graph::NodeInfo& info) { info.features()[0] = id == 1 ? 10.0 : 20.0; });
	const int e = GraphUtils::transformNodeFeatureToEdge(
	    forward, 0, [](double a, double b) { return 100 * a + b; }, "derived");
	EXPECT_EQ(value(forward, 1, 2, e), 1020.0);

	EXPECT_EQ(GraphUtils::transformNodeFeatureToEdge(forward, 1, std::minus<double>(), "other"), -1);
	EXPECT_FALSE(forward.getEdgeFeatureIdx("other"));
}

TEST(GraphUtilsTest, ArgmaxKeepsTheLowestOfEqualScores)
{
	EXPECT_FALSE(GraphUtils::argmaxNode(Graph(), [](const Graph::NodeInfo&) { return 1.0; }));
	const Graph graph = build(4, {{1, 2, 1}, {2, 3, 1}, {2, 4, 1}});
	EXPECT_EQ(GraphUtils::argmaxNode(graph, [](const Graph::NodeInfo&) { return 1.0; }), 1u);
	EXPECT_EQ(GraphUtils::argmaxNode(graph, [](const Graph::NodeInfo& info) { return -std::abs(info.position().x() - 3.2); }), 3u);
	EXPECT_EQ(GraphUtils::argmaxNode(graph, [](uint64_t, const Graph::NodeInfo&, const Graph::Neighborhood& n)
	                                 { return static_cast<double>(n.size()); }),
	          2u);
}

TEST(GraphUtilsTest, LeavesAndChooserWalk)
{
	Graph graph = build(5, {{1, 2, 1}, {2, 3, 1}, {3, 3, 1}, {2, 4, 1}});
	EXPECT_EQ(GraphUtils::findLeafNodes(graph), (std::vector<uint64_t>{1, 4}));
	EXPECT_EQ(GraphUtils::findLeafNodes(build(3, {{1, 2, 1}, {3, 2, 1}}, Graph::Type::Directed)), (std::vector<uint64_t>{1, 3}));

	// Always the last offered neighbour: 1 → 2 → 4, where nothing is left.
	std::vector<double> visited;
	GraphUtils::traversePath(graph, 1,
	                         [&](std::vector<const Graph::NodeInfo*> offered) -> const Graph::NodeInfo*
	                         {
		                         if (offered.empty())
			                         return nullptr;
		                         visited.push_back(offered.back()->position().x());
		                         return offered.back();
	                         });
	EXPECT_EQ(visited, (std::vector<double>{2.0, 4.0}));
	EXPECT_THROW(GraphUtils::traversePath(graph, 1, {}), std::bad_function_call);
}

// Leaf extension through a label map ---------------------------------------------------------------

namespace
{
	/// A 10 × 3 × 3 label map (spacing 1, identity placement) whose voxels x in [from, to], y = z = 1
	/// hold `label`.
	template <typename T>
	SharedImage labelRow(int from, int to, T label = T(1))
	{
		auto image = TypedImage<T>::create(Eigen::Vector3i(10, 3, 3));
		for (int x = from; x <= to; ++x)
			image->at(x, 1, 1) = label;
		return SharedImage(std::unique_ptr<MemImage>(std::move(image)));
	}

	/// Graph coordinates of a pixel of the image (the graph at identity placement).
	Eigen::Vector3d pixelPoint(const SharedImage& image, double x)
	{
		return image.descriptorWorld().pixelToWorld(Eigen::Vector3d(x, 1, 1));
	}

	/// Leaf 1 at pixel `leafX`, node 2 one pixel further along +x (edge features 4, 6).
	Graph leafAt(const SharedImage& image, double leafX)
	{
		Graph graph;
		graph.addNodeFeatureDescriptors({{"weight", 7.0}});
		graph.addNode(Graph::NodeInfo(pixelPoint(image, leafX), {}));
		graph.addNode(Graph::NodeInfo(pixelPoint(image, leafX + 1.0), {}));
		graph.addEdgeFeatureDescriptors({{"other", 0.0}});
		graph.addEdge(1, 2, Graph::EdgeInfo({4.0, 6.0}));
		return graph;
	}

	std::vector<double> pixelXOfNewNodes(const Graph& graph, const SharedImage& image, uint64_t firstNew)
	{
		std::vector<double> out;
		const Eigen::Matrix4d toPixel = image.worldToPixelMatrix() * graph.matrixToWorld();
		graph.forEachNode(
		    [&](uint64_t id, const Graph::NodeInfo& info)
		    {
			    if (id >= firstNew)
				    out.push_back(std::round((toPixel * info.position().homogeneous()).x() * 1e9) / 1e9);
		    });
		return out;
	}
}

TEST(GraphUtilsTest, LeafGrowsOneNodePerPixelInsideTheLabel)
{
	const SharedImage image = labelRow<unsigned char>(2, 4);
	Graph graph = leafAt(image, 5.0);
	GraphUtils::extendLeavesToEdge(graph, image);
	EXPECT_EQ(pixelXOfNewNodes(graph, image, 3), (std::vector<double>{4.0, 3.0, 2.0}));
	EXPECT_EQ(graph.numEdges(), 4);
	EXPECT_TRUE(graph.edge(1, 3));
	EXPECT_TRUE(graph.edge(3, 4));
	EXPECT_TRUE(graph.edge(4, 5));
	EXPECT_EQ(graph.edge(4, 5)->features(), (std::vector<double>{4.0, 6.0}));
	EXPECT_EQ(graph.node(5).features(), std::vector<double>{7.0});
}

TEST(GraphUtilsTest, LeafOutsideTheLabelOrWithoutDirectionGrowsNothing)
{
	const SharedImage image = labelRow<unsigned char>(2, 4);
	Graph onZero = leafAt(image, 7.0);
	GraphUtils::extendLeavesToEdge(onZero, image);
	EXPECT_EQ(onZero.numNodes(), 2);

	// Leaf 1 at the image border steps outside; its neighbour, a leaf too, grows into the label.
	const SharedImage fromBorder = labelRow<unsigned char>(0, 4);
	Graph atBorder = leafAt(fromBorder, 0.0);
	GraphUtils::extendLeavesToEdge(atBorder, fromBorder);
	EXPECT_EQ(atBorder.neighborhood(1).size(), 1u);
	EXPECT_EQ(pixelXOfNewNodes(atBorder, fromBorder, 3), (std::vector<double>{2.0, 3.0, 4.0}));

	Graph collapsed = leafAt(image, 5.0);
	collapsed.addOrReplaceNode(2, Graph::NodeInfo(collapsed.node(1).position() + Eigen::Vector3d(0.00005, 0, 0), {}));
	GraphUtils::extendLeavesToEdge(collapsed, image);
	EXPECT_EQ(collapsed.numNodes(), 2);
}

TEST(GraphUtilsTest, LeafStepsStopAtTheNearestVoxel)
{
	// From x = 5.6 the first step lands at 4.6, nearest to voxel 5, which is outside the label.
	const SharedImage inner = labelRow<unsigned char>(2, 4);
	Graph late = leafAt(inner, 5.6);
	GraphUtils::extendLeavesToEdge(late, inner);
	EXPECT_EQ(late.numNodes(), 2);

	// A step to -0.6 lies beyond voxel 0's half: outside the image.
	const SharedImage border = labelRow<unsigned char>(0, 4);
	Graph edge = leafAt(border, 3.4);
	GraphUtils::extendLeavesToEdge(edge, border);
	EXPECT_EQ(pixelXOfNewNodes(edge, border, 3), (std::vector<double>{2.4, 1.4, 0.4}));
}

TEST(GraphUtilsTest, LeafThroughInnerNodeAveragesAndFollowsSpacingAndPlacement)
{
	// Image of spacing 2 moved by (5, 0, 0); the graph is moved the same way, so graph coordinates
	// are the image's. Leaf 1 at pixel 5, inner node 2 at 6, node 3 at 7 (edge values 4 then 8).
	auto memory = TypedImage<short>::create(Eigen::Vector3i(10, 3, 3));
	memory->setSpacing(Eigen::Vector3d(2.0, 2.0, 2.0));
	for (int x = 3; x <= 4; ++x)
		memory->at(x, 1, 1) = -3;
	SharedImage image(std::unique_ptr<MemImage>(std::move(memory)));
	Eigen::Matrix4d shift = Eigen::Matrix4d::Identity();
	shift(0, 3) = 5.0;
	image.setMatrixToWorld(shift);

	Graph graph;
	graph.setMatrixToWorld(shift);
	const Eigen::Matrix4d worldToGraph = shift.inverse();
	for (double x : {5.0, 6.0, 7.0})
		graph.addNode(
		    Graph::NodeInfo((worldToGraph * image.descriptorWorld().pixelToWorld(Eigen::Vector3d(x, 1, 1)).homogeneous()).head<3>(), {}));
	graph.addEdge(1, 2, Graph::EdgeInfo({4.0}));
	graph.addEdge(2, 3, Graph::EdgeInfo({8.0}));
	GraphUtils::extendLeavesToEdge(graph, image);
	EXPECT_EQ(pixelXOfNewNodes(graph, image, 4), (std::vector<double>{4.0, 3.0}));
	EXPECT_NEAR((graph.node(4).position() - graph.node(5).position()).norm(), 2.0, 1e-12);
	EXPECT_EQ(graph.edge(4, 5)->features(), std::vector<double>{6.0});
	// Leaf 3's neighbour 2 is inner too: it grows toward +x, where the label ends.
	EXPECT_EQ(graph.numNodes(), 5);
}

namespace
{
	template <typename T>
	int grownNodes(T label)
	{
		const SharedImage image = labelRow<T>(2, 4, label);
		Graph graph = leafAt(image, 5.0);
		GraphUtils::extendLeavesToEdge(graph, image);
		return graph.numNodes() - 2;
	}
}

TEST(GraphUtilsTest, EveryNumericPixelTypeHoldsLabels)
{
	EXPECT_EQ(grownNodes<char>(-1), 3);
	EXPECT_EQ(grownNodes<unsigned char>(255), 3);
	EXPECT_EQ(grownNodes<short>(-300), 3);
	EXPECT_EQ(grownNodes<unsigned short>(60000), 3);
	EXPECT_EQ(grownNodes<int>(1 << 20), 3);
	EXPECT_EQ(grownNodes<unsigned int>(1u << 31), 3);
	EXPECT_EQ(grownNodes<float>(0.25f), 3);
	EXPECT_EQ(grownNodes<double>(-1e-9), 3);

	// A label of 256 would read as 0 through its low byte.
	auto wide = TypedImage<unsigned short>::create(Eigen::Vector3i(10, 3, 3));
	for (int x = 2; x <= 4; ++x)
		wide->at(x, 1, 1) = 256;
	const SharedImage image(std::unique_ptr<MemImage>(std::move(wide)));
	Graph graph = leafAt(image, 5.0);
	GraphUtils::extendLeavesToEdge(graph, image);
	EXPECT_EQ(graph.numNodes(), 5);

	const SharedImage untyped(MemImage::create(ImageDescriptor(ImageDescriptor::Bytes2, Eigen::Vector3i(10, 3, 3))));
	Graph refused = leafAt(untyped, 5.0);
	EXPECT_THROW(GraphUtils::extendLeavesToEdge(refused, untyped), std::invalid_argument);
	EXPECT_EQ(refused.numNodes(), 2);
}
