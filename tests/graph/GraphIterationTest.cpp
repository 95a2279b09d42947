#include "src/graph/Graph.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <tuple>
#include <utility>
#include <vector>

using namespace Quorvale;

namespace
{
	using EdgeList = std::vector<std::pair<uint64_t, uint64_t>>;

	Graph::NodeInfo at(double x) { return Graph::NodeInfo(Eigen::Vector3d(x, 0, 0), {}); }

	Graph withNodes(int n, Graph::Type type = Graph::Type::Undirected)
	{
		Graph graph(type);
		for (int i = 1; i <= n; ++i)
			graph.addNode(at(i));
		return graph;
	}

	EdgeList visitedEdges(const Graph& graph)
	{
		EdgeList out;
		graph.forEachEdge([&](const Graph::EdgeInfo&, uint64_t a, uint64_t b) { out.emplace_back(a, b); });
		return out;
	}

	std::vector<uint64_t> walk(const Graph& graph, uint64_t start, Graph::TraversalStrategy strategy)
	{
		std::vector<uint64_t> order;
		graph.forEachNode([&](uint64_t id, const Graph::NodeInfo&) { order.push_back(id); }, start, strategy);
		return order;
	}

	/// The chain 1 – 2 – ... – n (each edge's feature is its lower end).
	Graph chain(int n, Graph::Type type = Graph::Type::Undirected)
	{
		Graph graph = withNodes(n, type);
		for (uint64_t i = 1; i < static_cast<uint64_t>(n); ++i)
			graph.addEdge(i, i + 1, Graph::EdgeInfo({static_cast<double>(i)}));
		return graph;
	}
}

TEST(GraphIterationTest, EdgesAreVisitedOncePerStoredDirection)
{
	Graph graph = withNodes(3);
	graph.addEdge(2, 3, {});
	graph.addEdge(2, 1, {});
	EXPECT_EQ(visitedEdges(graph), (EdgeList{{1, 2}, {2, 3}}));

	graph.setDirected();
	EXPECT_EQ(visitedEdges(graph), (EdgeList{{1, 2}, {2, 1}, {2, 3}, {3, 2}}));

	Graph directed = withNodes(3, Graph::Type::Directed);
	directed.addEdge(3, 1, {});
	directed.addEdge(2, 2, {});
	EXPECT_EQ(visitedEdges(directed), (EdgeList{{2, 2}, {3, 1}}));
}

TEST(GraphIterationTest, EdgeVisitFormsAgree)
{
	Graph graph = withNodes(4, Graph::Type::Directed);
	graph.addEdge(4, 1, {});
	graph.addEdge(1, 3, {});
	graph.addEdge(3, 3, {});
	std::vector<std::tuple<double, double>> byInfo;
	graph.forEachEdge([&](const Graph::EdgeInfo&, const Graph::NodeInfo& from, const Graph::NodeInfo& to)
	                  { byInfo.emplace_back(from.position().x(), to.position().x()); });
	EdgeList byBoth;
	graph.forEachEdge(
	    [&](const Graph::EdgeInfo&, uint64_t a, const Graph::NodeInfo& from, uint64_t b, const Graph::NodeInfo& to)
	    {
		    EXPECT_EQ(from.position().x(), static_cast<double>(a));
		    EXPECT_EQ(to.position().x(), static_cast<double>(b));
		    byBoth.emplace_back(a, b);
	    });
	EXPECT_EQ(byBoth, visitedEdges(graph));
	EXPECT_EQ(byInfo, (std::vector<std::tuple<double, double>>{{1, 3}, {3, 3}, {4, 1}}));
}

