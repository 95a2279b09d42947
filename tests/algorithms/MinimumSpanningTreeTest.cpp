#include "src/algorithms/MinimumSpanningTreeAlgorithm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "host/core/Log.h"
#include "host/lib/AlgorithmRunner.h"
#include "host/lib/DataList.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "src/algorithms/MinimumSpanningTree.h"
#include "src/algorithms/PartitionGraphsAlgorithm.h"
#include "src/graph/GraphUtils.h"
#include "tests/algorithms/RandomGraphs.h"

using namespace Quorvale;

namespace
{
	using WeightMode = MinimumSpanningTreeAlgorithm::WeightMode;
	using Edge = std::pair<uint64_t, uint64_t>;

	uint64_t addAt(Graph& graph, double x, double y, double z = 0.0)
	{
		return graph.addNode(Graph::NodeInfo(Eigen::Vector3d(x, y, z), {}));
	}

	/// Adds an edge whose first feature ("diameter") is `diameter`.
	void link(Graph& graph, uint64_t a, uint64_t b, double diameter = 0.0) { graph.addEdge(a, b, Graph::EdgeInfo({diameter})); }

	/// The undirected edges as (lower, higher) pairs.
	std::set<Edge> edgesOf(const Graph& graph)
	{
		std::set<Edge> edges;
		graph.forEachEdge([&](const Graph::EdgeInfo&, uint64_t a, uint64_t b) { edges.emplace(std::min(a, b), std::max(a, b)); });
		return edges;
	}

	/// Runs the algorithm and returns its status and result.
	std::pair<int, std::unique_ptr<Graph>> spanningTree(Graph& graph, WeightMode mode, bool pruneBySegment = false,
	                                                    const std::string& feature = {}, SharedImageSet* labels = nullptr)
	{
		MinimumSpanningTreeAlgorithm algorithm(graph, labels);
		algorithm.weightMode = mode;
		algorithm.pruneBySegment = pruneBySegment;
		algorithm.edgeFeatureName = feature;
		const int status = AlgorithmRunner::run(algorithm);
		return {status, algorithm.takeOutput().extractFirst<Graph>()};
	}

	/// Two branch nodes joined by a thick segment (1-x-x-2, diameter 4) and a thin one (1-y-2,
	/// diameter 1), each branch node with a leaf of its own.
	Graph twoSegmentCycle()
	{
		Graph graph;
		const uint64_t a = addAt(graph, 0, 0);
		const uint64_t b = addAt(graph, 3, 0);
		const uint64_t x1 = addAt(graph, 1, 1);
		const uint64_t x2 = addAt(graph, 2, 1);
		const uint64_t y1 = addAt(graph, 1.5, -1);
		link(graph, a, x1, 4.0);
		link(graph, x1, x2, 4.0);
		link(graph, x2, b, 4.0);
		link(graph, a, y1, 1.0);
		link(graph, y1, b, 1.0);
		link(graph, a, addAt(graph, -1, 0), 3.0);
		link(graph, b, addAt(graph, 4, 0), 3.0);
		return graph;
	}

	/// The largest key on the tree path between a and b, or empty when they are not connected.
	std::optional<double> largestKeyOnPath(const Graph& tree, int keyIdx, uint64_t a, uint64_t b)
	{
		std::map<uint64_t, uint64_t> parent{{a, a}};
		std::deque<uint64_t> queue{a};
		while (!queue.empty() && !parent.count(b))
		{
			const uint64_t u = queue.front();
			queue.pop_front();
			for (const auto& [v, edge] : tree.neighborhood(u))
				if (parent.emplace(v, u).second)
					queue.push_back(v);
		}
		if (!parent.count(b))
			return std::nullopt;
		double largest = -std::numeric_limits<double>::infinity();
		for (uint64_t v = b; v != a; v = parent.at(v))
			largest = std::max(largest, tree.edge(v, parent.at(v))->features()[static_cast<size_t>(keyIdx)]);
		return largest;
	}
}

