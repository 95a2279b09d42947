#include "src/imaging/GraphToLabelMapAlgorithm.h"

#include "host/core/Log.h"
#include "host/gl/Context.h"
#include "host/gl/Policy.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "src/graph/Graph.h"
#include "src/plugin/Repository_QuorvaleGraph.h"
#include "tests/imaging/LabelMapTestGraphs.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

using namespace Quorvale;
namespace Raster = Quorvale::LabelMapRasterisation;
using Mode = GraphToLabelMapAlgorithm::Mode;

namespace
{
	/// Gives the tests the two paths and the lists they take.
	class Probe : public GraphToLabelMapAlgorithm
	{
	public:
		using GraphToLabelMapAlgorithm::computeCPU;
		using GraphToLabelMapAlgorithm::computeGPU;
		using GraphToLabelMapAlgorithm::GraphToLabelMapAlgorithm;

		std::unique_ptr<SharedImageSet> run(bool cpu)
		{
			forceCPU = cpu;
			compute();
			return takeOutput().extractFirst<SharedImageSet>();
		}
	};

	const TypedImage<unsigned char>& labelsOf(const SharedImageSet& set) { return dynamic_cast<const TypedImage<unsigned char>&>(*set.mem()); }

	/// The library's shaders for the host, as the plug-in's `init` registers them.
	struct ScopedRepository
	{
		ScopedRepository() { Resource::addRepository(&repository); }
		~ScopedRepository() { Resource::removeRepository(&repository); }
		Repository_QuorvaleGraph repository;
	};

#define QUORVALE_REQUIRE_GPU()                                                                                                         \
	ScopedRepository shaders;                                                                                                          \
	if (!GL::Context::isAvailable() || GL::versionInfo() < Utils::Version(4, 3, 0))                                                  \
	GTEST_SKIP() << "No OpenGL 4.3: " << GL::Context::failure()

	/// Grid: fitted with a spacing, or a reference grid centred on the origin.
	struct GridCase
	{
		const char* name;
		std::optional<Eigen::Vector3d> referenceSpacing;
		double fittedSpacing;
	};
	using PathCase = std::tuple<Mode, GridCase>;
	class GraphToLabelMapPathsTest : public ::testing::TestWithParam<PathCase>
	{
	};
}

TEST_P(GraphToLabelMapPathsTest, GpuAndCpuLabelTheSameVoxels)
{
	QUORVALE_REQUIRE_GPU();
	const auto [mode, gridCase] = GetParam();
	std::size_t differing = 0, labelled = 0;
	for (unsigned seed : {11u, 12u, 13u})
	{
		auto graph = LabelMapTest::randomGraph(seed, 40, 60, -14, 14, 0.3, 7);
		std::optional<ImageDescriptorWorld> reference;
		if (gridCase.referenceSpacing)
			reference = ImageDescriptorWorld(ImageDescriptor(ImageDescriptor::Float,
			                                                 (Eigen::Vector3d::Constant(34.0).cwiseQuotient(*gridCase.referenceSpacing)).cast<int>(), 1,
			                                                 *gridCase.referenceSpacing));
		Probe algorithm(*graph, reference);
		algorithm.spacing = gridCase.fittedSpacing;
		algorithm.mode = mode;
		const auto cpu = algorithm.run(true);
		Log::ScopedCapture log;
		const auto gpu = algorithm.run(false);
		ASSERT_TRUE(cpu && gpu);
		for (const std::string& message : log.sink().messages(Log::Info))
			EXPECT_EQ(message.find("fallback"), std::string::npos) << message;
		const ImageDescriptorWorld grid = cpu->get()->descriptorWorld();
		ASSERT_EQ(gpu->get()->descriptorWorld(), grid);

		// A voxel may differ only where float rounding decides: |d² − r²| <= 1e-4·max(1, r²).
		const Raster::Geometry geometry = Raster::geometryOf(grid.spacing());
		const Raster::WorkLists lists = Raster::workLists(*graph, 0, geometry.scale);
		const Eigen::Matrix4d graphToPixel = Raster::graphToPixelMatrix(grid, graph->matrixToWorld()).cast<double>();
		const auto& a = labelsOf(*cpu);
		const auto& b = labelsOf(*gpu);
		const Eigen::Vector3i d = grid.dimensions();
		for (int z = 0; z < d.z(); ++z)
			for (int y = 0; y < d.y(); ++y)
				for (int x = 0; x < d.x(); ++x)
				{
					labelled += a.at(x, y, z);
					if (a.at(x, y, z) == b.at(x, y, z))
						continue;
					++differing;
					const auto expected = LabelMapTest::referenceVoxel(lists, graphToPixel, geometry.metric, mode, geometry.sampleSpacing(),
					                                                   Eigen::Vector3d(x + 0.5, y + 0.5, z + 0.5));
					ASSERT_LE(expected.margin, 1e-4) << gridCase.name << " seed " << seed << " voxel " << x << " " << y << " " << z;
				}
	}
	EXPECT_GT(labelled, 1000u);
	std::cout << "[          ] " << gridCase.name << (mode == Mode::Vessel ? " vessel" : " centerline") << ": " << differing << " of " << labelled
	          << " labelled voxels differ between the paths\n";
}

