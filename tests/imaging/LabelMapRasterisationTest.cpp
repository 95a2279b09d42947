#include "src/imaging/LabelMapRasterisation.h"

#include "host/lib/TypedImage.h"
#include "src/graph/Graph.h"
#include "tests/imaging/LabelMapTestGraphs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <utility>
#include <variant>

using namespace Quorvale;
namespace Raster = Quorvale::LabelMapRasterisation;
using Raster::Mode;

namespace
{
	std::unique_ptr<MemImage> rasterise(const Graph& graph, const ImageDescriptorWorld& grid, Mode mode, unsigned threads = 0)
	{
		const Raster::Geometry geometry = Raster::geometryOf(grid.spacing());
		const Raster::WorkLists lists = Raster::workLists(graph, 0, geometry.scale);
		return Raster::rasterise(lists.nodes, lists.edges, lists.radii, grid, graph.matrixToWorld(), geometry.metric, mode,
		                         geometry.sampleSpacing(), threads);
	}
	const TypedImage<unsigned char>& labels(const std::unique_ptr<MemImage>& image) { return dynamic_cast<const TypedImage<unsigned char>&>(*image); }

	using BruteForceCase = std::tuple<Mode, Eigen::Vector3d, double /*largest diameter*/>;
	class LabelMapBruteForceTest : public ::testing::TestWithParam<BruteForceCase>
	{
	};
}

TEST_P(LabelMapBruteForceTest, BoxesFindEveryVoxelThatTheRuleLabels)
{
	const auto [mode, spacing, largestDiameter] = GetParam();
	const ImageDescriptorWorld grid{ImageDescriptor(ImageDescriptor::UnsignedChar, {44, 26, 24}, 1, spacing)};
	const double half = 0.5 * grid.extent().minCoeff(), r = 0.5 * largestDiameter;
	for (unsigned seed : {0u, 1u, 2u, 3u})
	{
		auto graph = LabelMapTest::randomGraph(seed, 6, seed == 0 ? 0 : 4, -half, half, 0.0, largestDiameter);
		if (seed == 0)
		{
			// An edge 1.9 radii long, whose end caps reach farthest beyond its sample centres, and a
			// thin one along x, whose cylinder reaches farther along its axis than across it.
			graph->addOrReplaceNode(1, Graph::NodeInfo(Eigen::Vector3d(-0.95 * r, 0.3, 0.1), {}));
			graph->addOrReplaceNode(2, Graph::NodeInfo(Eigen::Vector3d(0.95 * r, -0.2, 0.3), {}));
			graph->addEdge(1, 2, Graph::EdgeInfo({largestDiameter}));
			graph->addOrReplaceNode(3, Graph::NodeInfo(Eigen::Vector3d(-4, 8, -5), {}));
			graph->addOrReplaceNode(4, Graph::NodeInfo(Eigen::Vector3d(4, 8.2, -5.1), {}));
			graph->addEdge(3, 4, Graph::EdgeInfo({1.0}));
		}
		graph->addEdge(1, 1, Graph::EdgeInfo({largestDiameter}));
		const auto result = rasterise(*graph, grid, mode, seed + 1);

		const Raster::Geometry geometry = Raster::geometryOf(spacing);
		const Raster::WorkLists lists = Raster::workLists(*graph, 0, geometry.scale);
		const Eigen::Matrix4d graphToPixel = Raster::graphToPixelMatrix(grid, graph->matrixToWorld()).cast<double>();
		std::size_t labelled = 0, nearBoundary = 0;
		for (int z = 0; z < 24; ++z)
			for (int y = 0; y < 26; ++y)
				for (int x = 0; x < 44; ++x)
				{
					const auto expected = LabelMapTest::referenceVoxel(lists, graphToPixel, geometry.metric, mode, geometry.sampleSpacing(),
					                                                   Eigen::Vector3d(x + 0.5, y + 0.5, z + 0.5));
					const bool actual = labels(result).at(x, y, z) != 0;
					labelled += actual;
					// Float and double may decide a voxel on the radius either way.
					if (expected.margin <= 1e-4)
						++nearBoundary;
					else
						ASSERT_EQ(actual, expected.labelled) << "seed " << seed << " voxel " << x << " " << y << " " << z;
				}
		EXPECT_GT(labelled, 20u) << "seed " << seed;
		EXPECT_LE(nearBoundary, std::max<std::size_t>(3, labelled / 200)) << "seed " << seed;
	}
}

