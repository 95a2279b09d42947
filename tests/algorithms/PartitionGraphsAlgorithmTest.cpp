#include "src/algorithms/PartitionGraphsAlgorithm.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <set>
#include <vector>

#include "host/core/Log.h"
#include "host/lib/AlgorithmRunner.h"
#include "host/lib/DataList.h"
#include "tests/algorithms/RandomGraphs.h"

using namespace Quorvale;

namespace
{
	Graph::NodeInfo at(double x) { return Graph::NodeInfo(Eigen::Vector3d(x, 0, 0), {}); }

	/// Runs the partition as the host does and takes its output.
	std::vector<std::unique_ptr<Graph>> partitioned(const Graph& graph, int minComponentSize = 1)
	{
		PartitionGraphsAlgorithm algorithm(graph);
		algorithm.minComponentSize = minComponentSize;
		EXPECT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
		std::vector<std::unique_ptr<Graph>> out;
		for (auto& data : algorithm.takeOutput().extractAll())
			out.emplace_back(dynamic_cast<Graph*>(data.release()));
		return out;
	}

	std::vector<int> sizes(const std::vector<std::unique_ptr<Graph>>& graphs)
	{
		std::vector<int> out;
		for (const auto& g : graphs)
			out.push_back(g->numNodes());
		return out;
	}
}

TEST(PartitionGraphsAlgorithmTest, AcceptsExactlyOneGraph)
{
	Graph a;
	Graph b;
	Data other("image");
	EXPECT_TRUE(PartitionGraphsAlgorithm::createCompatible(DataList({&other, &a}), nullptr));
	EXPECT_FALSE(PartitionGraphsAlgorithm::createCompatible(DataList({&a, &b}), nullptr));
	EXPECT_FALSE(PartitionGraphsAlgorithm::createCompatible(DataList({&other}), nullptr));

	Algorithm* created = nullptr;
	EXPECT_TRUE(PartitionGraphsAlgorithm::createCompatible(DataList({&a}), &created));
	std::unique_ptr<Algorithm> owned(created);
	ASSERT_NE(dynamic_cast<PartitionGraphsAlgorithm*>(owned.get()), nullptr);
	const auto* parameter = owned->parameter("minComponentSize");
	ASSERT_NE(parameter, nullptr);
	EXPECT_EQ(dynamic_cast<const Parameter<int>&>(*parameter).defaultValue(), 1);
}

TEST(PartitionGraphsAlgorithmTest, SmallComponentsAreDroppedAndTheRestSortedBySize)
{
	// Components {1..5} (a chain), {6}, {7, 8, 9}.
	Graph graph;
	for (int i = 1; i <= 9; ++i)
		graph.addNode(at(i));
	for (uint64_t i = 1; i < 5; ++i)
		graph.addEdge(i, i + 1, {});
	graph.addEdge(7, 8, {});
	graph.addEdge(9, 8, {});

	const auto parts = partitioned(graph, 2);
	EXPECT_EQ(sizes(parts), (std::vector<int>{5, 3}));
	EXPECT_EQ(RandomGraphs::nodeIds(*parts[1]), (std::vector<uint64_t>{1, 2, 3}));
	EXPECT_EQ(parts[1]->node(1).position().x(), 7.0);
	EXPECT_TRUE(parts[1]->edge(3, 2));

	// A negative minimum keeps every component, like 0.
	EXPECT_EQ(sizes(partitioned(graph, -4)), (std::vector<int>{5, 3, 1}));
	EXPECT_EQ(sizes(partitioned(graph, 0)), (std::vector<int>{5, 3, 1}));
	EXPECT_TRUE(partitioned(graph, 6).empty());
	EXPECT_TRUE(partitioned(Graph()).empty());
}

TEST(PartitionGraphsAlgorithmTest, DirectedGraphSplitsIntoWeakComponents)
{
	Graph graph(Graph::Type::Directed, Graph::Dimension::TwoD);
	for (int i = 1; i <= 4; ++i)
		graph.addNode(at(i));
	graph.addEdge(1, 2, {});
	graph.addEdge(3, 2, {});
	Log::ScopedCapture log;
	const auto parts = partitioned(graph);
	EXPECT_EQ(log->messages(Log::Warning), std::vector<std::string>{"Directed Graph. Computing weakly connected components."});
	ASSERT_EQ(sizes(parts), (std::vector<int>{3, 1}));
	EXPECT_EQ(parts[0]->type(), Graph::Type::Directed);
	EXPECT_EQ(parts[0]->dimension(), Graph::Dimension::TwoD);
	EXPECT_EQ(parts[0]->numEdges(), 2);
	EXPECT_TRUE(parts[0]->edge(3, 2));
	EXPECT_FALSE(parts[0]->edge(2, 3));
}

