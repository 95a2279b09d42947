#include "src/imaging/GraphToLabelMapAlgorithm.h"

#include "host/core/Log.h"
#include "host/core/Progress.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "src/graph/Graph.h"
#include "tests/common/ScopedEnvironment.h"
#include "tests/imaging/LabelMapTestGraphs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace Quorvale;

namespace
{
	/// Two nodes at `a` and `b` joined by an edge of diameter `diameter`.
	std::unique_ptr<Graph> segment(const Eigen::Vector3d& a, const Eigen::Vector3d& b, double diameter)
	{
		auto graph = std::make_unique<Graph>();
		graph->addNode(Graph::NodeInfo(a, {}));
		graph->addNode(Graph::NodeInfo(b, {}));
		graph->addEdge(1, 2, Graph::EdgeInfo({diameter}));
		return graph;
	}

	/// Runs the algorithm on the CPU with `spacing`; the output set, or null.
	std::unique_ptr<SharedImageSet> runCpu(GraphToLabelMapAlgorithm& algorithm, double spacing = 1.0)
	{
		algorithm.spacing = spacing;
		algorithm.forceCPU = true;
		algorithm.compute();
		return algorithm.takeOutput().extractFirst<SharedImageSet>();
	}

	/// What a run on the given path left: status, output and the log messages at `level` or above.
	struct LoggedRun
	{
		int status;
		std::unique_ptr<SharedImageSet> output;
		std::vector<std::string> messages;
	};
	LoggedRun runLogged(GraphToLabelMapAlgorithm& algorithm, bool cpu, int level)
	{
		algorithm.forceCPU = cpu;
		Log::ScopedCapture log;
		algorithm.compute();
		return {algorithm.status(), algorithm.takeOutput().extractFirst<SharedImageSet>(), log.sink().messages(level)};
	}

	const TypedImage<unsigned char>& labelsOf(const SharedImageSet& set) { return dynamic_cast<const TypedImage<unsigned char>&>(*set.mem()); }
}

TEST(GraphToLabelMapAlgorithmTest, SelectionsItAccepts)
{
	Graph graph, other;
	SharedImageSet image(std::make_unique<SharedImage>(TypedImage<float>::create({4, 4, 4}))), emptySet;
	// A set without images has no grid to copy.
	for (const auto& [data, accepted] : std::vector<std::pair<DataList, bool>>{
	         {{&graph}, true}, {{&image, &graph}, true}, {{&image}, false}, {{&graph, &other}, false}, {{&graph, &emptySet}, false}})
	{
		Algorithm* created = nullptr;
		EXPECT_EQ(GraphToLabelMapAlgorithm::createCompatible(data, &created), accepted) << data.size();
		std::unique_ptr<Algorithm> owned(created);
		if (auto* algorithm = dynamic_cast<GraphToLabelMapAlgorithm*>(created))
		{
			EXPECT_EQ(algorithm->spacing.attribute("hidden") == "true", data.size() == 2);
		}
	}
}

TEST(GraphToLabelMapAlgorithmTest, InvalidInputGivesStatusTwoAndNoOutput)
{
	auto noDiameter = segment({0, 0, 0}, {1, 0, 0}, 1);
	noDiameter->removeEdgeFeatures(std::vector<std::string>{"diameter"});
	std::vector<std::tuple<std::unique_ptr<Graph>, double, std::string>> cases;
	cases.emplace_back(std::make_unique<Graph>(), 1.0, "Graph has no nodes");
	cases.emplace_back(std::move(noDiameter), 1.0, "Graph does not have a diameter feature.");
	cases.emplace_back(segment({0, 0, 0}, {1, 0, 0}, 1), 0.0, "The spacing (0, 0, 0) must be positive and finite.");
	cases.emplace_back(segment({0, 0, 0}, {INFINITY, 0, 0}, 1), 1.0, "Node 2 has a position that is not finite.");
	// Negative, NaN and, as a float radius, infinite diameters; a grid too large to index.
	for (double diameter : {-1.0, std::nan(""), 1e300})
		cases.emplace_back(segment({0, 0, 0}, {1, 0, 0}, diameter), 1.0, "");
	cases.emplace_back(segment({0, 0, 0}, {1e12, 0, 0}, 1), 1e-3, "");
	cases.emplace_back(segment({0, 0, 0}, {1, 0, 0}, 1), 1.0, "The graph's matrix to world holds values that are not finite.");
	std::get<0>(cases.back())->setMatrixToWorld(Eigen::Matrix4d::Constant(std::nan("")));
	for (auto& [graph, spacing, message] : cases)
	{
		GraphToLabelMapAlgorithm algorithm(*graph, std::nullopt);
		Log::ScopedCapture log;
		EXPECT_EQ(runCpu(algorithm, spacing), nullptr);
		EXPECT_EQ(algorithm.status(), Algorithm::InvalidInput);
		const auto errors = log.sink().messages(Log::Error);
		ASSERT_EQ(errors.size(), 1u) << message;
		EXPECT_TRUE(message.empty() || errors.front() == message) << errors.front();
	}
}