TEST(MinimumSpanningTreeTest, ParametersAndCreation)
{
	Graph graph;
	graph.addEdgeFeatureDescriptors({{"flow", 0.0}});
	MinimumSpanningTreeAlgorithm algorithm(graph, nullptr);
	EXPECT_EQ(algorithm.weightMode.value(), WeightMode::EdgeLength);
	EXPECT_EQ(algorithm.weightMode.attribute("values"), "EdgeLength, Diameter, WeightedDiameterEdgeLength, UserDefined");
	EXPECT_EQ(algorithm.edgeFeatureName.attribute("values"), "diameter,flow");
	EXPECT_EQ(algorithm.edgeFeatureName.attribute("hidden"), "true");
	EXPECT_FALSE(algorithm.pruneBySegment.value());
	algorithm.weightMode = WeightMode::UserDefined;
	EXPECT_EQ(algorithm.edgeFeatureName.attribute("hidden"), "false");
	algorithm.weightMode = WeightMode::Diameter;
	EXPECT_EQ(algorithm.edgeFeatureName.attribute("hidden"), "true");

	SharedImageSet labels(std::make_unique<SharedImage>(TypedImage<unsigned char>::create({4, 4, 4})));
	Data other("other");
	EXPECT_TRUE(MinimumSpanningTreeAlgorithm::createCompatible(DataList({&graph}), nullptr));
	EXPECT_TRUE(MinimumSpanningTreeAlgorithm::createCompatible(DataList({&labels, &graph}), nullptr));
	EXPECT_FALSE(MinimumSpanningTreeAlgorithm::createCompatible(DataList({&graph, &graph}), nullptr));
	EXPECT_FALSE(MinimumSpanningTreeAlgorithm::createCompatible(DataList({&graph, &labels, &labels}), nullptr));
	EXPECT_FALSE(MinimumSpanningTreeAlgorithm::createCompatible(DataList({&graph, &other}), nullptr));
	EXPECT_EQ(MinimumSpanningTreeAlgorithm::sumOfValues({}), 0.0);
	EXPECT_EQ(MinimumSpanningTreeAlgorithm::sumOfValues({1.5, 2.0}), 3.5);
}

