#include "src/imaging/GraphToLabelMapAlgorithm.h"

#include "host/core/Log.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "src/graph/Graph.h"
#include "tests/imaging/LabelMapTestGraphs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using namespace Quorvale;
using Mode = GraphToLabelMapAlgorithm::Mode;

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

	/// Runs the algorithm on the CPU; the output set, or null.
	std::unique_ptr<SharedImageSet> runCpu(GraphToLabelMapAlgorithm& algorithm)
	{
		algorithm.forceCPU = true;
		algorithm.compute();
		OwningDataList output = algorithm.takeOutput();
		return output.extractFirst<SharedImageSet>();
	}

	const TypedImage<unsigned char>& labelsOf(const SharedImageSet& set) { return dynamic_cast<const TypedImage<unsigned char>&>(*set.mem()); }
}

TEST(GraphToLabelMapAlgorithmTest, SelectionsItAccepts)
{
	Graph graph, other;
	SharedImageSet image(std::make_unique<SharedImage>(TypedImage<float>::create({4, 4, 4}))), emptySet, secondImage;
	struct Case
	{
		DataList data;
		bool accepted;
	};
	const std::vector<Case> cases = {
	    {DataList{&graph}, true},          {DataList{&graph, &image}, true},        {DataList{&image, &graph}, true},
	    {DataList{}, false},               {DataList{&image}, false},                {DataList{&graph, &other}, false},
	    {DataList{&graph, &emptySet}, false}, {DataList{&graph, &image, &secondImage}, false},
	};
	for (std::size_t i = 0; i < cases.size(); ++i)
	{
		Algorithm* created = nullptr;
		EXPECT_EQ(GraphToLabelMapAlgorithm::createCompatible(cases[i].data, &created), cases[i].accepted) << "case " << i;
		EXPECT_EQ(created != nullptr, cases[i].accepted) << "case " << i;
		delete created;
	}
}

TEST(GraphToLabelMapAlgorithmTest, ParametersAndTheirAttributes)
{
	auto graph = segment({0, 0, 0}, {1, 0, 0}, 1);
	GraphToLabelMapAlgorithm fitted(*graph, std::nullopt);
	Properties settings;
	fitted.configuration(settings);
	EXPECT_EQ(settings.param<double>("spacing"), 1.0);
	EXPECT_EQ(settings.param<bool>("forceCPU"), false);
	EXPECT_EQ(fitted.mode.value(), Mode::Centerline);
	EXPECT_EQ(fitted.mode.attribute("values"), "Centerline, Vessel");
	EXPECT_NE(fitted.spacing.attribute("hidden"), "true");

	GraphToLabelMapAlgorithm onReference(*graph, ImageDescriptorWorld(ImageDescriptor(ImageDescriptor::Float, {4, 4, 4})));
	EXPECT_EQ(onReference.spacing.attribute("hidden"), "true");
}

TEST(GraphToLabelMapAlgorithmTest, InvalidInputGivesStatusTwoAndNoOutput)
{
	const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
	struct Case
	{
		std::unique_ptr<Graph> graph;
		double spacing;
		const char* message;
	};
	std::vector<Case> cases;
	cases.push_back({std::make_unique<Graph>(), 1.0, "Graph has no nodes"});
	auto noDiameter = segment({0, 0, 0}, {1, 0, 0}, 1);
	noDiameter->removeEdgeFeatures(std::vector<std::string>{"diameter"});
	cases.push_back({std::move(noDiameter), 1.0, "Graph does not have a diameter feature."});
	cases.push_back({segment({0, 0, 0}, {1, 0, 0}, 1), 0.0, "The spacing (0, 0, 0) must be positive and finite."});
	cases.push_back({segment({0, 0, 0}, {1, 0, 0}, 1), nan, nullptr});
	cases.push_back({segment({0, 0, 0}, {1, 0, 0}, -1), 1.0, nullptr});
	cases.push_back({segment({0, 0, 0}, {1, 0, 0}, nan), 1.0, nullptr});
	cases.push_back({segment({0, 0, 0}, {1, 0, 0}, 1e300), 1.0, nullptr});
	cases.push_back({segment({0, 0, 0}, {inf, 0, 0}, 1), 1.0, "Node 2 has a position that is not finite."});
	// A grid too large to index.
	cases.push_back({segment({0, 0, 0}, {1e12, 0, 0}, 1), 1e-3, nullptr});
	for (std::size_t i = 0; i < cases.size(); ++i)
	{
		GraphToLabelMapAlgorithm algorithm(*cases[i].graph, std::nullopt);
		algorithm.spacing = cases[i].spacing;
		Log::ScopedCapture log;
		EXPECT_EQ(runCpu(algorithm), nullptr) << "case " << i;
		EXPECT_EQ(algorithm.status(), Algorithm::InvalidInput) << "case " << i;
		const auto errors = log.sink().messages(Log::Error);
		ASSERT_EQ(errors.size(), 1u) << "case " << i;
		if (cases[i].message)
		{
			EXPECT_EQ(errors.front(), cases[i].message);
		}
	}
}

TEST(GraphToLabelMapAlgorithmTest, CoincidentNodesGiveACentredGridOfTheMarginWithoutLabels)
{
	auto graph = segment({3, -2, 7}, {3, -2, 7}, 3.0);
	GraphToLabelMapAlgorithm algorithm(*graph, std::nullopt);
	algorithm.spacing = 0.5;
	const auto output = runCpu(algorithm);
	ASSERT_NE(output, nullptr);
	EXPECT_EQ(algorithm.status(), Algorithm::Success);
	EXPECT_EQ(output->modality(), Data::LabelMap);
	// r = 1.5 / 0.5 = 3 scaled units: p = 2·3 + 4.
	const ImageDescriptorWorld grid = output->get()->descriptorWorld();
	EXPECT_EQ(grid.dimensions(), Eigen::Vector3i(10, 10, 10));
	EXPECT_EQ(grid.spacing(), Eigen::Vector3d::Constant(0.5));
	EXPECT_EQ(grid.pixelToWorld(Eigen::Vector3d::Constant(4.5)), Eigen::Vector3d(3, -2, 7));
	EXPECT_EQ(grid.pixelType(), ImageDescriptor::UnsignedChar);
	EXPECT_EQ(LabelMapTest::countLabels(labelsOf(*output)), 0u);
}

