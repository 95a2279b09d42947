#include "src/algorithms/CombineGraphsAlgorithm.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>

#include <map>
#include <memory>
#include <random>
#include <vector>

#include "host/core/Log.h"
#include "host/lib/AlgorithmRunner.h"
#include "host/lib/DataList.h"
#include "tests/algorithms/RandomGraphs.h"

using namespace Quorvale;

namespace
{
	Graph pair(Graph::Type type = Graph::Type::Undirected, Graph::Dimension dimension = Graph::Dimension::ThreeD)
	{
		Graph graph(type, dimension);
		graph.addNode(Graph::NodeInfo(Eigen::Vector3d(1, 2, 3), {}));
		graph.addNode(Graph::NodeInfo(Eigen::Vector3d(4, 5, 6), {}));
		graph.addEdge(1, 2, Graph::EdgeInfo({2.5}));
		return graph;
	}

	std::unique_ptr<Graph> takeGraph(Algorithm& algorithm)
	{
		OwningDataList out = algorithm.takeOutput();
		EXPECT_LE(out.size(), 1);
		return out.extractFirst<Graph>();
	}
}

TEST(CombineGraphsAlgorithmTest, AcceptsTwoOrMoreGraphsInListOrder)
{
	Graph a = pair();
	Graph b = pair();
	Data other("mesh");
	EXPECT_FALSE(CombineGraphsAlgorithm::createCompatible(DataList({&a, &other}), nullptr));
	EXPECT_TRUE(CombineGraphsAlgorithm::createCompatible(DataList({&a, &other, &b}), nullptr));

	b.addOrReplaceNode(2, Graph::NodeInfo(Eigen::Vector3d(40, 0, 0), {}));
	Algorithm* created = nullptr;
	ASSERT_TRUE(CombineGraphsAlgorithm::createCompatible(DataList({&b, &other, &a}), &created));
	std::unique_ptr<Algorithm> algorithm(created);
	EXPECT_EQ(AlgorithmRunner::run(*algorithm), Algorithm::Success);
	const auto combined = takeGraph(*algorithm);
	ASSERT_TRUE(combined);
	EXPECT_EQ(combined->node(2).position().x(), 40.0);
	EXPECT_EQ(combined->node(4).position().x(), 4.0);
}

TEST(CombineGraphsAlgorithmTest, PositionsGoToWorldAndTypesMerge)
{
	Graph undirected = pair();
	Eigen::Matrix4d shift = Eigen::Matrix4d::Identity();
	shift(0, 3) = 10.0;
	undirected.setMatrixToWorld(shift);
	Graph directed = pair(Graph::Type::Directed);

	CombineGraphsAlgorithm algorithm({&undirected, &directed});
	EXPECT_EQ(algorithm.combined(), nullptr);
	EXPECT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
	const Graph* combined = algorithm.combined();
	ASSERT_NE(combined, nullptr);
	EXPECT_EQ(combined->type(), Graph::Type::Directed);
	EXPECT_EQ(combined->node(1).position(), Eigen::Vector3d(11, 2, 3));
	EXPECT_EQ(combined->node(3).position(), Eigen::Vector3d(1, 2, 3));
	EXPECT_EQ(combined->matrixToWorld(), Eigen::Matrix4d::Identity());
	// The undirected edge leads both ways, the directed one keeps its direction.
	EXPECT_TRUE(combined->edge(1, 2));
	EXPECT_TRUE(combined->edge(2, 1));
	EXPECT_TRUE(combined->edge(3, 4));
	EXPECT_FALSE(combined->edge(4, 3));
	EXPECT_EQ(combined->edge(2, 1)->features(), std::vector<double>{2.5});

	Graph flat = pair(Graph::Type::Undirected, Graph::Dimension::TwoD);
	Graph flatToo = pair(Graph::Type::Undirected, Graph::Dimension::TwoD);
	CombineGraphsAlgorithm flatCombination({&flat, &flatToo});
	EXPECT_EQ(AlgorithmRunner::run(flatCombination), Algorithm::Success);
	EXPECT_EQ(flatCombination.combined()->dimension(), Graph::Dimension::TwoD);
	EXPECT_EQ(flatCombination.combined()->type(), Graph::Type::Undirected);
}