TEST(MinimumSpanningTreeTest, KeysAreInverseWeightsAndKruskalKeepsTheHeaviest)
{
	// Triangle with sides 3, 4 and 5: keys 1/3, 1/4, 1/5; the side of length 3 goes.
	Graph triangle;
	const uint64_t a = addAt(triangle, 0, 0);
	const uint64_t b = addAt(triangle, 3, 0);
	const uint64_t c = addAt(triangle, 3, 4);
	link(triangle, a, b);
	link(triangle, b, c);
	link(triangle, a, c);
	Log::ScopedCapture capture;
	auto [status, tree] = spanningTree(triangle, WeightMode::EdgeLength);
	EXPECT_EQ(status, Algorithm::Success);
	ASSERT_TRUE(tree);
	// Asserted: the edges are read below.
	ASSERT_EQ(edgesOf(*tree), (std::set<Edge>{{b, c}, {a, c}}));
	const std::optional<int> key = tree->getEdgeFeatureIdx("mstSortKey");
	const std::optional<int> length = tree->getEdgeFeatureIdx("length");
	ASSERT_TRUE(key && length);
	EXPECT_NEAR(tree->edge(b, c)->features()[static_cast<size_t>(*key)], 0.25, 1e-15);
	EXPECT_NEAR(tree->edge(a, c)->features()[static_cast<size_t>(*key)], 0.2, 1e-15);
	EXPECT_EQ(tree->edge(a, c)->features()[static_cast<size_t>(*length)], 5.0);
	EXPECT_EQ(capture->messages(Log::Info), (std::vector<std::string>{"Mode: EdgeLength."}));
	EXPECT_EQ(capture->count(Log::Warning), 0);
	// The input is not changed.
	EXPECT_EQ(triangle.numEdges(), 3);
	EXPECT_FALSE(triangle.getEdgeFeatureIdx("mstSortKey"));

	// A weight of 0 gets key 100: after the weight 0.02 (key 50), before 0.005 (key 200).
	Graph weights;
	weights.addEdgeFeatureDescriptors({{"w", 0.0}});
	const uint64_t p = addAt(weights, 0, 0);
	const uint64_t q = addAt(weights, 1, 0);
	const uint64_t r = addAt(weights, 0, 1);
	weights.addEdge(p, q, Graph::EdgeInfo({0.0, 0.0}));
	weights.addEdge(q, r, Graph::EdgeInfo({0.0, 0.005}));
	weights.addEdge(p, r, Graph::EdgeInfo({0.0, 0.02}));
	auto [userStatus, userTree] = spanningTree(weights, WeightMode::UserDefined, false, "w");
	EXPECT_EQ(userStatus, Algorithm::Success);
	ASSERT_TRUE(userTree);
	ASSERT_EQ(edgesOf(*userTree), (std::set<Edge>{{p, q}, {p, r}}));
	const std::optional<int> userKey = userTree->getEdgeFeatureIdx("mstSortKey");
	ASSERT_TRUE(userKey);
	EXPECT_EQ(userTree->edge(p, q)->features()[static_cast<size_t>(*userKey)], 100.0);

	// A forest keeps every edge and logs no warning.
	Graph forest;
	const uint64_t f1 = addAt(forest, 0, 0);
	link(forest, f1, addAt(forest, 1, 0));
	link(forest, f1, addAt(forest, 0, 1));
	link(forest, addAt(forest, 5, 5), addAt(forest, 6, 6));
	capture.sink().clear();
	auto [forestStatus, forestTree] = spanningTree(forest, WeightMode::EdgeLength);
	EXPECT_EQ(forestStatus, Algorithm::Success);
	ASSERT_TRUE(forestTree);
	EXPECT_EQ(edgesOf(*forestTree), edgesOf(forest));
	EXPECT_EQ(capture->count(Log::Warning), 0);
}

TEST(MinimumSpanningTreeTest, SegmentPruningDropsWholeSegments)
{
	// Diameter mode: the thin segment 1-y-2 shares one key, is rejected as a whole and its inner
	// node goes with it; both branch nodes stay.
	Graph graph = twoSegmentCycle();
	auto [status, tree] = spanningTree(graph, WeightMode::Diameter, true);
	EXPECT_EQ(status, Algorithm::Success);
	ASSERT_TRUE(tree);
	EXPECT_FALSE(tree->hasNode(5));
	EXPECT_EQ(tree->numNodes(), 6);
	ASSERT_EQ(edgesOf(*tree), (std::set<Edge>{{1, 3}, {3, 4}, {2, 4}, {1, 6}, {2, 7}}));
	const std::optional<int> key = tree->getEdgeFeatureIdx("mstSortKey");
	ASSERT_TRUE(key);
	EXPECT_EQ(tree->edge(1, 3)->features()[static_cast<size_t>(*key)], 0.25);
	EXPECT_EQ(tree->edge(2, 4)->features()[static_cast<size_t>(*key)], 0.25);

	// A ring without branch nodes: the rejected edge leaves a chain with two leaves, and the walk
	// from its first end takes the whole chain.
	Graph ring;
	std::vector<uint64_t> ids;
	for (int i = 0; i < 8; ++i)
		ids.push_back(addAt(ring, std::cos(i * 0.785), std::sin(i * 0.785)));
	for (size_t i = 0; i < ids.size(); ++i)
		link(ring, ids[i], ids[(i + 1) % ids.size()], 1.0 + static_cast<double>(i));
	auto [ringStatus, ringTree] = spanningTree(ring, WeightMode::EdgeLength, true);
	EXPECT_EQ(ringStatus, Algorithm::Success);
	ASSERT_TRUE(ringTree);
	EXPECT_TRUE(ringTree->empty());
}

