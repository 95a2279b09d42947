#include "src/algorithms/GraphReindexingAlgorithm.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "host/core/Log.h"
#include "host/lib/AlgorithmRunner.h"
#include "host/lib/DataList.h"
#include "src/graph/GlGraphDisplayOptions.h"
#include "tests/algorithms/RandomGraphs.h"

using namespace Quorvale;

namespace
{
	/// Nodes `ids` at x = id, each with its id as node feature and attribute.
	Graph withNodes(const std::vector<uint64_t>& ids, Graph::Type type = Graph::Type::Undirected)
	{
		Graph graph(type);
		graph.addNodeFeatureDescriptors({{"tag", 0.0}});
		for (uint64_t id : ids)
		{
			graph.addOrReplaceNode(id, Graph::NodeInfo(Eigen::Vector3d(static_cast<double>(id), 0, 0), {static_cast<double>(id)}));
			graph.nodeAttributes(id).setParam("origin", id);
		}
		return graph;
	}

	std::unique_ptr<Graph> takeGraph(Algorithm& algorithm) { return algorithm.takeOutput().extractFirst<Graph>(); }

	uint64_t originOf(const Graph& graph, uint64_t id) { return RandomGraphs::origin(graph.node(id)); }
}

TEST(GraphReindexingAlgorithmTest, ParametersAndCreation)
{
	Graph graph = withNodes({4, 70, 80});
	graph.removeNode(80);
	Data other("image");
	EXPECT_TRUE(GraphReindexingAlgorithm::createCompatible(DataList({&other, &graph}), nullptr));
	EXPECT_FALSE(GraphReindexingAlgorithm::createCompatible(DataList({&graph, &graph}), nullptr));
	Algorithm* created = nullptr;
	ASSERT_TRUE(GraphReindexingAlgorithm::createCompatible(DataList({&graph}), &created));
	std::unique_ptr<Algorithm> owned(created);
	auto& algorithm = dynamic_cast<GraphReindexingAlgorithm&>(*owned);
	EXPECT_EQ(algorithm.mode.attribute("values"), "Manual,Largest Diameter");
	EXPECT_EQ(algorithm.mode.value(), GraphReindexingAlgorithm::Mode::Manual);
	EXPECT_EQ(algorithm.rootIndex.value(), 0u);
	EXPECT_EQ(algorithm.rootIndex.attribute("label"), "Root index");
	EXPECT_EQ(algorithm.rootIndex.attribute("min"), "0");
	EXPECT_EQ(algorithm.rootIndex.attribute("max"), "70");
	EXPECT_FALSE(algorithm.inPlace.value());

	// An editor range cannot go beyond 32 bits.
	Graph huge = withNodes({uint64_t(1) << 40});
	EXPECT_EQ(GraphReindexingAlgorithm(huge).rootIndex.attribute("max"), "2147483647");
}

TEST(GraphReindexingAlgorithmTest, PathIsRenumberedFromItsRoot)
{
	Graph graph = withNodes({5, 3, 9});
	graph.addEdge(5, 3, Graph::EdgeInfo({1.5}));
	graph.addEdge(3, 9, Graph::EdgeInfo({2.5}));
	Eigen::Matrix4d matrix = Eigen::Matrix4d::Identity();
	matrix(2, 3) = -4.0;
	graph.setMatrixToWorld(matrix);

	GraphReindexingAlgorithm algorithm(graph);
	algorithm.rootIndex = 3;
	EXPECT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
	const auto out = takeGraph(algorithm);
	ASSERT_TRUE(out);
	EXPECT_EQ(RandomGraphs::nodeIds(*out), (std::vector<uint64_t>{1, 2, 3}));
	// Depth-first from 3 takes its last neighbour first.
	EXPECT_EQ(originOf(*out, 1), 3u);
	EXPECT_EQ(originOf(*out, 2), 9u);
	EXPECT_EQ(originOf(*out, 3), 5u);
	EXPECT_EQ(out->node(2).position().x(), 9.0);
	EXPECT_EQ(out->node(2).features(), std::vector<double>{9.0});
	EXPECT_EQ(out->edge(1, 2)->features(), std::vector<double>{2.5});
	EXPECT_EQ(out->edge(3, 1)->features(), std::vector<double>{1.5});
	EXPECT_EQ(out->matrixToWorld(), matrix);
	EXPECT_EQ(out->nodeFeatureDescriptors().size(), 1u);
	EXPECT_EQ(out->edgeFeatureDescriptors().size(), 1u);
	// The input is untouched.
	EXPECT_TRUE(graph.hasNode(9));
}