TEST(GraphIterationTest, EditingEachEdgeChangesBothCopiesOnce)
{
	Graph graph = withNodes(3);
	graph.addEdge(1, 2, Graph::EdgeInfo({1.0}));
	graph.addEdge(3, 2, Graph::EdgeInfo({5.0}));
	graph.addEdge(3, 3, Graph::EdgeInfo({7.0}));
	graph.editEachEdge([](Graph::EdgeInfo& e, uint64_t, uint64_t) { e.features()[0] += 1.0; });
	EXPECT_EQ(graph.edge(1, 2)->features()[0], 2.0);
	EXPECT_EQ(graph.edge(2, 1)->features()[0], 2.0);
	EXPECT_EQ(graph.edge(2, 3)->features()[0], 6.0);
	EXPECT_EQ(graph.edge(3, 2)->features()[0], 6.0);
	EXPECT_EQ(graph.edge(3, 3)->features()[0], 8.0);

	// The other forms mirror too, attributes included, and every record is fitted afterwards.
	graph.editEachEdge(
	    [](Graph::EdgeInfo& e, const Graph::NodeInfo& from, const Graph::NodeInfo& to)
	    {
		    e.attributes().setParam("span", to.position().x() - from.position().x());
		    e.features().push_back(99.0);
	    });
	EXPECT_EQ(graph.edge(3, 2)->attributes().param<double>("span"), 1.0);
	EXPECT_EQ(graph.edge(3, 2)->features(), std::vector<double>{6.0});
	graph.editEachEdge([](Graph::EdgeInfo& e, uint64_t a, const Graph::NodeInfo&, uint64_t b, const Graph::NodeInfo&)
	                   { e.features().clear(); });
	EXPECT_EQ(graph.edge(2, 1)->features(), std::vector<double>{0.0});
}

TEST(GraphIterationTest, EditingOneEdge)
{
	Graph graph = withNodes(2);
	graph.addEdge(1, 2, Graph::EdgeInfo({1.0}));
	graph.editEdge(2, 1, [](Graph::EdgeInfo& e) { e.features() = {4.0, 5.0}; });
	EXPECT_EQ(graph.edge(1, 2)->features(), std::vector<double>{4.0});
	EXPECT_EQ(graph.edge(2, 1)->features(), std::vector<double>{4.0});

	int calls = 0;
	graph.editEdge(1, 7, [&](Graph::EdgeInfo&) { ++calls; });
	graph.editEdge(7, 1, [&](Graph::EdgeInfo&) { ++calls; });
	EXPECT_EQ(calls, 0);

	Graph directed = withNodes(2, Graph::Type::Directed);
	directed.addEdge(1, 2, Graph::EdgeInfo({1.0}));
	directed.editEdge(2, 1, [&](Graph::EdgeInfo&) { ++calls; });
	EXPECT_EQ(calls, 0);
	EXPECT_FALSE(directed.edge(2, 1).has_value());
	directed.editEdge(1, 2, [](Graph::EdgeInfo& e) { e.features()[0] = 3.0; });
	EXPECT_EQ(directed.edge(1, 2)->features()[0], 3.0);
	EXPECT_FALSE(directed.edge(2, 1).has_value());
}

TEST(GraphIterationTest, EditingNodes)
{
	Graph graph = withNodes(3);
	graph.addNodeFeatureDescriptors({{"f", 2.0}});
	graph.addEdge(1, 2, {});
	int calls = 0;
	graph.editNode(9, [&](Graph::NodeInfo&) { ++calls; });
	EXPECT_EQ(calls, 0);

	graph.editNode(2,
	               [](Graph::NodeInfo& n)
	               {
		               n.features().clear();
		               n.position().y() = 4.0;
	               });
	EXPECT_EQ(graph.node(2).features(), std::vector<double>{2.0});
	EXPECT_EQ(graph.node(2).position().y(), 4.0);

	graph.editEachNode(
	    [](uint64_t id, Graph::NodeInfo& n, const Graph::Neighborhood& nb) {
		    n.features() = {static_cast<double>(nb.size()), 1.0 * id};
	    });
	EXPECT_EQ(graph.node(1).features(), std::vector<double>{1.0});
	EXPECT_EQ(graph.node(3).features(), std::vector<double>{0.0});
}