TEST(MinimumSpanningTreeTest, MissingWeightsFailWithIncompleteInput)
{
	Graph graph = twoSegmentCycle();
	graph.editEachEdge([](Graph::EdgeInfo& edge, uint64_t, uint64_t) { edge.features()[0] = 0.0; });
	const auto check = [&](WeightMode mode, const std::string& feature, SharedImageSet* labels, const std::string& message)
	{
		Log::ScopedCapture capture;
		auto [status, result] = spanningTree(graph, mode, false, feature, labels);
		EXPECT_EQ(status, Algorithm::IncompleteInput) << message;
		const std::vector<std::string> errors = capture->messages(Log::Error);
		ASSERT_GE(errors.size(), 2u) << message;
		EXPECT_EQ(errors[errors.size() - 2], message);
		EXPECT_EQ(errors.back(), "Failed to build MST keys.");
		// The copy with its key column is there, with no edge removed.
		ASSERT_TRUE(result);
		EXPECT_TRUE(result->getEdgeFeatureIdx("mstSortKey"));
		EXPECT_EQ(edgesOf(*result), edgesOf(graph));
	};
	check(WeightMode::Diameter, {}, nullptr, "Diameter edge feature is missing or empty; provide a label map to compute it.");
	check(WeightMode::WeightedDiameterEdgeLength, {}, nullptr, "Diameter edge feature is missing; provide a label map to compute it.");
	check(WeightMode::UserDefined, "flow", nullptr, "Edge feature 'flow' not found.");
	// A label map whose pixel type cannot be measured gives no diameter column either.
	SharedImageSet signedLabels(std::make_unique<SharedImage>(TypedImage<short>::create({8, 8, 8})));
	check(WeightMode::Diameter, {}, &signedLabels, "Diameter edge feature is missing or empty; provide a label map to compute it.");
	check(WeightMode::WeightedDiameterEdgeLength, {}, &signedLabels,
	      "Diameter edge feature is missing; provide a label map to compute it.");

	Graph directed(Graph::Type::Directed);
	link(directed, addAt(directed, 0, 0), addAt(directed, 1, 0));
	Log::ScopedCapture capture;
	auto [status, result] = spanningTree(directed, WeightMode::EdgeLength);
	EXPECT_EQ(status, Algorithm::InvalidInput);
	EXPECT_FALSE(result);
	EXPECT_EQ(capture->messages(Log::Error), (std::vector<std::string>{"This algorithm only works for undirected graphs."}));
}

TEST(MinimumSpanningTreeTest, DiametersAreMeasuredInTheLabelMapWhenMissing)
{
	// A tube of radius 3 pixels along x through a 21³ label map centred on the world origin; the
	// graph is a ring lying inside it.
	auto labels = TypedImage<unsigned char>::create({21, 21, 21});
	for (int z = 0; z < 21; ++z)
		for (int y = 0; y < 21; ++y)
			for (int x = 0; x < 21; ++x)
				labels->at(x, y, z) = (y - 10) * (y - 10) + (z - 10) * (z - 10) <= 9 ? 1 : 0;
	SharedImageSet set(std::make_unique<SharedImage>(std::move(labels)));
	Graph graph;
	const uint64_t a = addAt(graph, -6, 0);
	const uint64_t b = addAt(graph, 0, 0.5);
	const uint64_t c = addAt(graph, 6, 0);
	link(graph, a, b);
	link(graph, b, c);
	link(graph, a, c);
	auto [status, tree] = spanningTree(graph, WeightMode::WeightedDiameterEdgeLength, false, {}, &set);
	EXPECT_EQ(status, Algorithm::Success);
	ASSERT_TRUE(tree);
	EXPECT_EQ(tree->numEdges(), 2);
	const auto diameter = static_cast<size_t>(*tree->getEdgeFeatureIdx("diameter"));
	tree->forEachEdge([&](const Graph::EdgeInfo& edge, uint64_t, uint64_t) { EXPECT_GT(edge.features()[diameter], 2.0); });
}

