#include "src/algorithms/GraphFeatureUtils.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "host/core/Log.h"

using namespace Quorvale;

namespace
{
	/// Nodes 1 … n at (i, 0, 0) joined in order.
	Graph path(int n, Graph::Type type = Graph::Type::Undirected)
	{
		Graph graph(type);
		for (int i = 1; i <= n; ++i)
			graph.addNode(Graph::NodeInfo(Eigen::Vector3d(i, 0, 0), {}));
		for (int i = 1; i < n; ++i)
			graph.addEdge(static_cast<uint64_t>(i), static_cast<uint64_t>(i + 1), {});
		return graph;
	}

	/// An edge carrying only the given "length" (the graph must have that column at index 1).
	void addLengthEdge(Graph& graph, uint64_t a, uint64_t b, double length) { graph.addEdge(a, b, Graph::EdgeInfo({0.0, length})); }

	Graph lengthGraph(int nodes, Graph::Type type = Graph::Type::Undirected)
	{
		Graph graph(type);
		graph.addEdgeFeatureDescriptors({{"length", 0.0}});
		for (int i = 0; i < nodes; ++i)
			graph.addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {}));
		return graph;
	}

	std::optional<int> hops(const Graph& graph, uint64_t node, const std::string& name = "hops")
	{
		return graph.nodeAttributes(node).param<int>(name);
	}

	std::vector<std::optional<int>> allHops(const Graph& graph, const std::string& name = "hops")
	{
		std::vector<std::optional<int>> out;
		graph.forEachNode([&](uint64_t id, const Graph::NodeInfo&) { out.push_back(hops(graph, id, name)); });
		return out;
	}
}

TEST(ShortestPathsTest, GeometricPathFollowsTheShortestLengths)
{
	// The direct edge 1–4 is longer than the detour through 2 and 3.
	Graph graph = lengthGraph(5);
	addLengthEdge(graph, 1, 2, 1.0);
	addLengthEdge(graph, 2, 3, 1.5);
	addLengthEdge(graph, 3, 4, 1.0);
	addLengthEdge(graph, 1, 4, 4.0);
	const auto found = GraphUtils::shortestGeometricPath(graph, 1, 4);
	ASSERT_TRUE(found);
	EXPECT_EQ(found->path, (std::vector<uint64_t>{1, 2, 3, 4}));
	EXPECT_EQ(found->distance, 3.5);
	const auto back = GraphUtils::shortestGeometricPath(graph, 4, 1);
	ASSERT_TRUE(back);
	EXPECT_EQ(back->path, (std::vector<uint64_t>{4, 3, 2, 1}));

	// Start equal to end; an unreachable end (node 5 has no edges) gives nothing and says nothing.
	Log::ScopedCapture log;
	const auto same = GraphUtils::shortestGeometricPath(graph, 3, 3);
	ASSERT_TRUE(same);
	EXPECT_EQ(same->path, std::vector<uint64_t>{3});
	EXPECT_EQ(same->distance, 0.0);
	EXPECT_FALSE(GraphUtils::shortestGeometricPath(graph, 1, 5));
	EXPECT_TRUE(log->messages().empty());

	// A directed graph is walked from source to target only.
	Graph directed = lengthGraph(3, Graph::Type::Directed);
	addLengthEdge(directed, 1, 2, 1.0);
	addLengthEdge(directed, 3, 2, 1.0);
	EXPECT_TRUE(GraphUtils::shortestGeometricPath(directed, 1, 2));
	EXPECT_FALSE(GraphUtils::shortestGeometricPath(directed, 2, 1));
	EXPECT_FALSE(GraphUtils::shortestGeometricPath(directed, 1, 3));
}

TEST(ShortestPathsTest, EqualDistancesExpandTheSmallerNodeFirst)
{
	// Nodes 3 and 5 are both at distance 1 from node 1, 5 queued before 3. Whichever is expanded
	// first becomes the predecessor of 9, which both reach at distance 2.
	Graph graph = lengthGraph(9);
	addLengthEdge(graph, 1, 2, 0.5);
	addLengthEdge(graph, 1, 5, 1.0);
	addLengthEdge(graph, 2, 3, 0.5);
	addLengthEdge(graph, 3, 9, 1.0);
	addLengthEdge(graph, 5, 9, 1.0);
	const auto found = GraphUtils::shortestGeometricPath(graph, 1, 9);
	ASSERT_TRUE(found);
	EXPECT_EQ(found->path, (std::vector<uint64_t>{1, 2, 3, 9}));
	EXPECT_EQ(found->distance, 2.0);
}

