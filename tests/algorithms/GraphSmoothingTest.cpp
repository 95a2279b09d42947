#include "src/algorithms/GraphSmoothingAlgorithm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <tuple>
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
	using Mode = GraphSmoothingAlgorithm::Mode;

	uint64_t addAt(Graph& graph, const Eigen::Vector3d& p) { return graph.addNode(Graph::NodeInfo(p, {})); }

	/// Nodes at the given positions, linked in order.
	Graph polyline(const std::vector<Eigen::Vector3d>& points)
	{
		Graph graph;
		uint64_t previous = 0;
		for (const Eigen::Vector3d& p : points)
		{
			const uint64_t id = addAt(graph, p);
			if (previous != 0)
				graph.addEdge(previous, id, Graph::EdgeInfo());
			previous = id;
		}
		return graph;
	}

	Eigen::Vector3d at(const Graph& graph, uint64_t id) { return graph.node(id).position(); }

	void expectNear(const Eigen::Vector3d& actual, const Eigen::Vector3d& expected, double tolerance = 1e-9)
	{
		EXPECT_TRUE((actual - expected).norm() <= tolerance) << "actual " << actual.transpose() << ", expected " << expected.transpose();
	}

	/// Runs the algorithm on `graph` in `mode` and returns the status.
	int smooth(Graph& graph, Mode mode, double strength, bool preserve = true)
	{
		GraphSmoothingAlgorithm algorithm(graph, nullptr);
		algorithm.mode = mode;
		algorithm.smoothingStrength = strength;
		algorithm.preserveTerminalEdges = preserve;
		return AlgorithmRunner::run(algorithm);
	}
}

TEST(GraphSmoothingTest, ModesOfferedFollowTheLabelImage)
{
	Graph graph;
	GraphSmoothingAlgorithm plain(graph, nullptr);
	EXPECT_EQ(plain.mode.value(), Mode::NeighborhoodWeightedAverage);
	EXPECT_EQ(plain.mode.attribute("values"), "NeighborhoodWeightedAverage,LaplacianHeatKernel");
	EXPECT_EQ(plain.smoothingStrength.value(), 1.0);
	EXPECT_TRUE(plain.preserveTerminalEdges.value());
	EXPECT_TRUE(plain.takeOutput().isEmpty());

	SharedImageSet labels(std::make_unique<SharedImage>(TypedImage<unsigned char>::create({4, 4, 4})));
	GraphSmoothingAlgorithm withLabels(graph, &labels);
	EXPECT_EQ(withLabels.mode.value(), Mode::DistanceWeightedCurveShortening);
	EXPECT_EQ(withLabels.mode.attribute("values"), "NeighborhoodWeightedAverage,LaplacianHeatKernel,DistanceWeightedCurveShortening");

	Data other("other");
	EXPECT_TRUE(GraphSmoothingAlgorithm::createCompatible(DataList({&graph}), nullptr));
	EXPECT_TRUE(GraphSmoothingAlgorithm::createCompatible(DataList({&labels, &graph}), nullptr));
	EXPECT_FALSE(GraphSmoothingAlgorithm::createCompatible(DataList({&graph, &graph}), nullptr));
	EXPECT_FALSE(GraphSmoothingAlgorithm::createCompatible(DataList({&graph, &labels, &labels}), nullptr));
	EXPECT_FALSE(GraphSmoothingAlgorithm::createCompatible(DataList({&graph, &other}), nullptr));

	// The third mode runs on the label image (here without any vessel voxel, which it refuses).
	Graph line = polyline({{0, 0, 0}, {1, 1, 0}, {2, 0, 0}});
	GraphSmoothingAlgorithm algorithm(line, &labels);
	Log::ScopedCapture capture;
	EXPECT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Error);
	EXPECT_EQ(capture->messages(Log::Error), (std::vector<std::string>{"Could not resample label image"}));
	expectNear(at(line, 2), {1, 1, 0}, 0.0);
}