TEST(MinimumSpanningTreeTest, KeysOfZeroOverZeroSortLast)
{
	// Every length is 0, so the largest length is 0 and every key is NaN: the result must still be
	// a spanning tree.
	Graph collapsed;
	std::vector<uint64_t> ids;
	for (int i = 0; i < 40; ++i)
		ids.push_back(addAt(collapsed, 1, 2, 3));
	std::mt19937_64 random(5);
	for (int i = 0; i < 400; ++i)
		link(collapsed, ids[random() % ids.size()], ids[random() % ids.size()], 1.0 + static_cast<double>(random() % 5));
	for (size_t i = 1; i < ids.size(); ++i)
		link(collapsed, ids[i - 1], ids[i], 2.0);
	auto [status, tree] = spanningTree(collapsed, WeightMode::WeightedDiameterEdgeLength);
	EXPECT_EQ(status, Algorithm::Success);
	ASSERT_TRUE(tree);
	const size_t key = static_cast<size_t>(*tree->getEdgeFeatureIdx("mstSortKey"));
	tree->forEachEdge([key](const Graph::EdgeInfo& edge, uint64_t, uint64_t) { EXPECT_TRUE(std::isnan(edge.features()[key])); });
	EXPECT_EQ(tree->numEdges(), 39);
	EXPECT_TRUE(GraphUtils::isAcyclic(*tree));

	// NaN weights mixed with finite ones: a random tree of finite weights plus extra edges weighing
	// NaN gives back exactly the tree.
	for (int round = 0; round < 10; ++round)
	{
		Graph graph = RandomGraphs::randomConnectedGraph(random, 200, 0, Graph::Type::Undirected);
		const std::set<Edge> treeEdges = edgesOf(graph);
		const std::vector<uint64_t> nodes = RandomGraphs::nodeIds(graph);
		for (int i = 0; i < 600; ++i)
		{
			const uint64_t u = nodes[random() % nodes.size()];
			const uint64_t v = nodes[random() % nodes.size()];
			if (!graph.edge(u, v))
				graph.addEdge(u, v, Graph::EdgeInfo({0.0, std::numeric_limits<double>::quiet_NaN()}));
		}
		auto [userStatus, userTree] = spanningTree(graph, WeightMode::UserDefined, false, "w");
		EXPECT_EQ(userStatus, Algorithm::Success);
		ASSERT_TRUE(userTree);
		EXPECT_EQ(edgesOf(*userTree), treeEdges);
	}
}

