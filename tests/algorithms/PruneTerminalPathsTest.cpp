#include "src/algorithms/PruneTerminalPathsAlgorithm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <vector>

#include "host/core/Log.h"
#include "host/lib/AlgorithmRunner.h"
#include "host/lib/DataList.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "tests/algorithms/RandomGraphs.h"

using namespace Quorvale;

namespace
{
	uint64_t addAt(Graph& graph, double x, double y, double z = 0.0)
	{
		return graph.addNode(Graph::NodeInfo(Eigen::Vector3d(x, y, z), {}));
	}

	void link(Graph& graph, uint64_t a, uint64_t b, double diameter = 1.0) { graph.addEdge(a, b, Graph::EdgeInfo({diameter})); }

	/// Nodes along the x axis at the given coordinates, linked in order; returns their identifiers.
	std::vector<uint64_t> chainAlongX(Graph& graph, const std::vector<double>& xs, double y = 0.0)
	{
		std::vector<uint64_t> ids;
		for (double x : xs)
		{
			ids.push_back(addAt(graph, x, y));
			if (ids.size() > 1)
				link(graph, ids[ids.size() - 2], ids.back());
		}
		return ids;
	}

	std::set<uint64_t> nodeSet(const Graph& graph)
	{
		const std::vector<uint64_t> ids = RandomGraphs::nodeIds(graph);
		return {ids.begin(), ids.end()};
	}

	/// A star: centre at the origin, three straight arms of `armLength` split into `segments` edges.
	Graph star(double armLength, int segments)
	{
		Graph graph;
		const uint64_t centre = addAt(graph, 0, 0);
		const Eigen::Vector3d directions[3] = {{1, 0, 0}, {0, 1, 0}, {-1, 0, 0}};
		for (const Eigen::Vector3d& d : directions)
		{
			uint64_t previous = centre;
			for (int i = 1; i <= segments; ++i)
			{
				const Eigen::Vector3d p = d * armLength * i / segments;
				const uint64_t id = addAt(graph, p.x(), p.y());
				link(graph, previous, id);
				previous = id;
			}
		}
		return graph;
	}

	/// A 2-D float image set of 41 × 41 pixels, spacing 1, filled by `value(x, y)`.
	template <typename F>
	std::unique_ptr<SharedImageSet> floatImage(F&& value)
	{
		auto image = TypedImage<float>::create(Eigen::Vector3i(41, 41, 1));
		for (int y = 0; y < 41; ++y)
			for (int x = 0; x < 41; ++x)
				image->at(x, y) = static_cast<float>(value(x, y));
		return std::make_unique<SharedImageSet>(std::make_unique<SharedImage>(std::move(image)));
	}

	/// The branch length from a terminal node to the first junction, or to the far end of an
	/// isolated chain, walked without the graph's own traversal.
	double branchLength(const Graph& graph, uint64_t terminal)
	{
		double length = 0.0;
		uint64_t previous = terminal;
		uint64_t current = graph.neighborhood(terminal).begin()->first;
		while (true)
		{
			length += (graph.node(current).position() - graph.node(previous).position()).norm();
			const Graph::Neighborhood& neighbors = graph.neighborhood(current);
			if (neighbors.size() != 2)
				return length;
			const uint64_t next = neighbors.begin()->first == previous ? std::next(neighbors.begin())->first : neighbors.begin()->first;
			if (next == terminal)
				return length;
			previous = current;
			current = next;
		}
	}
}