TEST(PartitionGraphsAlgorithmTest, ComponentGraphsKeepRecordsDescriptorsAndPlacement)
{
	Graph graph;
	graph.addNodeFeatureDescriptors({{"degree", 3.0}});
	graph.addEdgeFeatureDescriptors({{"length", 4.0}});
	Eigen::Matrix4d matrix = Eigen::Matrix4d::Identity();
	matrix(1, 3) = 7.0;
	graph.setMatrixToWorld(matrix);
	graph.addNode(Graph::NodeInfo(Eigen::Vector3d(1, 2, 3), {5.0}));
	graph.addNode(Graph::NodeInfo(Eigen::Vector3d(4, 5, 6), {6.0}));
	graph.nodeAttributes(2).setParam("name", std::string("tip"));
	Graph::EdgeInfo edge({0.5, 9.0});
	edge.attributes().setParam("kind", std::string("artery"));
	graph.addEdge(1, 2, edge);
	graph.addEdge(2, 2, Graph::EdgeInfo({1.5, 2.5}));

	const auto parts = partitioned(graph);
	ASSERT_EQ(parts.size(), 1u);
	const Graph& part = *parts[0];
	EXPECT_EQ(part.matrixToWorld(), matrix);
	ASSERT_EQ(part.nodeFeatureDescriptors().size(), 1u);
	EXPECT_EQ(part.nodeFeatureDescriptors()[0].defaultValue, 3.0);
	ASSERT_EQ(part.edgeFeatureDescriptors().size(), 2u);
	EXPECT_EQ(part.edgeFeatureDescriptors()[1].name, "length");
	EXPECT_TRUE(RandomGraphs::sameNode(part.node(2), graph.node(2)));
	EXPECT_TRUE(RandomGraphs::sameEdge(*part.edge(2, 1), edge));
	// The edge and the self-loop are stored once each.
	EXPECT_EQ(part.numEdges(), 2);
	EXPECT_EQ(part.edge(2, 2)->features(), (std::vector<double>{1.5, 2.5}));
	// The input is untouched.
	EXPECT_EQ(graph.numNodes(), 2);
}

TEST(PartitionGraphsAlgorithmTest, OutputIsHandedOverOnceAndReplacedByTheNextRun)
{
	Graph graph;
	graph.addNode(at(1));
	graph.addNode(at(2));
	PartitionGraphsAlgorithm algorithm(graph);
	EXPECT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
	EXPECT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
	EXPECT_EQ(algorithm.takeOutput().size(), 2);
	EXPECT_EQ(algorithm.takeOutput().size(), 0);
}

TEST(PartitionGraphsAlgorithmTest, RandomGraphsSplitIntoDisjointConnectedParts)
{
	for (unsigned seed = 1; seed <= 20; ++seed)
	{
		SCOPED_TRACE(seed);
		std::mt19937_64 random(seed);
		const auto type = seed % 2 ? Graph::Type::Undirected : Graph::Type::Directed;
		const Graph graph = RandomGraphs::randomGraph(random, 300, 220, type);
		const int minSize = static_cast<int>(seed % 4);
		Log::ScopedCapture quiet;
		const auto parts = partitioned(graph, minSize);

		const auto components = PartitionGraphsAlgorithm::computeConnectedComponents(graph);
		size_t expectedParts = 0;
		std::set<uint64_t> expectedNodes;
		for (const auto& [number, members] : components)
			if (static_cast<int>(members.size()) >= minSize)
			{
				++expectedParts;
				expectedNodes.insert(members.begin(), members.end());
			}
		ASSERT_EQ(parts.size(), expectedParts);

		std::set<uint64_t> seen;
		int edges = 0;
		int previousSize = graph.numNodes();
		for (const auto& part : parts)
		{
			EXPECT_LE(part->numNodes(), previousSize);
			previousSize = part->numNodes();
			EXPECT_EQ(PartitionGraphsAlgorithm::computeConnectedComponents(*part).size(), 1u);
			EXPECT_EQ(part->maxNodeIdx(), static_cast<uint64_t>(part->numNodes()));
			part->forEachNode(
			    [&](uint64_t, const Graph::NodeInfo& info)
			    {
				    const uint64_t source = RandomGraphs::origin(info);
				    EXPECT_TRUE(seen.insert(source).second);
				    EXPECT_TRUE(RandomGraphs::sameNode(info, graph.node(source)));
			    });
			part->forEachEdge(
			    [&](const Graph::EdgeInfo& edge, const Graph::NodeInfo& from, const Graph::NodeInfo& to)
			    {
				    const auto& original = graph.edge(RandomGraphs::origin(from), RandomGraphs::origin(to));
				    ASSERT_TRUE(original);
				    EXPECT_TRUE(RandomGraphs::sameEdge(edge, *original));
			    });
			edges += part->numEdges();
		}
		EXPECT_EQ(seen, expectedNodes);
		if (minSize <= 1)
		{
			EXPECT_EQ(static_cast<int>(seen.size()), graph.numNodes());
			EXPECT_EQ(edges, graph.numEdges());
		}
	}
}