TEST(MinimumSpanningTreeTest, RandomGraphsGiveMinimalSpanningForests)
{
	std::mt19937_64 random(31337);
	for (int round = 0; round < 15; ++round)
	{
		const bool connected = round % 3 != 2;
		Graph graph = connected ? RandomGraphs::randomConnectedGraph(random, 40 + 5 * round, 60, Graph::Type::Undirected)
		                        : RandomGraphs::randomGraph(random, 60, 50, Graph::Type::Undirected);
		const WeightMode mode = round % 2 == 0 ? WeightMode::EdgeLength : WeightMode::UserDefined;
		auto [status, tree] = spanningTree(graph, mode, false, mode == WeightMode::UserDefined ? "w" : "");
		ASSERT_EQ(status, Algorithm::Success);
		ASSERT_TRUE(tree);
		EXPECT_TRUE(GraphUtils::isAcyclic(*tree));
		EXPECT_EQ(tree->numNodes(), graph.numNodes());
		// A spanning forest: one edge less than nodes in every component.
		const int components = static_cast<int>(PartitionGraphsAlgorithm::computeConnectedComponents(graph).size());
		EXPECT_EQ(tree->numEdges(), graph.numNodes() - components);
		EXPECT_TRUE(!connected || components == 1);
		// Cycle property: a rejected edge joins nodes that the forest connects through edges whose
		// keys are all at most its own.
		const std::optional<int> key = tree->getEdgeFeatureIdx("mstSortKey");
		ASSERT_TRUE(key);
		const int keyIdx = *key;
		const Graph& forest = *tree;
		graph.forEachEdge(
		    [&](const Graph::EdgeInfo&, uint64_t a, uint64_t b)
		    {
			    if (forest.edge(a, b))
				    return;
			    const std::optional<double> largest = largestKeyOnPath(forest, keyIdx, a, b);
			    ASSERT_TRUE(largest) << a << "-" << b << " was removed but its ends are not connected";
			    if (a == b)
				    return;
			    const Graph::EdgeInfo& removed = *graph.edge(a, b);
			    const double weight =
			        mode == WeightMode::UserDefined ? removed.features()[1] : (graph.node(a).position() - graph.node(b).position()).norm();
			    const double key = weight == 0.0 ? 100.0 : 1.0 / weight;
			    EXPECT_LE(*largest, key);
		    });
		// Records stay as they were.
		tree->forEachNode([&](uint64_t id, const Graph::NodeInfo& info) { EXPECT_TRUE(RandomGraphs::sameNode(info, graph.node(id))); });
	}
}

TEST(MinimumSpanningTreeTest, ALongRingIsPrunedAsOneSegment)
{
	Graph ring;
	const int n = 200000;
	const double step = 2.0 * std::acos(-1.0) / n;
	for (int i = 0; i < n; ++i)
		ring.addNode(Graph::NodeInfo(Eigen::Vector3d(std::cos(i * step), std::sin(i * step), 0), {}));
	for (uint64_t i = 1; i <= static_cast<uint64_t>(n); ++i)
		ring.addEdge(i, i % n + 1, Graph::EdgeInfo({1.0}));
	auto [status, tree] = spanningTree(ring, WeightMode::Diameter);
	EXPECT_EQ(status, Algorithm::Success);
	ASSERT_TRUE(tree);
	EXPECT_EQ(tree->numEdges(), n - 1);
	auto [pruneStatus, pruned] = spanningTree(ring, WeightMode::Diameter, true);
	EXPECT_EQ(pruneStatus, Algorithm::Success);
	ASSERT_TRUE(pruned);
	EXPECT_TRUE(pruned->empty());
}

TEST(MinimumSpanningTreeTest, ByEdgeLengthIsTheAlgorithmInEdgeLengthMode)
{
	std::mt19937_64 random(4711);
	for (int round = 0; round < 6; ++round)
	{
		const bool pruneBySegment = round % 2 == 1;
		Graph graph = RandomGraphs::randomConnectedGraph(random, 50 + 10 * round, 40, Graph::Type::Undirected);
		const auto run = spanningTree(graph, WeightMode::EdgeLength, pruneBySegment);
		ASSERT_EQ(run.first, Algorithm::Success);
		ASSERT_TRUE(run.second);
		const Graph& expected = *run.second;
		const std::unique_ptr<Graph> tree = MinimumSpanningTree::byEdgeLength(graph, pruneBySegment);
		ASSERT_EQ(edgesOf(*tree), edgesOf(expected));
		EXPECT_EQ(tree->edgeFeatureDescriptors().size(), expected.edgeFeatureDescriptors().size());
		tree->forEachEdge([&](const Graph::EdgeInfo& edge, uint64_t a, uint64_t b)
		                  { EXPECT_EQ(edge.features(), expected.edge(a, b)->features()) << a << "-" << b; });
	}
	EXPECT_THROW(MinimumSpanningTree::byEdgeLength(Graph(Graph::Type::Directed), false), MinimumSpanningTree::Error);
}