TEST(GraphToLabelMapAlgorithmTest, FittedGridsWarningsAndMargins)
{
	const std::string small = " is smaller than one scaled unit, consider increasing the resolution.";
	std::vector<std::tuple<std::unique_ptr<Graph>, std::vector<std::string>, Eigen::Vector3i>> cases;
	cases.emplace_back(segment({0, 0, 0}, {4, 0, 0}, 1.5), std::vector<std::string>{"Smallest radius 0.75" + small},
	                   Eigen::Vector3i(10, 6, 6));
	cases.emplace_back(segment({0, 0, 0}, {4, 0, 0}, 6.0), std::vector<std::string>{}, Eigen::Vector3i(14, 10, 10));
	// One edge without a diameter among others: the warning, and the margin of the largest.
	cases.emplace_back(segment({0, 0, 0}, {4, 0, 0}, 6.0), std::vector<std::string>{"Smallest radius 0" + small},
	                   Eigen::Vector3i(14, 10, 10));
	std::get<0>(cases.back())->addNode(Graph::NodeInfo(Eigen::Vector3d(2, 0, 0), {}));
	std::get<0>(cases.back())->addEdge(1, 3, Graph::EdgeInfo({0.0}));
	for (auto& [graph, warnings, dimensions] : cases)
	{
		GraphToLabelMapAlgorithm algorithm(*graph, std::nullopt);
		Log::ScopedCapture log;
		const auto output = runCpu(algorithm);
		ASSERT_NE(output, nullptr);
		// A forced CPU run says nothing of the path it took.
		EXPECT_EQ(log.sink().messages(Log::Info), warnings);
		EXPECT_EQ(output->get()->descriptor().dimensions(), dimensions);
	}

	// Nodes at one point: p = 2·⌈1.5 / 0.5⌉ + 4 voxels on each axis, centred there, no label.
	auto point = segment({3, -2, 7}, {3, -2, 7}, 3.0);
	point->setName("vessels");
	GraphToLabelMapAlgorithm algorithm(*point, std::nullopt);
	const auto output = runCpu(algorithm, 0.5);
	ASSERT_NE(output, nullptr);
	EXPECT_EQ(output->modality(), Data::LabelMap);
	EXPECT_EQ(output->name(), "vessels Label Map");
	const ImageDescriptorWorld grid = output->get()->descriptorWorld();
	EXPECT_EQ(grid.dimensions(), Eigen::Vector3i(10, 10, 10));
	EXPECT_EQ(grid.spacing(), Eigen::Vector3d::Constant(0.5));
	EXPECT_EQ(grid.pixelToWorld(Eigen::Vector3d::Constant(4.5)), Eigen::Vector3d(3, -2, 7));
	EXPECT_EQ(LabelMapTest::countLabels(labelsOf(*output)), 0u);
}