TEST(ShortestPathsTest, GeometricPathReportsBadInput)
{
	Graph graph = path(4);
	{
		Log::ScopedCapture log;
		EXPECT_FALSE(GraphUtils::shortestGeometricPath(graph, 1, 17));
		EXPECT_FALSE(GraphUtils::shortestGeometricPath(graph, 0, 2));
		EXPECT_EQ(log->messages(Log::Error), std::vector<std::string>(2, "Invalid start or end node provided to shortestGeometricPath."));
		EXPECT_EQ(log->records().at(0).category, "");
	}

	// Without a "length" feature the lengths are computed from the positions and kept.
	EXPECT_FALSE(graph.getEdgeFeatureIdx("length"));
	const auto found = GraphUtils::shortestGeometricPath(graph, 1, 4);
	ASSERT_TRUE(found);
	EXPECT_EQ(found->distance, 3.0);
	ASSERT_TRUE(graph.getEdgeFeatureIdx("length"));

	// A negative length on the way fails; one the search never meets does not matter.
	Graph negative = lengthGraph(5);
	addLengthEdge(negative, 1, 2, 1.0);
	addLengthEdge(negative, 2, 3, -0.5);
	addLengthEdge(negative, 4, 5, -1.0);
	Log::ScopedCapture log;
	EXPECT_FALSE(GraphUtils::shortestGeometricPath(negative, 1, 3));
	EXPECT_EQ(log->messages(Log::Error), std::vector<std::string>{"Negative edge length detected between nodes 2 and 3 ."});
	EXPECT_TRUE(GraphUtils::shortestGeometricPath(negative, 1, 2));
}

TEST(ShortestPathsTest, GeometricPathsAgreeWithAllPairsDistances)
{
	std::mt19937_64 random(11);
	std::uniform_real_distribution<double> length(0.0, 10.0);
	for (Graph::Type type : {Graph::Type::Undirected, Graph::Type::Directed})
	{
		const int n = 40;
		Graph graph = lengthGraph(n, type);
		std::uniform_int_distribution<uint64_t> pick(1, static_cast<uint64_t>(n));
		for (int i = 0; i < 90; ++i)
			addLengthEdge(graph, pick(random), pick(random), i % 10 == 0 ? 0.0 : length(random));

		// Floyd–Warshall over the same edges.
		const double infinity = std::numeric_limits<double>::infinity();
		std::vector<std::vector<double>> d(n + 1, std::vector<double>(n + 1, infinity));
		for (int i = 1; i <= n; ++i)
			d[i][i] = 0.0;
		graph.forEachEdge(
		    [&](const Graph::EdgeInfo& edge, uint64_t a, uint64_t b)
		    {
			    d[a][b] = std::min(d[a][b], edge.features()[1]);
			    if (type == Graph::Type::Undirected)
				    d[b][a] = std::min(d[b][a], edge.features()[1]);
		    });
		for (int k = 1; k <= n; ++k)
			for (int i = 1; i <= n; ++i)
				for (int j = 1; j <= n; ++j)
					d[i][j] = std::min(d[i][j], d[i][k] + d[k][j]);

		for (uint64_t s = 1; s <= static_cast<uint64_t>(n); s += 3)
			for (uint64_t t = 1; t <= static_cast<uint64_t>(n); ++t)
			{
				const auto found = GraphUtils::shortestGeometricPath(graph, s, t);
				ASSERT_EQ(found.has_value(), d[s][t] != infinity) << s << " → " << t;
				if (!found)
					continue;
				EXPECT_NEAR(found->distance, d[s][t], 1e-9);
				// The path is made of edges of the graph and adds up to its distance.
				ASSERT_EQ(found->path.front(), s);
				ASSERT_EQ(found->path.back(), t);
				double sum = 0.0;
				for (size_t i = 0; i + 1 < found->path.size(); ++i)
				{
					const auto& edge = graph.edge(found->path[i], found->path[i + 1]);
					ASSERT_TRUE(edge);
					sum += edge->features()[1];
				}
				EXPECT_NEAR(sum, found->distance, 1e-9);
			}
	}
}