TEST(PruneTerminalPathsTest, ParametersFollowTheDistanceImage)
{
	Graph graph;
	PruneTerminalPathsAlgorithm plain(graph, nullptr);
	EXPECT_EQ(plain.mode.value(), PruneTerminalPathsAlgorithm::Mode::GlobalThreshold);
	EXPECT_EQ(plain.mode.attribute("values"), "GlobalThreshold");
	EXPECT_EQ(plain.sensitivity.attribute("hidden"), "true");
	EXPECT_EQ(plain.pruningThreshold.attribute("min"), "0.0");
	EXPECT_EQ(plain.parameters().size(), 4u);

	auto image = floatImage([](int, int) { return 0.0; });
	PruneTerminalPathsAlgorithm withImage(graph, image.get());
	EXPECT_EQ(withImage.mode.value(), PruneTerminalPathsAlgorithm::Mode::DistanceBased);
	EXPECT_EQ(withImage.mode.attribute("values"), "GlobalThreshold, DistanceBased");
	EXPECT_EQ(withImage.sensitivity.attribute("min"), "0.0");
	EXPECT_FALSE(withImage.sensitivity.attribute("hidden"));

	Data other("other");
	EXPECT_TRUE(PruneTerminalPathsAlgorithm::createCompatible(DataList({&graph}), nullptr));
	EXPECT_TRUE(PruneTerminalPathsAlgorithm::createCompatible(DataList({image.get(), &graph}), nullptr));
	EXPECT_FALSE(PruneTerminalPathsAlgorithm::createCompatible(DataList({&graph, &graph}), nullptr));
	EXPECT_FALSE(PruneTerminalPathsAlgorithm::createCompatible(DataList({&graph, image.get(), image.get()}), nullptr));
	EXPECT_FALSE(PruneTerminalPathsAlgorithm::createCompatible(DataList({&graph, &other}), nullptr));
	EXPECT_FALSE(PruneTerminalPathsAlgorithm::createCompatible(DataList({image.get()}), nullptr));
	Algorithm* created = nullptr;
	ASSERT_TRUE(PruneTerminalPathsAlgorithm::createCompatible(DataList({&graph, image.get()}), &created));
	std::unique_ptr<Algorithm> owned(created);
	EXPECT_EQ(dynamic_cast<PruneTerminalPathsAlgorithm&>(*owned).mode.value(), PruneTerminalPathsAlgorithm::Mode::DistanceBased);
}

TEST(PruneTerminalPathsTest, GraphsWithoutTerminalNodesStayAsTheyAre)
{
	Graph graph;
	const std::vector<uint64_t> ring = chainAlongX(graph, {0, 0.1, 0.2, 0.3});
	link(graph, ring.back(), ring.front());
	addAt(graph, 5, 5);
	const Graph before = graph;
	PruneTerminalPathsAlgorithm::removeShortTerminalPaths(graph, 100.0);
	auto image = floatImage([](int, int) { return 50.0; });
	PruneTerminalPathsAlgorithm::removePathsDistanceBased(graph, image.get(), 10.0);
	PruneTerminalPathsAlgorithm::removeThinTerminalEdges(graph, 100.0);
	EXPECT_EQ(nodeSet(graph), nodeSet(before));
	EXPECT_EQ(graph.numEdges(), before.numEdges());

	// Without terminal edges a missing "diameter" column does not matter.
	graph.clearFeatureDescriptors();
	EXPECT_NO_THROW(PruneTerminalPathsAlgorithm::removeThinTerminalEdges(graph, 100.0));
}

TEST(PruneTerminalPathsTest, GlobalThresholdRemovesStrictlyShorterBranchesUpToTheJunction)
{
	{
		// Arms of length 2 (two edges each): a threshold of 2 keeps them, 0 never removes anything.
		Graph graph = star(2.0, 2);
		PruneTerminalPathsAlgorithm::removeShortTerminalPaths(graph, 2.0);
		EXPECT_EQ(graph.numNodes(), 7);
		PruneTerminalPathsAlgorithm::removeShortTerminalPaths(graph, 0.0);
		EXPECT_EQ(graph.numNodes(), 7);
		PruneTerminalPathsAlgorithm::removeShortTerminalPaths(graph, 2.5);
		EXPECT_EQ(nodeSet(graph), (std::set<uint64_t>{1}));
	}
	{
		// A two-node graph shorter than the threshold disappears: each end's walk takes one node.
		Graph graph;
		chainAlongX(graph, {0, 1});
		PruneTerminalPathsAlgorithm::removeShortTerminalPaths(graph, 1.5);
		EXPECT_TRUE(graph.empty());
	}
	{
		// Single pass: junction 2 becomes terminal when the short arm 3 goes, but is not examined
		// again, although its remaining branch is short as well.
		Graph graph;
		const std::vector<uint64_t> main = chainAlongX(graph, {0, 10, 10.5});
		const uint64_t spur = addAt(graph, 10, 0.5);
		link(graph, main[1], spur);
		const uint64_t far = addAt(graph, 10, -20);
		link(graph, main[1], far);
		PruneTerminalPathsAlgorithm::removeShortTerminalPaths(graph, 1.0);
		EXPECT_EQ(nodeSet(graph), (std::set<uint64_t>{main[0], main[1], far}));
	}
	{
		// A walk that passes the threshold marks nothing, even the part it walked.
		Graph graph;
		chainAlongX(graph, {0, 1, 2, 3, 4, 5});
		PruneTerminalPathsAlgorithm::removeShortTerminalPaths(graph, 4.5);
		EXPECT_EQ(graph.numNodes(), 6);
	}
}