// A label map that would be empty or would not fit fails before any work, on either path, with
// one error that says what to do, and no warning.
TEST(GraphToLabelMapAlgorithmTest, LabelMapsThatWouldBeEmptyOrTooLargeFailBeforeAnyWork)
{
	Testing::ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", "2G");
	const std::string zero = "All graph edge diameters are zero. The label map would be empty: measure them first (ComputeFeatures with "
	                         "mode VesselDiameter and the label image), or give the edges a diameter feature of their own.";
	const ImageDescriptorWorld reference(ImageDescriptor(ImageDescriptor::Float, {8, 8, 8}));
	std::vector<std::tuple<std::unique_ptr<Graph>, std::optional<ImageDescriptorWorld>, double, std::string>> cases;
	cases.emplace_back(segment({0, 0, 0}, {4, 0, 0}, 0.0), std::nullopt, 1.0, zero);
	cases.emplace_back(segment({0, 0, 0}, {4, 0, 0}, 0.0), reference, 1.0, zero);
	cases.emplace_back(segment({0, 0, 0}, {4, 0, 0}, 1.0), std::nullopt, 1.0,
	                   "Graph has no edges, so the label map would be empty: only edges are drawn into it.");
	std::get<0>(cases.back())->removeEdge(1, 2);
	// 10,000 voxels and more on each axis: their count overflows 32-bit products.
	cases.emplace_back(segment({0, 0, 0}, {10, 10, 10}, 1.0), std::nullopt, 1e-3,
	                   "A label map of 11004 x 11004 x 11004 voxels would need 1.33 TB of memory, more than the 2.15 GB available; use a "
	                   "larger spacing.");
	for (auto& [graph, grid, spacing, message] : cases)
		for (const bool cpu : {true, false})
		{
			GraphToLabelMapAlgorithm algorithm(*graph, grid);
			algorithm.spacing = spacing;
			const LoggedRun run = runLogged(algorithm, cpu, Log::Info);
			EXPECT_EQ(run.status, Algorithm::Error);
			EXPECT_EQ(run.output, nullptr);
			// Nothing else: no warning, and no note on the path taken.
			EXPECT_EQ(run.messages, std::vector<std::string>{message});
		}
}

TEST(GraphToLabelMapAlgorithmTest, ReferenceGridIsCopiedAndItsSpacingMeasures)
{
	ImageDescriptorWorld reference(ImageDescriptor(ImageDescriptor::Float, {12, 10, 8}, 1, Eigen::Vector3d(0.5, 1, 2)));
	Eigen::Matrix4d matrix = Eigen::Matrix4d::Identity();
	matrix.block<3, 1>(0, 3) = Eigen::Vector3d(10, 20, 30);
	reference.setMatrixToWorld(matrix);
	auto graph = segment({8, 20.5, 31}, {12, 20.5, 31}, 2.0);
	GraphToLabelMapAlgorithm algorithm(*graph, reference);
	const auto output = runCpu(algorithm);
	ASSERT_NE(output, nullptr);
	EXPECT_EQ(output->get()->matrixToWorld(), matrix);
	EXPECT_EQ(output->get()->descriptor().dimensions(), reference.dimensions());
	EXPECT_EQ(output->get()->descriptor().spacing(), reference.spacing());
	// g = 1: the radius is 1 world unit, 2 voxels along x, 1 along y, half a voxel along z.
	const auto& labels = labelsOf(*output);
	EXPECT_EQ(labels.at(6, 5, 4) + labels.at(6, 4, 4), 2);
	EXPECT_EQ(labels.at(6, 3, 4) + labels.at(6, 5, 5), 0);
}

// Spacings whose measures floats cannot carry are refused before any work, on both paths and in
// both modes: a reference grid so fine that an edge's length in voxels overflows (sample counts from
// NaN once), sizes or ratios beyond floats, and a scale that turns a radius into 0.
TEST(GraphToLabelMapAlgorithmTest, SpacingsThatFloatsCannotMeasureAreRefusedBeforeAnyWork)
{
	struct Case
	{
		const char* name;
		std::optional<Eigen::Vector3d> reference;
		double spacing;
		double diameter;
		std::string message;
	};
	const Case cases[] = {
	    {"reference spacing 1e-30", Eigen::Vector3d::Constant(1e-30), 1.0, 1.0, "Edge 0 is too long in voxels"},
	    {"reference spacing 1e-20", Eigen::Vector3d::Constant(1e-20), 1.0, 1.0, "Edge 0 is too long in voxels"},
	    {"anisotropy beyond floats", Eigen::Vector3d(1e-20, 1, 1e20), 1.0, 1.0, "cannot be rasterised"},
	    {"spacing 1e308", std::nullopt, 1e308, 1.0, "cannot be rasterised"},
	    {"spacing 1e39", std::nullopt, 1e39, 1.0, "cannot be rasterised"},
	    {"spacing 1e-40", std::nullopt, 1e-40, 1.0, "cannot be rasterised"},
	    {"radius lost to the scale", std::nullopt, 1e30, 1e-20, "of diameter 1e-20 has no radius at the spacing's scale 1e-30"},
	};
	for (const Case& c : cases)
		for (const auto mode : {GraphToLabelMapAlgorithm::Mode::Centerline, GraphToLabelMapAlgorithm::Mode::Vessel})
			for (const bool cpu : {true, false})
			{
				SCOPED_TRACE(std::string(c.name) + (cpu ? ", CPU" : ", GPU"));
				auto graph = segment({1, 2, 3}, {4, 5, 6}, c.diameter);
				std::optional<ImageDescriptorWorld> reference;
				if (c.reference)
					reference = ImageDescriptorWorld(ImageDescriptor(ImageDescriptor::Float, {5, 5, 5}, 1, *c.reference));
				GraphToLabelMapAlgorithm algorithm(*graph, reference);
				algorithm.spacing = c.spacing;
				algorithm.mode = mode;
				const LoggedRun run = runLogged(algorithm, cpu, Log::Error);
				EXPECT_EQ(run.status, Algorithm::InvalidInput);
				EXPECT_EQ(run.output, nullptr);
				ASSERT_EQ(run.messages.size(), 1u);
				EXPECT_NE(run.messages.front().find(c.message), std::string::npos) << run.messages.front();
			}
}