TEST(GraphToLabelMapAlgorithmTest, ReferenceGridIsCopied)
{
	ImageDescriptorWorld reference(ImageDescriptor(ImageDescriptor::Float, {12, 10, 8}, 1, Eigen::Vector3d(0.5, 1, 2)));
	Eigen::Matrix4d matrix = Eigen::Matrix4d::Identity();
	matrix.block<3, 1>(0, 3) = Eigen::Vector3d(10, 20, 30);
	reference.setMatrixToWorld(matrix);
	auto graph = segment({8, 20.5, 31}, {12, 20.5, 31}, 2.0);
	GraphToLabelMapAlgorithm algorithm(*graph, reference);
	const auto output = runCpu(algorithm);
	ASSERT_NE(output, nullptr);
	const ImageDescriptorWorld grid = output->get()->descriptorWorld();
	EXPECT_EQ(grid.dimensions(), reference.dimensions());
	EXPECT_EQ(grid.spacing(), reference.spacing());
	EXPECT_EQ(grid.matrixToWorld(), matrix);
	// g = 1: the radius is 1 world unit, 2 voxels along x, 1 along y, half a voxel along z.
	const auto& labels = labelsOf(*output);
	EXPECT_EQ(labels.at(6, 5, 4), 1);
	EXPECT_EQ(labels.at(6, 3, 4), 0);
	EXPECT_EQ(labels.at(6, 5, 5), 0);
}

TEST(GraphToLabelMapAlgorithmTest, WarningsOnRadii)
{
	struct Case
	{
		std::unique_ptr<Graph> graph;
		std::vector<std::string> warnings;
		Eigen::Vector3i dimensions;
	};
	std::vector<Case> cases;
	cases.push_back({segment({0, 0, 0}, {4, 0, 0}, 0.0),
	                 {"All graph edge diameters are zero.", "Smallest radius 0 is smaller than one scaled unit, consider increasing the resolution."},
	                 Eigen::Vector3i(8, 4, 4)});
	cases.push_back({segment({0, 0, 0}, {4, 0, 0}, 1.5),
	                 {"Smallest radius 0.75 is smaller than one scaled unit, consider increasing the resolution."},
	                 Eigen::Vector3i(10, 6, 6)});
	cases.push_back({segment({0, 0, 0}, {4, 0, 0}, 6.0), {}, Eigen::Vector3i(14, 10, 10)});
	// Nodes without edges: no radius to warn about, the smallest margin.
	auto nodesOnly = segment({0, 0, 0}, {4, 0, 0}, 1.0);
	nodesOnly->removeEdge(1, 2);
	cases.push_back({std::move(nodesOnly), {"All graph edge diameters are zero."}, Eigen::Vector3i(8, 4, 4)});
	for (std::size_t i = 0; i < cases.size(); ++i)
	{
		GraphToLabelMapAlgorithm algorithm(*cases[i].graph, std::nullopt);
		Log::ScopedCapture log;
		const auto output = runCpu(algorithm);
		ASSERT_NE(output, nullptr) << "case " << i;
		EXPECT_EQ(log.sink().messages(Log::Warning), cases[i].warnings) << "case " << i;
		EXPECT_EQ(output->get()->descriptor().dimensions(), cases[i].dimensions) << "case " << i;
	}
}

TEST(GraphToLabelMapAlgorithmTest, VesselModeLabelsACylinderWithoutGapsAtAnySpacing)
{
	// 20 voxels along x with radius 1 voxel: every axis voxel between the ends is labelled.
	for (double h : {0.125, 1.0, 20.0})
	{
		auto graph = segment({0, 0, 0}, {20 * h, 0, 0}, 2 * h);
		GraphToLabelMapAlgorithm algorithm(*graph, std::nullopt);
		algorithm.spacing = h;
		algorithm.mode = Mode::Vessel;
		const auto output = runCpu(algorithm);
		ASSERT_NE(output, nullptr) << h;
		const auto& labels = labelsOf(*output);
		const Eigen::Vector3i dims = labels.descriptor().dimensions();
		ASSERT_EQ(dims, Eigen::Vector3i(26, 6, 6)) << h;
		// The axis runs from x = 3 to x = 23 in voxel units along the corner of voxels 2 and 3 in y
		// and z; the cylinder reaches 2.5 beyond the first and last sample centres.
		for (int x = 3; x < 23; ++x)
			EXPECT_EQ(labels.at(x, 2, 2) + labels.at(x, 3, 3), 2) << "spacing " << h << " x " << x;
		EXPECT_EQ(labels.at(0, 2, 2), 0) << h;
		EXPECT_EQ(labels.at(25, 2, 2), 0) << h;
	}
}

TEST(GraphToLabelMapAlgorithmTest, ForcedCpuLogsNothing)
{
	auto graph = segment({0, 0, 0}, {4, 0, 0}, 4.0);
	GraphToLabelMapAlgorithm algorithm(*graph, std::nullopt);
	Log::ScopedCapture log;
	ASSERT_NE(runCpu(algorithm), nullptr);
	EXPECT_TRUE(log.sink().messages(Log::Info).empty());
}