TEST(PruneTerminalPathsTest, AlgorithmPrunesACopyOrTheInput)
{
	Graph graph = star(1.0, 1);
	graph.nodeAttributes(1).setParam("tag", 7);
	PruneTerminalPathsAlgorithm algorithm(graph, nullptr);
	algorithm.pruningThreshold = 5.0;
	EXPECT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
	EXPECT_EQ(graph.numNodes(), 4);
	OwningDataList out = algorithm.takeOutput();
	ASSERT_EQ(out.size(), 1);
	const auto pruned = out.extractFirst<Graph>();
	ASSERT_TRUE(pruned);
	EXPECT_EQ(nodeSet(*pruned), (std::set<uint64_t>{1}));
	EXPECT_EQ(pruned->nodeAttributes(1).param<int>("tag"), 7);
	EXPECT_TRUE(algorithm.takeOutput().isEmpty());

	algorithm.inPlace = true;
	EXPECT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
	EXPECT_EQ(nodeSet(graph), (std::set<uint64_t>{1}));
	EXPECT_TRUE(algorithm.takeOutput().isEmpty());
}

TEST(PruneTerminalPathsTest, DistanceBasedRefusesMissingOrNonFloatImages)
{
	Graph graph = star(1.0, 1);
	{
		PruneTerminalPathsAlgorithm algorithm(graph, nullptr);
		algorithm.mode = PruneTerminalPathsAlgorithm::Mode::DistanceBased;
		Log::ScopedCapture capture;
		EXPECT_EQ(AlgorithmRunner::run(algorithm), Algorithm::InvalidInput);
		EXPECT_EQ(capture->messages(Log::Error), (std::vector<std::string>{"Distance image not set."}));
		EXPECT_TRUE(algorithm.takeOutput().isEmpty());
	}
	for (bool empty : {false, true})
	{
		auto images = empty
		                  ? std::make_unique<SharedImageSet>()
		                  : std::make_unique<SharedImageSet>(std::make_unique<SharedImage>(TypedImage<unsigned short>::create({5, 5, 1})));
		PruneTerminalPathsAlgorithm algorithm(graph, images.get());
		Log::ScopedCapture capture;
		EXPECT_EQ(AlgorithmRunner::run(algorithm), Algorithm::InvalidInput);
		EXPECT_EQ(capture->messages(Log::Error), (std::vector<std::string>{"No valid distance image: require PixelType::Float."}));
		// Refused before any copy was made.
		EXPECT_TRUE(algorithm.takeOutput().isEmpty());
		EXPECT_THROW(PruneTerminalPathsAlgorithm::removePathsDistanceBased(graph, images.get(), 1.0), std::invalid_argument);
	}
	EXPECT_THROW(PruneTerminalPathsAlgorithm::removePathsDistanceBased(graph, nullptr, 1.0), std::invalid_argument);
	EXPECT_EQ(graph.numNodes(), 4);
}