TEST(GraphToLabelMapAlgorithmTest, VesselModeLabelsACylinderWithoutGapsAtAnySpacing)
{
	// 20 voxels along x with a radius of one voxel.
	for (double h : {0.125, 1.0, 20.0})
	{
		auto graph = segment({0, 0, 0}, {20 * h, 0, 0}, 2 * h);
		GraphToLabelMapAlgorithm algorithm(*graph, std::nullopt);
		algorithm.mode = GraphToLabelMapAlgorithm::Mode::Vessel;
		const auto output = runCpu(algorithm, h);
		ASSERT_NE(output, nullptr) << h;
		const auto& labels = labelsOf(*output);
		ASSERT_EQ(labels.descriptor().dimensions(), Eigen::Vector3i(26, 6, 6)) << h;
		// The axis runs from x = 3 to x = 23 in voxel units along the corner of voxels 2 and 3 in y
		// and z; the cylinder reaches 2.5 beyond the first and last sample centres.
		for (int x = 3; x < 23; ++x)
			EXPECT_EQ(labels.at(x, 2, 2) + labels.at(x, 3, 3), 2) << "spacing " << h << " x " << x;
		EXPECT_EQ(labels.at(0, 2, 2) + labels.at(25, 2, 2), 0) << h;
	}
}

TEST(GraphToLabelMapAlgorithmTest, CpuProgressComesFromTheCallingThreadAndLeavesTheLabels)
{
	/// Every report with the thread it came from.
	struct RecordingProgress : Progress
	{
		void update(double fraction, const std::string&) override { fractions.push_back(fraction), threads.insert(std::this_thread::get_id()); }
		std::vector<double> fractions;
		std::set<std::thread::id> threads;
	};

	const auto graph = LabelMapTest::randomGraph(7, 40, 60, -20.0, 20.0, 1.0, 4.0);
	for (auto mode : {GraphToLabelMapAlgorithm::Mode::Centerline, GraphToLabelMapAlgorithm::Mode::Vessel})
	{
		GraphToLabelMapAlgorithm silent(*graph, std::nullopt);
		silent.mode = mode;
		const auto expected = runCpu(silent, 0.5);
		GraphToLabelMapAlgorithm reporting(*graph, std::nullopt);
		reporting.mode = mode;
		RecordingProgress progress;
		reporting.setProgress(&progress);
		const auto labelled = runCpu(reporting, 0.5);
		ASSERT_TRUE(expected && labelled);
		ASSERT_EQ(expected->mem()->byteSize(), labelled->mem()->byteSize());
		EXPECT_EQ(std::memcmp(expected->mem()->data(), labelled->mem()->data(), expected->mem()->byteSize()), 0);
		ASSERT_FALSE(progress.fractions.empty());
		EXPECT_TRUE(progress.fractions.front() >= 0.0 && std::is_sorted(progress.fractions.begin(), progress.fractions.end()));
		EXPECT_EQ(progress.fractions.back(), 1.0);
		EXPECT_EQ(progress.threads, std::set<std::thread::id>{std::this_thread::get_id()});
	}
}