TEST(ShortestPathsTest, HopCountsAndTheirPathsBack)
{
	Graph graph = path(4);
	EXPECT_TRUE(GraphUtils::singleSourceShortestPaths(graph, 1, {}, "hops"));
	EXPECT_EQ(allHops(graph), (std::vector<std::optional<int>>{0, 1, 2, 3}));
	EXPECT_EQ(GraphUtils::shortestPath(graph, 4, "hops"), (std::vector<uint64_t>{4, 3, 2, 1}));
	EXPECT_EQ(GraphUtils::shortestPath(graph, 2, "hops"), (std::vector<uint64_t>{2, 1}));
	EXPECT_EQ(GraphUtils::shortestPath(graph, 1, "hops"), std::vector<uint64_t>{});
	EXPECT_FALSE(GraphUtils::shortestPath(graph, 4, "other"));
	EXPECT_THROW(GraphUtils::shortestPath(graph, 9, "hops"), std::out_of_range);

	// Several sources: each node counts from its nearest one.
	Graph longer = path(7);
	GraphUtils::multipleSourceShortestPaths(longer, {1, 7}, {}, "hops");
	EXPECT_EQ(allHops(longer), (std::vector<std::optional<int>>{0, 1, 2, 3, 2, 1, 0}));
	EXPECT_EQ(GraphUtils::shortestPath(longer, 4, "hops"), (std::vector<uint64_t>{4, 3, 2, 1}));
	EXPECT_EQ(GraphUtils::shortestPath(longer, 5, "hops"), (std::vector<uint64_t>{5, 6, 7}));

	// A branch: the walk down from a leaf finds the way to the source past the branch node.
	Graph tree = path(4);
	tree.addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {}));
	tree.addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {}));
	tree.addEdge(2, 5, {});
	tree.addEdge(5, 6, {});
	GraphUtils::singleTargetShortestPaths(tree, 4, {}, "hops");
	EXPECT_EQ(GraphUtils::shortestPath(tree, 6, "hops"), (std::vector<uint64_t>{6, 5, 2, 3, 4}));
}

TEST(ShortestPathsTest, BlockedNodesAndRepeatedRuns)
{
	// 1–2–3–4 plus 2–5: blocking 3 leaves 3 and 4 without a count.
	Graph graph = path(4);
	graph.addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {}));
	graph.addEdge(2, 5, {});
	GraphUtils::singleSourceShortestPaths(graph, 1, {3}, "hops");
	EXPECT_EQ(allHops(graph), (std::vector<std::optional<int>>{0, 1, std::nullopt, std::nullopt, 2}));

	// A second run under the same name first removes every earlier count; other names stay.
	GraphUtils::singleSourceShortestPaths(graph, 5, {}, "other");
	GraphUtils::singleSourceShortestPaths(graph, 4, {2}, "hops");
	EXPECT_EQ(allHops(graph), (std::vector<std::optional<int>>{std::nullopt, std::nullopt, 1, 0, std::nullopt}));
	EXPECT_EQ(allHops(graph, "other"), (std::vector<std::optional<int>>{2, 1, 2, 3, 0}));

	// The four entry points agree.
	std::vector<std::vector<std::optional<int>>> results;
	for (int entry = 0; entry < 4; ++entry)
	{
		Graph g = graph;
		switch (entry)
		{
			case 0: GraphUtils::multipleTargetShortestPaths(g, {3}, {5}, "hops"); break;
			case 1: GraphUtils::multipleSourceShortestPaths(g, {3}, {5}, "hops"); break;
			case 2: GraphUtils::singleSourceShortestPaths(g, 3, {5}, "hops"); break;
			default: GraphUtils::singleTargetShortestPaths(g, 3, {5}, "hops"); break;
		}
		results.push_back(allHops(g));
	}
	EXPECT_EQ(results, std::vector<std::vector<std::optional<int>>>(4, results.front()));
	EXPECT_EQ(results.front(), (std::vector<std::optional<int>>{2, 1, 0, 1, std::nullopt}));

	// A source that is not a node throws before anything changes.
	EXPECT_THROW(GraphUtils::multipleTargetShortestPaths(graph, {1, 42}, {}, "hops"), std::out_of_range);
	EXPECT_EQ(allHops(graph), (std::vector<std::optional<int>>{std::nullopt, std::nullopt, 1, 0, std::nullopt}));

	// Directed graphs: the search moves through arriving entries too.
	Graph directed = path(3, Graph::Type::Directed);
	GraphUtils::singleSourceShortestPaths(directed, 3, {}, "hops");
	EXPECT_EQ(allHops(directed), (std::vector<std::optional<int>>{2, 1, 0}));
}

TEST(ShortestPathsTest, LongChainsNeedNoDeepStack)
{
	const int n = 200000;
	Graph graph = path(n);
	const auto found = GraphUtils::shortestGeometricPath(graph, 1, static_cast<uint64_t>(n));
	ASSERT_TRUE(found);
	EXPECT_EQ(found->path.size(), static_cast<size_t>(n));
	EXPECT_EQ(found->distance, n - 1.0);
	GraphUtils::singleSourceShortestPaths(graph, 1, {}, "hops");
	EXPECT_EQ(hops(graph, static_cast<uint64_t>(n)), n - 1);
	const auto back = GraphUtils::shortestPath(graph, static_cast<uint64_t>(n), "hops");
	ASSERT_TRUE(back);
	EXPECT_EQ(back->size(), static_cast<size_t>(n));
	EXPECT_EQ(back->back(), 1u);
}