TEST(PruneTerminalPathsTest, DistanceBasedWeighsABranchByTheLargestRadiusAlongIt)
{
	// A vessel along pixel row y = 20 whose distance value is 6 on the centreline and falls by 0.25
	// per pixel away from it. A spur of length 5 rises from the junction at (20, 20) to (20, 25),
	// where the value is 4.75; a branch of length 15 runs down to (20, 5). The graph lives in
	// coordinates shifted by (-100, 30) against the world, and the image is centred on the world
	// origin, so only a sample taken through both matrices lands on the vessel.
	auto images = floatImage([](int, int y) { return 6.0 - 0.25 * std::abs(y - 20.0); });
	const ImageDescriptorWorld placement = images->get()->descriptorWorld();
	Eigen::Matrix4d graphToWorld = Eigen::Matrix4d::Identity();
	graphToWorld.block<3, 1>(0, 3) = Eigen::Vector3d(100, -30, 0);

	Graph graph;
	graph.setMatrixToWorld(graphToWorld);
	const auto atPixel = [&](int x, int y)
	{
		const Eigen::Vector3d p = placement.pixelToWorld(Eigen::Vector3d(x, y, 0)) - Eigen::Vector3d(100, -30, 0);
		return graph.addNode(Graph::NodeInfo(p, {}));
	};
	const auto line = [&](int x0, int y0, int x1, int y1)
	{
		std::vector<uint64_t> ids;
		const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
		for (int i = 0; i <= steps; ++i)
		{
			ids.push_back(atPixel(x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps));
			if (i > 0)
				link(graph, ids[ids.size() - 2], ids.back());
		}
		return ids;
	};
	const std::vector<uint64_t> left = line(0, 20, 20, 20);
	const uint64_t junction = left.back();
	const std::vector<uint64_t> right = line(21, 20, 40, 20);
	link(graph, junction, right.front());
	std::vector<uint64_t> spur = line(20, 21, 20, 25);
	link(graph, junction, spur.front());
	std::vector<uint64_t> branch = line(20, 19, 20, 5);
	link(graph, junction, branch.front());

	{
		// Sensitivity 1: the spur (5) is shorter than the largest value met on it (5.875, half a
		// pixel from the centreline), though longer than the value at its tip; the branch (15) and
		// the arms (20 each) are not.
		Graph pruned = graph;
		PruneTerminalPathsAlgorithm::removePathsDistanceBased(pruned, images.get(), 1.0);
		std::set<uint64_t> expected = nodeSet(graph);
		for (uint64_t id : spur)
			expected.erase(id);
		EXPECT_EQ(nodeSet(pruned), expected);
	}
	{
		// Sensitivity 3 (5.875 × 3 = 17.6): the branch goes too, the arms of length 20 stay.
		PruneTerminalPathsAlgorithm algorithm(graph, images.get());
		algorithm.sensitivity = 3.0;
		EXPECT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
		const auto pruned = algorithm.takeOutput().extractFirst<Graph>();
		ASSERT_TRUE(pruned);
		EXPECT_EQ(pruned->numNodes(), static_cast<int>(left.size() + right.size()));
		EXPECT_TRUE(pruned->hasNode(junction));
	}
	{
		// A distance image of zeros and negatives removes nothing, however high the sensitivity.
		auto flat = floatImage([](int x, int) { return x % 2 == 0 ? 0.0 : -3.0; });
		Graph pruned = graph;
		PruneTerminalPathsAlgorithm::removePathsDistanceBased(pruned, flat.get(), 1000.0);
		EXPECT_EQ(pruned.numNodes(), graph.numNodes());
	}
}

