#include "src/algorithms/NodeToEdgeFeatureAlgorithm.h"

#include <gtest/gtest.h>

#include <cmath>
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
	using Mode = NodeToEdgeFeatureAlgorithm::Mode;

	/// Nodes 1 (values 2, 10) and 2 (values 5, 20) with the edge 1 → 2 (1–2 when undirected).
	Graph twoNodes(Graph::Type type = Graph::Type::Undirected)
	{
		Graph graph(type);
		graph.addNodeFeatureDescriptors({{"radius", 0.0}, {"flow", 0.0}});
		graph.addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {2.0, 10.0}));
		graph.addNode(Graph::NodeInfo(Eigen::Vector3d::UnitX(), {5.0, 20.0}));
		graph.addEdge(1, 2, {});
		return graph;
	}

	/// Runs the algorithm on `graph` with the settings and returns the status.
	int run(Graph& graph, Mode mode, const std::string& name, std::optional<int> index = std::nullopt)
	{
		NodeToEdgeFeatureAlgorithm algorithm(graph);
		algorithm.mode = mode;
		algorithm.nodeFeatureName = name;
		algorithm.nodeFeatureIndex = index;
		const int status = AlgorithmRunner::run(algorithm);
		EXPECT_TRUE(algorithm.takeOutput().isEmpty());
		return status;
	}

	double edgeValue(const Graph& graph, const std::string& feature, uint64_t a = 1, uint64_t b = 2)
	{
		return graph.edge(a, b)->features().at(static_cast<size_t>(graph.getEdgeFeatureIdx(feature).value()));
	}
}

TEST(NodeToEdgeFeatureAlgorithmTest, ParametersOfferTheNodeFeatures)
{
	Graph graph = twoNodes();
	Data other("image");
	EXPECT_TRUE(NodeToEdgeFeatureAlgorithm::createCompatible(DataList({&graph, &other}), nullptr));
	EXPECT_FALSE(NodeToEdgeFeatureAlgorithm::createCompatible(DataList({&other}), nullptr));
	Algorithm* created = nullptr;
	ASSERT_TRUE(NodeToEdgeFeatureAlgorithm::createCompatible(DataList({&graph}), &created));
	std::unique_ptr<Algorithm> owned(created);
	auto& algorithm = dynamic_cast<NodeToEdgeFeatureAlgorithm&>(*owned);
	EXPECT_EQ(algorithm.mode.attribute("values"), "Sum, Difference, Average");
	EXPECT_EQ(algorithm.nodeFeatureName.value(), "no feature selected");
	EXPECT_EQ(algorithm.nodeFeatureName.attribute("values"), "radius,flow");
	EXPECT_FALSE(algorithm.nodeFeatureIndex.value());
}

TEST(NodeToEdgeFeatureAlgorithmTest, ModesCombineTheEndValues)
{
	Graph undirected = twoNodes();
	EXPECT_EQ(run(undirected, Mode::Sum, "radius"), Algorithm::Success);
	EXPECT_EQ(run(undirected, Mode::Difference, "radius"), Algorithm::Success);
	EXPECT_EQ(run(undirected, Mode::Average, "radius"), Algorithm::Success);
	EXPECT_EQ(edgeValue(undirected, "NodeFeatureSum"), 7.0);
	EXPECT_EQ(edgeValue(undirected, "NodeFeatureDifference"), 3.0);
	EXPECT_EQ(edgeValue(undirected, "NodeFeatureAverage"), 3.5);

	Graph directed = twoNodes(Graph::Type::Directed);
	EXPECT_EQ(run(directed, Mode::Difference, "radius"), Algorithm::Success);
	EXPECT_EQ(edgeValue(directed, "NodeFeatureDifference"), -3.0);

	// A name that exists wins over the index; a second run overwrites its one column.
	EXPECT_EQ(run(undirected, Mode::Sum, "flow", 0), Algorithm::Success);
	EXPECT_EQ(edgeValue(undirected, "NodeFeatureSum"), 30.0);
	EXPECT_EQ(undirected.numEdgeFeatures(), 4);
	// Without a matching name the index chooses.
	EXPECT_EQ(run(undirected, Mode::Sum, "no feature selected", 0), Algorithm::Success);
	EXPECT_EQ(edgeValue(undirected, "NodeFeatureSum"), 7.0);
	EXPECT_EQ(undirected.numEdgeFeatures(), 4);
}

TEST(NodeToEdgeFeatureAlgorithmTest, UnnamedOrUnknownFeaturesAndModesAreRefused)
{
	Graph noFeatures;
	noFeatures.addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {}));

	struct Case
	{
		Graph* graph;
		Mode mode;
		std::string name;
		std::optional<int> index;
		std::string error;
	};
	Graph graph = twoNodes();
	const std::string missing = "Selected node feature does not exist.";
	const std::vector<Case> cases = {
	    {&noFeatures, Mode::Sum, "radius", 0, "No node features found."},
	    {&graph, Mode::Sum, "no feature selected", std::nullopt, missing},
	    {&graph, Mode::Sum, "speed", 2, missing},
	    {&graph, Mode::Sum, "speed", -1, missing},
	    {&graph, static_cast<Mode>(3), "radius", std::nullopt, "Unknown mode 3: expected 0 (Sum), 1 (Difference) or 2 (Average)."},
	};
	for (const Case& c : cases)
	{
		SCOPED_TRACE(c.error);
		Log::ScopedCapture log;
		EXPECT_EQ(run(*c.graph, c.mode, c.name, c.index), Algorithm::InvalidInput);
		EXPECT_EQ(log->messages(Log::Warning), std::vector<std::string>{c.error});
		EXPECT_EQ(c.graph->numEdgeFeatures(), 1);
	}
}

TEST(NodeToEdgeFeatureAlgorithmTest, RandomGraphsGetTheirEdgeValues)
{
	for (unsigned seed = 1; seed <= 10; ++seed)
	{
		SCOPED_TRACE(seed);
		std::mt19937_64 random(seed);
		const auto type = seed % 2 ? Graph::Type::Undirected : Graph::Type::Directed;
		Graph graph = RandomGraphs::randomGraph(random, 150, 300, type);
		for (const Mode mode : {Mode::Sum, Mode::Difference, Mode::Average})
			ASSERT_EQ(run(graph, mode, "b"), Algorithm::Success);
		const int sum = graph.getEdgeFeatureIdx("NodeFeatureSum").value();
		const int difference = graph.getEdgeFeatureIdx("NodeFeatureDifference").value();
		const int average = graph.getEdgeFeatureIdx("NodeFeatureAverage").value();
		graph.forEachEdge(
		    [&](const Graph::EdgeInfo& edge, const Graph::NodeInfo& from, const Graph::NodeInfo& to)
		    {
			    const double a = from.features()[1];
			    const double b = to.features()[1];
			    EXPECT_DOUBLE_EQ(edge.features()[static_cast<size_t>(sum)], a + b);
			    EXPECT_DOUBLE_EQ(edge.features()[static_cast<size_t>(average)], (a + b) * 0.5);
			    EXPECT_DOUBLE_EQ(edge.features()[static_cast<size_t>(difference)], type == Graph::Type::Directed ? a - b : std::abs(a - b));
		    });
	}
}