TEST(GraphReindexingAlgorithmTest, FailuresChangeNothing)
{
	Graph twoParts = withNodes({1, 2, 3});
	twoParts.addEdge(1, 2, {});
	Graph againstDirection = withNodes({1, 2, 3}, Graph::Type::Directed);
	againstDirection.addEdge(1, 2, {});
	againstDirection.addEdge(3, 2, {});
	Graph noDiameter = withNodes({1, 2});
	noDiameter.clearFeatureDescriptors();
	Graph fromOne = withNodes({1, 2});

	struct Case
	{
		Graph* graph;
		GraphReindexingAlgorithm::Mode mode;
		uint64_t root;
		std::string error;
	};
	const std::string notConnected = "GraphReindexingAlgorithm requires a connected graph. Please run Partition Graph first.";
	const std::vector<Case> cases = {
	    {&twoParts, GraphReindexingAlgorithm::Mode::Manual, 1, notConnected},
	    {&againstDirection, GraphReindexingAlgorithm::Mode::Manual, 1, notConnected},
	    {&fromOne, GraphReindexingAlgorithm::Mode::Manual, 0, "Invalid root node index selected."},
	    {&fromOne, GraphReindexingAlgorithm::Mode::Manual, 7, "Invalid root node index selected."},
	    {&noDiameter, GraphReindexingAlgorithm::Mode::LargestDiameter, 1,
	     "No diameter feature found. Please compute diameter using Compute Features."},
	};
	for (const Case& c : cases)
	{
		SCOPED_TRACE(c.error);
		const Graph before = *c.graph;
		Log::ScopedCapture log;
		GraphReindexingAlgorithm algorithm(*c.graph);
		algorithm.mode = c.mode;
		algorithm.rootIndex = c.root;
		algorithm.inPlace = true;
		EXPECT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Error);
		EXPECT_EQ(log->messages(Log::Warning), std::vector<std::string>{c.error});
		EXPECT_EQ(RandomGraphs::nodeIds(*c.graph), RandomGraphs::nodeIds(before));
		EXPECT_EQ(c.graph->numEdges(), before.numEdges());
		EXPECT_FALSE(takeGraph(algorithm));
	}
}

TEST(GraphReindexingAlgorithmTest, LargestDiameterStartsAtTheThickestLeaf)
{
	// Leaves 2 (diameter 2) and 4 (diameter 5) around inner node 3; 1 is a leaf of a directed
	// edge that does not count.
	Graph graph = withNodes({2, 3, 4});
	graph.addEdge(2, 3, Graph::EdgeInfo({2.0}));
	graph.addEdge(3, 4, Graph::EdgeInfo({5.0}));
	GraphReindexingAlgorithm algorithm(graph);
	algorithm.mode = GraphReindexingAlgorithm::Mode::LargestDiameter;
	int changes = 0;
	algorithm.rootIndex.signalValueChanged.connect(&algorithm, [&changes] { ++changes; });
	EXPECT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
	EXPECT_EQ(algorithm.rootIndex.value(), 4u);
	EXPECT_EQ(changes, 1);
	EXPECT_EQ(originOf(*takeGraph(algorithm), 1), 4u);

	// Only a leaf holding its edge scores; without any, the lowest node is the root.
	Graph directed = withNodes({1, 2, 3}, Graph::Type::Directed);
	directed.addEdge(1, 2, Graph::EdgeInfo({1.0}));
	directed.addEdge(3, 2, Graph::EdgeInfo({9.0}));
	directed.addEdge(2, 1, Graph::EdgeInfo({1.0}));
	GraphReindexingAlgorithm leafWithArrivingEdge(directed);
	leafWithArrivingEdge.mode = GraphReindexingAlgorithm::Mode::LargestDiameter;
	EXPECT_EQ(AlgorithmRunner::run(leafWithArrivingEdge), Algorithm::Success);
	EXPECT_EQ(leafWithArrivingEdge.rootIndex.value(), 3u);
}