TEST(PruneTerminalPathsTest, ThinTerminalEdgesLoseTheirNodes)
{
	// Chain 1-2-3 hangs off junction 3 of a triangle; edge 1-2 is thin (0.2), edge 2-3 thick (2.0).
	Graph graph;
	const std::vector<uint64_t> arm = chainAlongX(graph, {0, 1, 2});
	graph.editEdge(arm[0], arm[1], [](Graph::EdgeInfo& e) { e.features()[0] = 0.2; });
	graph.editEdge(arm[1], arm[2], [](Graph::EdgeInfo& e) { e.features()[0] = 2.0; });
	const uint64_t a = addAt(graph, 3, 1);
	const uint64_t b = addAt(graph, 3, -1);
	link(graph, arm[2], a, 0.1);
	link(graph, arm[2], b, 0.1);
	link(graph, a, b, 0.1);
	Graph copy = graph;
	PruneTerminalPathsAlgorithm::removeThinTerminalEdges(copy, 0.5);
	// Only the node before the thin edge goes; junction 3 and the triangle stay.
	EXPECT_EQ(nodeSet(copy), (std::set<uint64_t>{arm[1], arm[2], a, b}));
	PruneTerminalPathsAlgorithm::removeThinTerminalEdges(graph, 3.0);
	EXPECT_EQ(nodeSet(graph), (std::set<uint64_t>{arm[2], a, b}));

	Graph unnamed;
	chainAlongX(unnamed, {0, 1, 2});
	unnamed.clearFeatureDescriptors();
	EXPECT_THROW(PruneTerminalPathsAlgorithm::removeThinTerminalEdges(unnamed, 1.0), std::bad_optional_access);
	EXPECT_EQ(unnamed.numNodes(), 3);
}

TEST(PruneTerminalPathsTest, RandomTreesLoseExactlyTheShortBranchesAndNoJunction)
{
	std::mt19937_64 random(20240611);
	for (int round = 0; round < 20; ++round)
	{
		const int nodes = 30 + round * 10;
		Graph tree = RandomGraphs::randomConnectedGraph(random, nodes, 0, Graph::Type::Undirected);
		const double threshold = 40.0 + 10.0 * (round % 8);
		std::set<uint64_t> junctions;
		std::set<uint64_t> shortTerminals;
		std::set<uint64_t> longTerminals;
		tree.forEachNode(
		    [&](uint64_t id, const Graph::NodeInfo&, const Graph::Neighborhood& neighbors)
		    {
			    if (neighbors.size() > 2)
				    junctions.insert(id);
			    else if (neighbors.size() == 1)
				    (branchLength(tree, id) < threshold ? shortTerminals : longTerminals).insert(id);
		    });
		Graph pruned = tree;
		PruneTerminalPathsAlgorithm::removeShortTerminalPaths(pruned, threshold);
		for (uint64_t id : junctions)
			EXPECT_TRUE(pruned.hasNode(id)) << "junction " << id << " in round " << round;
		for (uint64_t id : shortTerminals)
			EXPECT_FALSE(pruned.hasNode(id)) << "short terminal " << id << " in round " << round;
		for (uint64_t id : longTerminals)
			EXPECT_TRUE(pruned.hasNode(id)) << "long terminal " << id << " in round " << round;
		// What remains is unchanged: records, and every edge between remaining nodes.
		pruned.forEachNode(
		    [&](uint64_t id, const Graph::NodeInfo& info, const Graph::Neighborhood& neighbors)
		    {
			    EXPECT_TRUE(RandomGraphs::sameNode(info, tree.node(id)));
			    for (const auto& [neighbor, edge] : tree.neighborhood(id))
			    {
				    if (!pruned.hasNode(neighbor))
					    continue;
				    EXPECT_TRUE(neighbors.count(neighbor) && RandomGraphs::sameEdge(*neighbors.at(neighbor), *edge));
			    }
		    });
	}
}

TEST(PruneTerminalPathsTest, ALongChainIsWalkedWithoutRecursion)
{
	Graph graph;
	std::vector<double> xs(200000);
	for (size_t i = 0; i < xs.size(); ++i)
		xs[i] = static_cast<double>(i);
	chainAlongX(graph, xs);
	Graph copy = graph;
	PruneTerminalPathsAlgorithm::removeShortTerminalPaths(copy, 199998.0);
	EXPECT_EQ(copy.numNodes(), 200000);
	PruneTerminalPathsAlgorithm::removeShortTerminalPaths(graph, 1e7);
	EXPECT_TRUE(graph.empty());
}