// One worker, and up to four workers sharing 24 slices unevenly.
INSTANTIATE_TEST_SUITE_P(ModesSpacingsRadii, LabelMapBruteForceTest,
                         ::testing::Values(BruteForceCase{Mode::Centerline, Eigen::Vector3d(1, 1, 1), 4.0},
                                           BruteForceCase{Mode::Centerline, Eigen::Vector3d(1, 1, 1), 20.0},
                                           BruteForceCase{Mode::Centerline, Eigen::Vector3d(0.5, 1, 2), 8.0},
                                           BruteForceCase{Mode::Vessel, Eigen::Vector3d(1, 1, 1), 4.0},
                                           BruteForceCase{Mode::Vessel, Eigen::Vector3d(1, 1, 1), 20.0},
                                           BruteForceCase{Mode::Vessel, Eigen::Vector3d(0.5, 1, 2), 8.0},
                                           BruteForceCase{Mode::Vessel, Eigen::Vector3d(2, 2, 2), 6.0}));

TEST(LabelMapRasterisationTest, GeometryAndSampleCounts)
{
	const Raster::Geometry aniso = Raster::geometryOf(Eigen::Vector3d(0.5, 1, 2));
	EXPECT_EQ(aniso.metric, Eigen::Vector3d(0.25, 1, 4));
	EXPECT_EQ(aniso.scale, 1.0f);
	EXPECT_EQ(aniso.sampleSpacing(), 0.5f);
	// Vessel samples every half of the smallest spacing in scaled units: 1 voxel at any iso spacing.
	EXPECT_EQ(Raster::geometryOf(Eigen::Vector3d(20, 20, 20)).sampleSpacing(), 1.0f);

	struct Case
	{
		float length, radius;
		Mode mode;
		double samples;
	};
	// A zero radius counts the quotient as 1; a tiny one is capped at ⌈L⌉ + 2.
	for (const Case& c : {Case{10, 2, Mode::Centerline, 7}, Case{10, 0, Mode::Centerline, 3}, Case{10, 1e-6f, Mode::Centerline, 12},
	                      Case{10, 2, Mode::Vessel, 20}, Case{0.1f, 2, Mode::Vessel, 1}})
		EXPECT_EQ(Raster::sampleCount(c.length, c.radius, c.mode, 1.0f), c.samples) << c.length << " " << c.radius;
}

TEST(LabelMapRasterisationTest, UnsafeInputIsNamed)
{
	EXPECT_TRUE(Raster::unsafeSpacing(Eigen::Vector3d(1, -1, 1)));
	EXPECT_FALSE(Raster::unsafeCounts(2147483647u, 2147483647u));
	EXPECT_TRUE(Raster::unsafeCounts(2147483648u, 1));
	EXPECT_TRUE(Raster::unsafeCounts(1, 1ull << 32));
	// Empty or unbounded bounds make no grid (their sizes are -inf and NaN).
	const double inf = std::numeric_limits<double>::infinity();
	for (const auto& [min, max] : {std::pair(Eigen::Vector3d::Constant(inf), Eigen::Vector3d::Constant(-inf)),
	                               std::pair(Eigen::Vector3d::Constant(-inf), Eigen::Vector3d::Constant(-inf))})
		EXPECT_TRUE(std::holds_alternative<std::string>(Raster::fittedGrid(min, max, 1.0, 1.0f)));

	Raster::WorkLists far{{Eigen::Vector4f(0, 0, 0, 1), Eigen::Vector4f(1e6f, 0, 0, 1)}, {Eigen::Vector2i(0, 1)}, {1.0f}};
	const Eigen::Matrix4f identity = Eigen::Matrix4f::Identity();
	EXPECT_FALSE(Raster::unsafeEdges(far, identity, Eigen::Vector3d::Ones(), Mode::Centerline, 0.1f));
	EXPECT_TRUE(Raster::unsafeEdges(far, identity, Eigen::Vector3d::Ones(), Mode::Vessel, 0.1f));
	far.nodes[1].x() = std::numeric_limits<float>::infinity();
	EXPECT_TRUE(Raster::unsafeEdges(far, identity, Eigen::Vector3d::Ones(), Mode::Centerline, 1.0f));
}

TEST(LabelMapRasterisationTest, WorkGroupsAreCountedInIntegersAndWrapIntoASecondDimension)
{
	using Grid = std::pair<unsigned, unsigned>;
	EXPECT_EQ(Raster::workGroupGrid(0), Grid(0, 0));
	EXPECT_EQ(Raster::workGroupGrid(33), Grid(2, 1));
	EXPECT_EQ(Raster::workGroupGrid(2097120), Grid(65535, 1));
	EXPECT_EQ(Raster::workGroupGrid(2097121), Grid(65535, 2));
	// Past 2^24 a float count loses edges.
	EXPECT_EQ(Raster::workGroupGrid(16777217), Grid(65535, 9));
}