TEST(GraphIterationTest, Degrees)
{
	Graph loop = withNodes(1);
	loop.addEdge(1, 1, {});
	EXPECT_EQ(loop.degree(1, Graph::DegreeType::Total), 2);
	EXPECT_EQ(loop.degree(1, Graph::DegreeType::In), 2);

	Graph directedLoop = withNodes(1, Graph::Type::Directed);
	directedLoop.addEdge(1, 1, {});
	EXPECT_EQ(directedLoop.degree(1, Graph::DegreeType::In), 1);
	EXPECT_EQ(directedLoop.degree(1, Graph::DegreeType::Out), 1);
	EXPECT_EQ(directedLoop.degree(1, Graph::DegreeType::Total), 2);

	// An engaged entry counts only as outgoing, even with the edge back.
	Graph pair = withNodes(3, Graph::Type::Directed);
	pair.addEdge(1, 2, {});
	pair.addEdge(2, 1, {});
	pair.addEdge(3, 1, {});
	EXPECT_EQ(pair.degree(1, Graph::DegreeType::In), 1);
	EXPECT_EQ(pair.degree(1, Graph::DegreeType::Out), 1);
	EXPECT_EQ(pair.degree(1, Graph::DegreeType::Total), 2);
	EXPECT_EQ(pair.degree(1, static_cast<Graph::DegreeType>(3)), 0);

	Graph star = withNodes(4);
	for (uint64_t leaf : {2u, 3u, 4u})
		star.addEdge(1, leaf, {});
	EXPECT_EQ(star.degree(1, Graph::DegreeType::Out), 3);
	EXPECT_EQ(star.degree(4, Graph::DegreeType::Total), 1);
}

TEST(GraphIterationTest, MissingEdgesReadAsTheSharedEmptyRecord)
{
	Graph graph = withNodes(2, Graph::Type::Directed);
	graph.addEdge(1, 2, {});
	EXPECT_FALSE(graph.edge(2, 1).has_value());
	EXPECT_FALSE(graph.edge(5, 1).has_value());
	EXPECT_FALSE(graph.edge(1, 5).has_value());
	EXPECT_EQ(&graph.edge(5, 1), &graph.edge(1, 1));
	EXPECT_NE(&graph.edge(2, 1), &graph.edge(5, 1));
}

TEST(GraphIterationTest, StartNodeVisitOrders)
{
	Graph graph = withNodes(4);
	graph.addEdge(1, 2, Graph::EdgeInfo({12}));
	graph.addEdge(2, 3, Graph::EdgeInfo({23}));
	graph.addEdge(1, 4, Graph::EdgeInfo({14}));
	EXPECT_EQ(walk(graph, 1, Graph::TraversalStrategy::BreadthFirst), (std::vector<uint64_t>{1, 2, 4, 3}));
	EXPECT_EQ(walk(graph, 1, Graph::TraversalStrategy::DepthFirst), (std::vector<uint64_t>{1, 4, 2, 3}));
	EXPECT_EQ(walk(graph, 1, static_cast<Graph::TraversalStrategy>(7)), (std::vector<uint64_t>{1, 4, 2, 3}));

	// Each node comes with the edge that first reached it.
	std::vector<std::pair<uint64_t, double>> reached;
	graph.forEachNode([&](uint64_t id, const Graph::NodeInfo&, const Graph::EdgeInfo* via)
	                  { reached.emplace_back(id, via ? via->features()[0] : -1.0); },
	                  3, Graph::TraversalStrategy::BreadthFirst);
	EXPECT_EQ(reached, (std::vector<std::pair<uint64_t, double>>{{3, -1}, {2, 23}, {1, 12}, {4, 14}}));

	// A cycle visits every node once.
	graph.addEdge(3, 4, {});
	EXPECT_EQ(walk(graph, 2, Graph::TraversalStrategy::DepthFirst), (std::vector<uint64_t>{2, 3, 4, 1}));
}

TEST(GraphIterationTest, StartNodeVisitFollowsOutgoingEdgesOnly)
{
	Graph graph = withNodes(4, Graph::Type::Directed);
	graph.addEdge(1, 2, {});
	graph.addEdge(3, 2, {});
	graph.addEdge(2, 4, {});
	EXPECT_EQ(walk(graph, 1, Graph::TraversalStrategy::BreadthFirst), (std::vector<uint64_t>{1, 2, 4}));
	EXPECT_EQ(walk(graph, 4, Graph::TraversalStrategy::BreadthFirst), std::vector<uint64_t>{4});
	EXPECT_THROW(walk(graph, 9, Graph::TraversalStrategy::BreadthFirst), std::out_of_range);
}

