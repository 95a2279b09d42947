#include "src/imaging/GraphToLabelMapAlgorithm.h"

#include "host/core/Log.h"
#include "host/gl/Context.h"
#include "host/gl/Policy.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "src/plugin/Repository_QuorvaleGraph.h"
#include "tests/common/ScopedEnvironment.h"
#include "tests/imaging/LabelMapTestGraphs.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

using namespace Quorvale;
namespace Raster = Quorvale::LabelMapRasterisation;
using Mode = GraphToLabelMapAlgorithm::Mode;

namespace
{
	/// The algorithm with its two paths open to the tests.
	struct Probe : GraphToLabelMapAlgorithm
	{
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

	const unsigned char* labelsOf(const SharedImageSet& set) { return static_cast<const unsigned char*>(set.mem()->data()); }
	bool sameLabels(const SharedImageSet& a, const SharedImageSet& b)
	{
		return std::equal(labelsOf(a), labelsOf(a) + a.mem()->descriptor().size(), labelsOf(b));
	}

	/// The library's shaders registered with the host, as the plug-in's `init` does.
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

	/// Mode, then a fitted grid's spacing, or a reference grid's spacing when the flag is set.
	using PathCase = std::tuple<Mode, Eigen::Vector3d, bool>;
	class GraphToLabelMapPathsTest : public ::testing::TestWithParam<PathCase>
	{
	};
}

TEST_P(GraphToLabelMapPathsTest, GpuAndCpuLabelTheSameVoxels)
{
	QUORVALE_REQUIRE_GPU();
	const auto [mode, spacing, onReference] = GetParam();
	std::size_t differing = 0, labelled = 0;
	for (unsigned seed : {11u, 12u, 13u})
	{
		auto graph = LabelMapTest::randomGraph(seed, 40, 60, -14, 14, 0.3, 7);
		const ImageDescriptorWorld reference(ImageDescriptor(ImageDescriptor::Float, Eigen::Vector3d::Constant(34).cwiseQuotient(spacing).cast<int>(), 1, spacing));
		Probe algorithm(*graph, onReference ? std::optional<ImageDescriptorWorld>(reference) : std::nullopt);
		algorithm.spacing = spacing.x();
		algorithm.mode = mode;
		const auto cpu = algorithm.run(true);
		Log::ScopedCapture log;
		const auto gpu = algorithm.run(false);
		ASSERT_TRUE(cpu && gpu);
		EXPECT_TRUE(log.sink().messages(Log::Info).empty() || log.sink().messages(Log::Info).back().find("fallback") == std::string::npos);
		const ImageDescriptorWorld grid = cpu->get()->descriptorWorld();
		ASSERT_EQ(gpu->get()->descriptorWorld(), grid);
		EXPECT_TRUE(!onReference || (grid.dimensions() == reference.dimensions() && grid.spacing() == spacing));

		// A voxel may differ only where float rounding decides: |d² − r²| <= 1e-4·max(1, r²).
		const Raster::Geometry geometry = Raster::geometryOf(grid.spacing());
		const Raster::WorkLists lists = Raster::workLists(*graph, 0, geometry.scale);
		const Eigen::Matrix4d graphToPixel = Raster::graphToPixelMatrix(grid, graph->matrixToWorld()).cast<double>();
		for (std::size_t i = 0; i < grid.size(); ++i)
		{
			labelled += labelsOf(*cpu)[i];
			if (labelsOf(*cpu)[i] == labelsOf(*gpu)[i])
				continue;
			++differing;
			const Eigen::Vector3d q = grid.coord(i).cast<double>().array() + 0.5;
			ASSERT_LE(LabelMapTest::referenceVoxel(lists, graphToPixel, geometry.metric, mode, geometry.sampleSpacing(), q).margin, 1e-4)
			    << "seed " << seed << " voxel " << q.transpose();
		}
	}
	EXPECT_GT(labelled, 1000u);
	std::cout << "[          ] " << differing << " of " << labelled << " labelled voxels differ between the paths\n";
}

INSTANTIATE_TEST_SUITE_P(ModesAndGrids, GraphToLabelMapPathsTest,
                         ::testing::Combine(::testing::Values(Mode::Centerline, Mode::Vessel),
                                            ::testing::Values(Eigen::Vector3d(1, 1, 1), Eigen::Vector3d(0.7, 0.7, 0.7)), ::testing::Values(false)));
INSTANTIATE_TEST_SUITE_P(ModesAndReferenceGrids, GraphToLabelMapPathsTest,
                         ::testing::Combine(::testing::Values(Mode::Centerline, Mode::Vessel),
                                            ::testing::Values(Eigen::Vector3d(1, 1, 1), Eigen::Vector3d(0.5, 1, 2)), ::testing::Values(true)));

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
	Probe algorithm(graph, grid);
	ASSERT_TRUE(algorithm.computeGPU(nodes, edges, radii, grid, numEdges, Eigen::Vector3d::Ones(), 1.0f));
	const auto gpu = algorithm.takeOutput().extractFirst<SharedImageSet>();
	algorithm.computeCPU(nodes, edges, radii, grid, numEdges, Eigen::Vector3d::Ones(), 1.0f);
	const auto cpu = algorithm.takeOutput().extractFirst<SharedImageSet>();
	ASSERT_TRUE(gpu && cpu);
	EXPECT_GT(std::count(labelsOf(*gpu), labelsOf(*gpu) + grid.size(), 1), 50);
	EXPECT_TRUE(sameLabels(*cpu, *gpu));
}

TEST(GraphToLabelMapGpuTest, WhereTheGpuCannotTheCpuRunsAndSaysSo)
{
	QUORVALE_REQUIRE_GPU();
	auto graph = LabelMapTest::randomGraph(5, 4, 4, -2, 2, 2, 3);
	struct Case
	{
		std::optional<ImageDescriptorWorld> reference;
		GL::Policy policy;
		std::string memoryLimit;
		std::string note;
	};
	const Case cases[] = {
	    // Wider than any 3-D texture of the driver.
	    {ImageDescriptorWorld(ImageDescriptor(ImageDescriptor::UnsignedChar, {20000, 3, 3})), GL::Policy::Default, "",
	     "The GPU cannot rasterise the graph ("},
	    // 1 MB fits on the CPU, 9 MB of the GPU path do not.
	    {ImageDescriptorWorld(ImageDescriptor(ImageDescriptor::UnsignedChar, {100, 100, 100})), GL::Policy::Default, "4M",
	     "The GPU cannot rasterise the graph (A label map of 100 x 100 x 100 voxels on the GPU would need 9 MB of memory"},
	    {std::nullopt, GL::Policy::None, "", "OpenGL is switched off (QUORVALE_GL=none), rasterising on the CPU"},
	};
	for (const Case& c : cases)
	{
		std::optional<Testing::ScopedEnvironment> limit;
		if (!c.memoryLimit.empty())
			limit.emplace("QUORVALE_MEMORY_LIMIT", c.memoryLimit);
		Probe algorithm(*graph, c.reference);
		const auto cpu = algorithm.run(true);
		GL::setPolicy(c.policy);
		Log::ScopedCapture log;
		const auto fallback = algorithm.run(false);
		GL::setPolicy(GL::Policy::Default);
		ASSERT_TRUE(cpu && fallback) << c.note;
		EXPECT_EQ(algorithm.status(), Algorithm::Success);
		const auto messages = log.sink().messages(Log::Info);
		ASSERT_EQ(messages.size(), 1u);
		EXPECT_EQ(messages.front().find(c.note), 0u) << messages.front();
		EXPECT_TRUE(sameLabels(*cpu, *fallback));
	}
}