TEST(GraphReindexingAlgorithmTest, InPlaceRenumbersTheInputAndKeepsItsIdentity)
{
	Graph graph = withNodes({10, 20, 30});
	graph.addEdge(10, 20, {});
	graph.addEdge(20, 30, {});
	graph.setName("vessels");
	auto* options = graph.components().get<GlGraph::DisplayOptions>();
	ASSERT_NE(options, nullptr);
	options->generalOptions->lineWidth = 7.0;

	GraphReindexingAlgorithm algorithm(graph);
	algorithm.rootIndex = 30;
	algorithm.inPlace = true;
	EXPECT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
	EXPECT_EQ(RandomGraphs::nodeIds(graph), (std::vector<uint64_t>{1, 2, 3}));
	EXPECT_EQ(originOf(graph, 1), 30u);
	EXPECT_EQ(graph.name(), "vessels");
	EXPECT_EQ(graph.components().get<GlGraph::DisplayOptions>()->generalOptions->lineWidth.value(), 7.0);
	EXPECT_FALSE(takeGraph(algorithm));
}

TEST(GraphReindexingAlgorithmTest, RandomGraphsKeepTopologyAndRecords)
{
	for (unsigned seed = 1; seed <= 20; ++seed)
	{
		SCOPED_TRACE(seed);
		std::mt19937_64 random(seed);
		const auto type = seed % 3 == 0 ? Graph::Type::Directed : Graph::Type::Undirected;
		Graph graph = RandomGraphs::randomConnectedGraph(random, 200, 40, type);
		const std::vector<uint64_t> ids = RandomGraphs::nodeIds(graph);
		// Every node of a directed one is reachable from its lowest node only.
		const uint64_t root = type == Graph::Type::Directed ? ids.front() : ids[random() % ids.size()];

		GraphReindexingAlgorithm algorithm(graph);
		algorithm.rootIndex = root;
		ASSERT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
		const auto out = takeGraph(algorithm);
		ASSERT_TRUE(out);
		EXPECT_EQ(out->type(), type);
		EXPECT_EQ(out->numNodes(), graph.numNodes());
		EXPECT_EQ(out->maxNodeIdx(), static_cast<uint64_t>(graph.numNodes()));
		EXPECT_EQ(out->numEdges(), graph.numEdges());
		EXPECT_EQ(originOf(*out, 1), root);
		out->forEachNode(
		    [&](uint64_t id, const Graph::NodeInfo& info, const Graph::Neighborhood& neighbors)
		    {
			    EXPECT_TRUE(RandomGraphs::sameNode(info, graph.node(RandomGraphs::origin(info))));
			    // The walk reached every other node from one reached before it.
			    if (id != 1)
			    {
				    EXPECT_LT(neighbors.begin()->first, id);
			    }
		    });
		out->forEachEdge(
		    [&](const Graph::EdgeInfo& edge, const Graph::NodeInfo& from, const Graph::NodeInfo& to)
		    {
			    const auto& original = graph.edge(RandomGraphs::origin(from), RandomGraphs::origin(to));
			    ASSERT_TRUE(original);
			    EXPECT_TRUE(RandomGraphs::sameEdge(edge, *original));
		    });
	}
}

TEST(GraphReindexingAlgorithmTest, LongChainIsRenumberedWithoutCallDepth)
{
	Graph graph;
	constexpr uint64_t n = 200000;
	for (uint64_t i = 1; i <= n; ++i)
		graph.addNode(Graph::NodeInfo(Eigen::Vector3d(static_cast<double>(i), 0, 0), {}));
	for (uint64_t i = 1; i < n; ++i)
		graph.addEdge(i, i + 1, {});
	GraphReindexingAlgorithm algorithm(graph);
	algorithm.rootIndex = n;
	algorithm.inPlace = true;
	ASSERT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
	EXPECT_EQ(graph.node(1).position().x(), static_cast<double>(n));
	EXPECT_EQ(graph.node(n).position().x(), 1.0);
}