INSTANTIATE_TEST_SUITE_P(ModesAndGrids, GraphToLabelMapPathsTest,
                         ::testing::Combine(::testing::Values(Mode::Centerline, Mode::Vessel),
                                            ::testing::Values(GridCase{"fitted 1", std::nullopt, 1.0}, GridCase{"fitted 0.7", std::nullopt, 0.7},
                                                              GridCase{"reference 1", Eigen::Vector3d(1, 1, 1), 0.0},
                                                              GridCase{"reference (0.5, 1, 2)", Eigen::Vector3d(0.5, 1, 2), 0.0})));

TEST(GraphToLabelMapGpuTest, MoreEdgesThanOneRowOfWorkGroupsHolds)
{
	QUORVALE_REQUIRE_GPU();
	// 65,535 groups of 32 hold 2,097,120 edges; only the last edge here has a length.
	const int numEdges = 2097120 + 40;
	const std::vector<Eigen::Vector4f> nodes = {Eigen::Vector4f(-3, 0, 0, 1), Eigen::Vector4f(3, 1, 0, 1)};
	std::vector<Eigen::Vector2i> edges(static_cast<std::size_t>(numEdges), Eigen::Vector2i(0, 0));
	edges.back() = Eigen::Vector2i(0, 1);
	const std::vector<float> radii(static_cast<std::size_t>(numEdges), 2.0f);
	const ImageDescriptorWorld grid(ImageDescriptor(ImageDescriptor::UnsignedChar, {12, 8, 8}));
	Graph graph;
	graph.addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {}));
	Probe algorithm(graph, grid);
	ASSERT_TRUE(algorithm.computeGPU(nodes, edges, radii, grid, numEdges, Eigen::Vector3d::Ones(), 1.0f));
	const auto gpu = algorithm.takeOutput().extractFirst<SharedImageSet>();
	algorithm.computeCPU(nodes, edges, radii, grid, numEdges, Eigen::Vector3d::Ones(), 1.0f);
	const auto cpu = algorithm.takeOutput().extractFirst<SharedImageSet>();
	ASSERT_TRUE(gpu && cpu);
	EXPECT_GT(LabelMapTest::countLabels(labelsOf(*gpu)), 50u);
	EXPECT_TRUE(std::equal(labelsOf(*cpu).pointer(), labelsOf(*cpu).pointer() + grid.size(), labelsOf(*gpu).pointer()));
}

TEST(GraphToLabelMapGpuTest, ATextureTheDriverRefusesFallsBackToTheCpu)
{
	QUORVALE_REQUIRE_GPU();
	auto graph = LabelMapTest::randomGraph(5, 4, 4, -2, 2, 1, 2);
	// Wider than any 3-D texture of the driver.
	const ImageDescriptorWorld reference(ImageDescriptor(ImageDescriptor::UnsignedChar, {20000, 3, 3}));
	Probe algorithm(*graph, reference);
	const auto cpu = algorithm.run(true);
	Log::ScopedCapture log;
	const auto fallback = algorithm.run(false);
	ASSERT_TRUE(cpu && fallback);
	EXPECT_EQ(algorithm.status(), Algorithm::Success);
	const auto messages = log.sink().messages(Log::Info);
	ASSERT_FALSE(messages.empty());
	EXPECT_NE(messages.back().find("using CPU fallback"), std::string::npos) << messages.back();
	EXPECT_TRUE(std::equal(labelsOf(*cpu).pointer(), labelsOf(*cpu).pointer() + reference.size(), labelsOf(*fallback).pointer()));
}

TEST(GraphToLabelMapGpuTest, WithoutOpenGlTheCpuRunsAndSaysSo)
{
	GL::setPolicy(GL::Policy::None);
	auto graph = LabelMapTest::randomGraph(6, 4, 4, -2, 2, 1, 2);
	Probe algorithm(*graph, std::nullopt);
	Log::ScopedCapture log;
	const auto output = algorithm.run(false);
	GL::setPolicy(GL::Policy::Default);
	ASSERT_TRUE(output);
	EXPECT_EQ(log.sink().messages(Log::Info).back(), "OpenGL 4.3 not available, using CPU fallback");
}