TEST(GraphIterationTest, TraverseFollowsTheChooser)
{
	Graph graph = chain(3);
	std::vector<uint64_t> path;
	std::vector<size_t> offered;
	graph.traverse(
	    1,
	    [&](uint64_t id, const Graph::NodeInfo&, const std::vector<const Graph::NodeInfo*>& candidates, const std::vector<uint64_t>& ids)
	    {
		    path.push_back(id);
		    offered.push_back(ids.size());
		    EXPECT_EQ(candidates.size(), ids.size());
		    return candidates.empty() ? nullptr : candidates.front();
	    });
	EXPECT_EQ(path, (std::vector<uint64_t>{1, 2, 3}));
	EXPECT_EQ(offered, (std::vector<size_t>{1, 1, 0}));

	// On a cycle a visited node is never offered again, so the walk ends.
	graph.addEdge(3, 1, {});
	int steps = 0;
	graph.traverse(2,
	               [&](const std::vector<const Graph::NodeInfo*>& candidates)
	               {
		               ++steps;
		               return candidates.empty() ? nullptr : candidates.back();
	               });
	EXPECT_EQ(steps, 3);

	// A pointer that is not a candidate stops the walk, like null.
	steps = 0;
	graph.traverse(1,
	               [&](uint64_t, const Graph::NodeInfo& current, const std::vector<const Graph::NodeInfo*>&)
	               {
		               ++steps;
		               return &current;
	               });
	EXPECT_EQ(steps, 1);

	graph.traverse(42,
	               [&](const std::vector<const Graph::NodeInfo*>&) -> const Graph::NodeInfo*
	               {
		               ADD_FAILURE() << "a missing start must not call the chooser";
		               return nullptr;
	               });
}

TEST(GraphIterationTest, EmptyCallbacksThrowOnlyWhenCalled)
{
	Graph none;
	EXPECT_NO_THROW(none.forEachNode(std::function<void(uint64_t, const Graph::NodeInfo&)>()));
	EXPECT_NO_THROW(none.editEachEdge(std::function<void(Graph::EdgeInfo&, uint64_t, uint64_t)>()));

	Graph graph = chain(2);
	EXPECT_THROW(graph.forEachNode(std::function<void(uint64_t, const Graph::NodeInfo&)>()), std::bad_function_call);
	EXPECT_THROW(graph.forEachEdge(std::function<void(const Graph::EdgeInfo&, uint64_t, uint64_t)>()), std::bad_function_call);
	EXPECT_THROW(graph.editEdge(1, 2, std::function<void(Graph::EdgeInfo&)>()), std::bad_function_call);
	EXPECT_THROW(graph.traverse(1, Graph::PathChooser()), std::bad_function_call);
}

TEST(GraphIterationTest, CallbackExceptionsPropagateAndKeepEarlierEdits)
{
	Graph graph = withNodes(3);
	graph.addNodeFeatureDescriptors({{"f", 0.0}});
	EXPECT_THROW(graph.editEachNode(
	                 [](uint64_t id, Graph::NodeInfo& n)
	                 {
		                 if (id == 2)
			                 throw std::runtime_error("stop");
		                 n.features()[0] = 1.0;
	                 }),
	             std::runtime_error);
	EXPECT_EQ(graph.node(1).features()[0], 1.0);
	EXPECT_EQ(graph.node(3).features()[0], 0.0);
}

// Long chains must not exhaust the stack or take quadratic time anywhere.
TEST(GraphIterationTest, LongChainsAreWalkedIteratively)
{
	constexpr int n = 200000;
	Graph graph = chain(n);

	size_t length = 0;
	graph.traverse(1,
	               [&](const std::vector<const Graph::NodeInfo*>& candidates)
	               {
		               ++length;
		               return candidates.empty() ? nullptr : candidates.front();
	               });
	EXPECT_EQ(length, static_cast<size_t>(n));

	for (auto strategy : {Graph::TraversalStrategy::BreadthFirst, Graph::TraversalStrategy::DepthFirst})
	{
		const auto order = walk(graph, n / 2, strategy);
		ASSERT_EQ(order.size(), static_cast<size_t>(n));
	}

	EXPECT_EQ(graph.numEdges(), n - 1);
	Graph copy(graph);
	copy.removeNode(n / 2);
	EXPECT_EQ(copy.numEdges(), n - 3);
	EXPECT_EQ(walk(copy, 1, Graph::TraversalStrategy::DepthFirst).size(), static_cast<size_t>(n / 2 - 1));
}