TEST(GraphSmoothingTest, NeighborhoodAverageFollowsItsPassWeights)
{
	// Strength 0 or below, and graphs without edges, change nothing.
	for (double strength : {0.0, -2.0})
	{
		Graph graph = polyline({{0, 0, 0}, {1, 1, 0}, {2, 0, 0}});
		EXPECT_EQ(smooth(graph, Mode::NeighborhoodWeightedAverage, strength), Algorithm::Success);
		expectNear(at(graph, 2), {1, 1, 0}, 0.0);
	}
	Graph isolated;
	addAt(isolated, {3, 4, 5});
	addAt(isolated, {-1, 0, 2});
	EXPECT_EQ(smooth(isolated, Mode::NeighborhoodWeightedAverage, 3.0), Algorithm::Success);
	expectNear(at(isolated, 1), {3, 4, 5}, 0.0);
	expectNear(at(isolated, 2), {-1, 0, 2}, 0.0);

	// 0.5 is one pass with k = exp(−2) on the middle node; the preserved ends stay.
	{
		Graph graph = polyline({{0, 0, 0}, {1, 1, 0}, {2, 0, 0}});
		smooth(graph, Mode::NeighborhoodWeightedAverage, 0.5);
		const double k = std::exp(-2.0);
		expectNear(at(graph, 2), (Eigen::Vector3d(1, 1, 0) + k * Eigen::Vector3d(2, 0, 0)) / (1 + 2 * k));
		expectNear(at(graph, 1), {0, 0, 0}, 0.0);
		expectNear(at(graph, 3), {2, 0, 0}, 0.0);
	}
	// Passes are simultaneous: on a square every corner moves by the same amount towards the
	// centre, which a sequential pass would not do.
	{
		Graph square = polyline({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
		square.addEdge(4, 1, Graph::EdgeInfo());
		smooth(square, Mode::NeighborhoodWeightedAverage, 1.0);
		const double k = std::exp(-0.5);
		const double inset = (0.0 + k * 1.0) / (1 + 2 * k);
		expectNear(at(square, 1), {inset, inset, 0});
		expectNear(at(square, 3), {1 - inset, 1 - inset, 0});
	}
	// 2.5 is three passes of weights 1, 1 and 0.5.
	{
		const std::vector<Eigen::Vector3d> zigzag = {{0, 0, 0}, {1, 2, 0}, {2, -1, 1}, {3, 3, 0}, {4, 0, 2}};
		Graph once = polyline(zigzag);
		smooth(once, Mode::NeighborhoodWeightedAverage, 2.5);
		Graph stepwise = polyline(zigzag);
		for (double strength : {1.0, 1.0, 0.5})
			GraphSmoothingAlgorithm::smoothByNeighborhoodAverage(stepwise, strength, true);
		for (uint64_t id = 1; id <= 5; ++id)
			expectNear(at(once, id), at(stepwise, id), 1e-12);
	}
}

TEST(GraphSmoothingTest, TerminalNodesContinueTheirSegmentOrStay)
{
	// b = (0,0,0), a = (1,0,0), terminal t = (1,1,0): t moves towards (2,0,0), the continuation of
	// b → a at t's distance from a.
	{
		Graph graph = polyline({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
		GraphSmoothingAlgorithm::smoothByNeighborhoodAverage(graph, 1.0, false);
		const double k = std::exp(-0.5);
		expectNear(at(graph, 3), (k * Eigen::Vector3d(2, 0, 0) + Eigen::Vector3d(1, 1, 0)) / (k + 1));
	}
	// A terminal next to a junction, and one whose neighbour's two neighbours coincide, stay put.
	{
		Graph graph = polyline({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
		const uint64_t extra = addAt(graph, {1, -1, 0});
		graph.addEdge(2, extra, Graph::EdgeInfo());
		GraphSmoothingAlgorithm::smoothByNeighborhoodAverage(graph, 1.0, false);
		expectNear(at(graph, 3), {1, 1, 0}, 0.0);
	}
	{
		Graph graph = polyline({{1, 0, 0}, {1, 0, 0}, {1, 1, 0}});
		GraphSmoothingAlgorithm::smoothByNeighborhoodAverage(graph, 1.0, false);
		expectNear(at(graph, 3), {1, 1, 0}, 0.0);
		EXPECT_TRUE(at(graph, 1).allFinite());
	}
	// With preservation both modes keep terminal nodes where they are.
	for (Mode mode : {Mode::NeighborhoodWeightedAverage, Mode::LaplacianHeatKernel})
	{
		Graph graph = polyline({{0, 0, 0}, {1, 3, 0}, {2, -3, 1}, {3, 0, 0}});
		smooth(graph, mode, 1.5, true);
		expectNear(at(graph, 1), {0, 0, 0}, 0.0);
		expectNear(at(graph, 4), {3, 0, 0}, 0.0);
		EXPECT_GT((at(graph, 2) - Eigen::Vector3d(1, 3, 0)).norm(), 0.1);
	}
}

TEST(GraphSmoothingTest, HeatKernelSolvesTheImplicitDiffusionStep)
{
	// Two nodes, ends free: the mean stays and the difference shrinks by 1 + 2t, t = σ²/2 = 0.5.
	{
		Graph graph = polyline({{0, 0, 0}, {4, 0, 0}});
		EXPECT_EQ(smooth(graph, Mode::LaplacianHeatKernel, 1.0, false), Algorithm::Success);
		expectNear(at(graph, 1), {1, 0, 0}, 1e-9);
		expectNear(at(graph, 2), {3, 0, 0}, 1e-9);
	}
	// Preserved ends: the middle node solves (1 + t) x − t · mean(ends) = x₀ with equal weights.
	{
		Graph graph = polyline({{0, 0, 0}, {1, 2, 0}, {2, 0, 0}});
		smooth(graph, Mode::LaplacianHeatKernel, 2.0, true);
		const double t = 2.0;
		expectNear(at(graph, 2), (Eigen::Vector3d(1, 2, 0) + t * Eigen::Vector3d(1, 0, 0)) / (1 + t), 1e-9);
	}
	// σ = 0 is no diffusion at all.
	{
		Graph graph = polyline({{0, 0, 0}, {4, 0, 0}});
		EXPECT_EQ(smooth(graph, Mode::LaplacianHeatKernel, 0.0, false), Algorithm::Success);
		expectNear(at(graph, 2), {4, 0, 0}, 0.0);
	}
}

TEST(GraphSmoothingTest, NodesWithoutUsableWeightsKeepTheirPlace)
{
	// An isolated node keeps its position wherever the origin lies.
	Graph graph = polyline({{0, 0, 0}, {1, 1, 0}, {2, 0, 0}});
	const uint64_t lonely = addAt(graph, {50, -20, 7});
	// Edges far longer than σ: every weight underflows, and the nodes must stay finite and in place.
	const uint64_t far1 = addAt(graph, {1000, 0, 0});
	const uint64_t far2 = addAt(graph, {3000, 0, 0});
	const uint64_t far3 = addAt(graph, {5000, 10, 0});
	graph.addEdge(far1, far2, Graph::EdgeInfo());
	graph.addEdge(far2, far3, Graph::EdgeInfo());
	EXPECT_EQ(smooth(graph, Mode::LaplacianHeatKernel, 1.0, false), Algorithm::Success);
	expectNear(at(graph, lonely), {50, -20, 7}, 1e-9);
	expectNear(at(graph, far1), {1000, 0, 0}, 1e-9);
	expectNear(at(graph, far2), {3000, 0, 0}, 1e-9);
	expectNear(at(graph, far3), {5000, 10, 0}, 1e-9);
	EXPECT_GT((at(graph, 2) - Eigen::Vector3d(1, 1, 0)).norm(), 0.01);
}

TEST(GraphSmoothingTest, StrengthsThatAreNotFiniteOrTooLargeAreRefused)
{
	const double inf = std::numeric_limits<double>::infinity();
	const std::string notFinite = "Smoothing strength must be a finite number.";
	const std::vector<std::tuple<Mode, double, std::string>> cases = {
	    {Mode::NeighborhoodWeightedAverage, inf, notFinite},
	    {Mode::NeighborhoodWeightedAverage, std::numeric_limits<double>::quiet_NaN(), notFinite},
	    {Mode::LaplacianHeatKernel, inf, notFinite},
	    {Mode::LaplacianHeatKernel, std::numeric_limits<double>::quiet_NaN(), notFinite},
	    // Hours of passes.
	    {Mode::NeighborhoodWeightedAverage, 1e9,
	     "A smoothing strength of 1000000000 would run 1000000000 averaging passes; at most 500 are allowed."},
	    // A diffusion time that overflows solved every node to the origin.
	    {Mode::LaplacianHeatKernel, 1e155, "A smoothing strength of 1e+155 is too wide for the heat kernel: its diffusion time overflows."},
	};
	for (const auto& [mode, strength, message] : cases)
	{
		Graph graph = polyline({{0, 0, 0}, {1, 1, 0}, {2, 0, 0}});
		Log::ScopedCapture capture;
		EXPECT_EQ(smooth(graph, mode, strength), Algorithm::InvalidInput) << message;
		EXPECT_EQ(capture->messages(Log::Error), (std::vector<std::string>{message}));
		expectNear(at(graph, 2), {1, 1, 0}, 0.0);
	}
	Graph graph = polyline({{0, 0, 0}, {1, 1, 0}});
	EXPECT_THROW(GraphSmoothingAlgorithm::smoothByNeighborhoodAverage(graph, std::numeric_limits<double>::infinity(), true),
	             std::invalid_argument);
	EXPECT_FALSE(GraphSmoothingAlgorithm::smoothByHeatKernel(graph, -std::numeric_limits<double>::infinity(), true));
}

TEST(GraphSmoothingTest, RandomGraphsKeepTopologyRecordsAndHull)
{
	std::mt19937_64 random(77);
	for (int round = 0; round < 12; ++round)
	{
		const Graph input = round % 2 == 0 ? RandomGraphs::randomConnectedGraph(random, 60 + 10 * round, 15, Graph::Type::Undirected)
		                                   : RandomGraphs::randomGraph(random, 80, 100, Graph::Type::Undirected);
		const Mode mode = round % 3 == 0 ? Mode::NeighborhoodWeightedAverage : Mode::LaplacianHeatKernel;
		const double strength = mode == Mode::LaplacianHeatKernel ? 5.0 + 5.0 * (round % 4) : 1.0 + 0.7 * round;
		Graph graph = input;
		ASSERT_EQ(smooth(graph, mode, strength, true), Algorithm::Success);

		// Every new position is a convex combination of old ones, so it stays inside the input's box.
		Eigen::Vector3d low = Eigen::Vector3d::Constant(std::numeric_limits<double>::infinity());
		Eigen::Vector3d high = -low;
		input.forEachNode(
		    [&](uint64_t, const Graph::NodeInfo& info)
		    {
			    low = low.cwiseMin(info.position());
			    high = high.cwiseMax(info.position());
		    });
		int moved = 0;
		ASSERT_EQ(RandomGraphs::nodeIds(graph), RandomGraphs::nodeIds(input));
		graph.forEachNode(
		    [&](uint64_t id, const Graph::NodeInfo& info, const Graph::Neighborhood& neighbors)
		    {
			    const Graph::NodeInfo& before = input.node(id);
			    EXPECT_TRUE(info.position().allFinite());
			    EXPECT_TRUE((info.position().array() >= low.array() - 1e-9).all() &&
			                (info.position().array() <= high.array() + 1e-9).all());
			    moved += info.position() != before.position() ? 1 : 0;
			    EXPECT_EQ(info.features(), before.features());
			    EXPECT_TRUE(info.attributes().compareWith(before.attributes()));
			    const Graph::Neighborhood& old = input.neighborhood(id);
			    ASSERT_EQ(neighbors.size(), old.size());
			    for (const auto& [neighbor, edge] : neighbors)
			    {
				    ASSERT_TRUE(old.count(neighbor));
				    EXPECT_TRUE(RandomGraphs::sameEdge(*edge, *old.at(neighbor)));
			    }
		    });
		EXPECT_GT(moved, 0);
		EXPECT_EQ(graph.nodeFeatureDescriptors().size(), input.nodeFeatureDescriptors().size());
		EXPECT_EQ(graph.edgeFeatureDescriptors().size(), input.edgeFeatureDescriptors().size());
	}
}

TEST(GraphSmoothingTest, ALongChainIsSmoothedInBothModes)
{
	std::vector<Eigen::Vector3d> points(200000);
	for (size_t i = 0; i < points.size(); ++i)
		points[i] = Eigen::Vector3d(static_cast<double>(i), i % 2 == 0 ? 0.5 : -0.5, 0);
	Graph graph = polyline(points);
	EXPECT_EQ(smooth(graph, Mode::NeighborhoodWeightedAverage, 1.0), Algorithm::Success);
	EXPECT_EQ(smooth(graph, Mode::LaplacianHeatKernel, 1.0), Algorithm::Success);
	// The zigzag flattens; the ends stay.
	EXPECT_LT(std::abs(at(graph, 100000).y()), 0.1);
	// The ends stay up to the linear solver's precision.
	expectNear(at(graph, 1), points.front(), 1e-9);
	expectNear(at(graph, 200000), points.back(), 1e-9);
}