TEST(CombineGraphsAlgorithmTest, InputsThatDoNotFitAreRefused)
{
	Graph good = pair();
	Graph flat = pair(Graph::Type::Undirected, Graph::Dimension::TwoD);
	Graph swapped = pair();
	swapped.addEdgeFeatureDescriptors({{"length", 0.0}, {"radius", 0.0}});
	Graph ordered = pair();
	ordered.addEdgeFeatureDescriptors({{"radius", 0.0}, {"length", 0.0}});
	Graph extraNode = pair();
	extraNode.addNodeFeatureDescriptors({{"degree", 0.0}});
	Graph otherDefault = pair();
	otherDefault.clearFeatureDescriptors();
	otherDefault.addEdgeFeatureDescriptors({{"diameter", 9.0}});

	struct Case
	{
		std::vector<Graph*> graphs;
		int status;
		std::vector<std::string> errors;
	};
	const std::vector<Case> cases = {
	    {{}, Algorithm::IncompleteInput, {}},
	    {{&good, nullptr}, Algorithm::InvalidInput, {"Invalid input. Graphs must be non-empty."}},
	    {{&good, &flat}, Algorithm::InvalidInput, {"Cannot combine graphs of different dimensions"}},
	    {{&swapped, &ordered}, Algorithm::InvalidInput, {"Cannot combine graphs due to incompatible features"}},
	    {{&good, &extraNode}, Algorithm::InvalidInput, {"Cannot combine graphs due to incompatible features"}},
	    {{&good, &otherDefault}, Algorithm::Success, {}},
	};
	for (const Case& c : cases)
	{
		Log::ScopedCapture log;
		CombineGraphsAlgorithm algorithm(c.graphs);
		EXPECT_EQ(AlgorithmRunner::run(algorithm), c.status);
		EXPECT_EQ(log->messages(Log::Warning), c.errors);
		EXPECT_EQ(algorithm.combined() != nullptr, c.status == Algorithm::Success);
		EXPECT_EQ(algorithm.takeOutput().size(), c.status == Algorithm::Success ? 1 : 0);
	}
}

TEST(CombineGraphsAlgorithmTest, FailureKeepsTheEarlierResult)
{
	Graph a = pair();
	Graph b = pair();
	std::vector<Graph*> inputs = {&a, &b};
	CombineGraphsAlgorithm algorithm(inputs);
	EXPECT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
	const Graph* first = algorithm.combined();
	b.setDimension(Graph::Dimension::TwoD);
	Log::ScopedCapture quiet;
	EXPECT_EQ(AlgorithmRunner::run(algorithm), Algorithm::InvalidInput);
	EXPECT_EQ(algorithm.combined(), first);
	EXPECT_EQ(takeGraph(algorithm)->numNodes(), 4);
	EXPECT_EQ(algorithm.combined(), nullptr);
}

TEST(CombineGraphsAlgorithmTest, RandomGraphsKeepEveryNodeAndEdge)
{
	for (unsigned seed = 1; seed <= 15; ++seed)
	{
		SCOPED_TRACE(seed);
		std::mt19937_64 random(seed);
		const int count = 2 + static_cast<int>(seed % 3);
		std::vector<Graph> graphs;
		for (int i = 0; i < count; ++i)
		{
			const auto type = (seed + static_cast<unsigned>(i)) % 3 == 0 ? Graph::Type::Directed : Graph::Type::Undirected;
			graphs.push_back(RandomGraphs::randomGraph(random, 80, 120, type));
			Eigen::Affine3d placement(Eigen::AngleAxisd(0.3 * i + 0.1 * seed, Eigen::Vector3d(1, 2, 3).normalized()));
			placement.translation() = Eigen::Vector3d(i, -2.0 * i, 3.0 * seed);
			graphs.back().setMatrixToWorld(placement.matrix());
		}
		std::vector<Graph*> inputs;
		for (Graph& g : graphs)
			inputs.push_back(&g);
		CombineGraphsAlgorithm algorithm(inputs);
		ASSERT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
		const Graph& combined = *algorithm.combined();

		const bool directed = combined.type() == Graph::Type::Directed;
		int nodes = 0;
		int edges = 0;
		uint64_t firstId = 1;
		for (const Graph& g : graphs)
		{
			nodes += g.numNodes();
			const Eigen::Matrix4d toWorld = g.matrixToWorld();
			uint64_t id = firstId;
			std::map<uint64_t, uint64_t> newId;
			g.forEachNode(
			    [&](uint64_t old, const Graph::NodeInfo& info)
			    {
				    newId[old] = id;
				    const Graph::NodeInfo& moved = combined.node(id++);
				    EXPECT_TRUE(moved.position().isApprox((toWorld * info.position().homogeneous()).head<3>(), 1e-12));
				    EXPECT_EQ(moved.features(), info.features());
				    EXPECT_EQ(RandomGraphs::origin(moved), old);
			    });
			g.forEachEdge(
			    [&](const Graph::EdgeInfo& edge, uint64_t a, uint64_t b)
			    {
				    const bool bothWays = directed && g.type() == Graph::Type::Undirected && a != b;
				    edges += bothWays ? 2 : 1;
				    ASSERT_TRUE(combined.edge(newId[a], newId[b]));
				    EXPECT_TRUE(RandomGraphs::sameEdge(*combined.edge(newId[a], newId[b]), edge));
				    if (bothWays)
				    {
					    EXPECT_TRUE(combined.edge(newId[b], newId[a]));
				    }
			    });
			firstId = id;
		}
		EXPECT_EQ(combined.numNodes(), nodes);
		EXPECT_EQ(combined.numEdges(), edges);
	}
}
