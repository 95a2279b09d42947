#include "src/imaging/LabelMapRasterisation.h"

#include "host/lib/TypedImage.h"
#include "src/graph/Graph.h"
#include "tests/imaging/LabelMapTestGraphs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

using namespace Quorvale;
namespace Raster = Quorvale::LabelMapRasterisation;
using Raster::Mode;

namespace
{
	/// A grid centred on the world origin.
	ImageDescriptorWorld centredGrid(const Eigen::Vector3i& dimensions, const Eigen::Vector3d& spacing)
	{
		ImageDescriptorWorld grid{ImageDescriptor(ImageDescriptor::UnsignedChar, dimensions, 1, spacing)};
		return grid;
	}

	struct Rasterised
	{
		std::unique_ptr<MemImage> image;
		const TypedImage<unsigned char>& labels() const { return dynamic_cast<const TypedImage<unsigned char>&>(*image); }
	};

	Rasterised rasterise(const Graph& graph, const ImageDescriptorWorld& grid, Mode mode, unsigned threads = 0)
	{
		const Raster::Geometry geometry = Raster::geometryOf(grid.spacing());
		const Raster::WorkLists lists = Raster::workLists(graph, 0, geometry.scale);
		return {Raster::rasterise(lists.nodes, lists.edges, lists.radii, grid, graph.matrixToWorld(), geometry.metric, mode,
		                          geometry.sampleSpacing(), threads)};
	}

	using BruteForceCase = std::tuple<Mode, Eigen::Vector3d, double /*largest diameter*/>;
	class LabelMapBruteForceTest : public ::testing::TestWithParam<BruteForceCase>
	{
	};
}

TEST_P(LabelMapBruteForceTest, BoxesFindEveryVoxelThatTheRuleLabels)
{
	const auto [mode, spacing, largestDiameter] = GetParam();
	const ImageDescriptorWorld grid = centredGrid({44, 26, 24}, spacing);
	const Eigen::Vector3d half = 0.5 * grid.extent();
	for (unsigned seed : {0u, 1u, 2u, 3u})
	{
		// Seed 0: one edge 1.9 radii long, whose end caps reach farthest beyond its sample centres.
		const double r = 0.5 * largestDiameter;
		auto graph = seed == 0 ? LabelMapTest::randomGraph(seed, 2, 0, 0, 0, 0, 0)
		                       : LabelMapTest::randomGraph(seed, 6, 4, -half.minCoeff(), half.minCoeff(), 0.0, largestDiameter);
		if (seed == 0)
		{
			graph->addOrReplaceNode(1, Graph::NodeInfo(Eigen::Vector3d(-0.95 * r, 0.3, 0.1), {}));
			graph->addOrReplaceNode(2, Graph::NodeInfo(Eigen::Vector3d(0.95 * r, -0.2, 0.3), {}));
			graph->addEdge(1, 2, Graph::EdgeInfo({largestDiameter}));
			// A thin edge along x, whose cylinder reaches farther along the axis than across it.
			graph->addNode(Graph::NodeInfo(Eigen::Vector3d(-4, 8, -5), {}));
			graph->addNode(Graph::NodeInfo(Eigen::Vector3d(4, 8.2, -5.1), {}));
			graph->addEdge(3, 4, Graph::EdgeInfo({1.0}));
		}
		// A zero-length edge.
		graph->addEdge(1, 1, Graph::EdgeInfo({largestDiameter}));
		const Rasterised result = rasterise(*graph, grid, mode);

		const Raster::Geometry geometry = Raster::geometryOf(spacing);
		const Raster::WorkLists lists = Raster::workLists(*graph, 0, geometry.scale);
		const Eigen::Matrix4d graphToPixel = Raster::graphToPixelMatrix(grid, graph->matrixToWorld()).cast<double>();
		std::size_t labelled = 0, nearBoundary = 0;
		for (int z = 0; z < 24; ++z)
			for (int y = 0; y < 26; ++y)
				for (int x = 0; x < 44; ++x)
				{
					const LabelMapTest::Reference expected = LabelMapTest::referenceVoxel(lists, graphToPixel, geometry.metric, mode, geometry.sampleSpacing(),
					                                          Eigen::Vector3d(x + 0.5, y + 0.5, z + 0.5));
					const bool actual = result.labels().at(x, y, z) != 0;
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

INSTANTIATE_TEST_SUITE_P(ModesSpacingsRadii, LabelMapBruteForceTest,
                         ::testing::Values(BruteForceCase{Mode::Centerline, Eigen::Vector3d(1, 1, 1), 4.0},
                                           BruteForceCase{Mode::Centerline, Eigen::Vector3d(1, 1, 1), 20.0},
                                           BruteForceCase{Mode::Centerline, Eigen::Vector3d(0.5, 1, 2), 8.0},
                                           BruteForceCase{Mode::Vessel, Eigen::Vector3d(1, 1, 1), 4.0},
                                           BruteForceCase{Mode::Vessel, Eigen::Vector3d(1, 1, 1), 20.0},
                                           BruteForceCase{Mode::Vessel, Eigen::Vector3d(0.5, 1, 2), 8.0},
                                           BruteForceCase{Mode::Vessel, Eigen::Vector3d(2, 2, 2), 6.0}));

TEST(LabelMapRasterisationTest, ResultDoesNotDependOnTheWorkerCount)
{
	const ImageDescriptorWorld grid = centredGrid({20, 18, 7}, Eigen::Vector3d(1, 1, 1));
	auto graph = LabelMapTest::randomGraph(7, 10, 12, -6, 6, 0.5, 5);
	const Rasterised one = rasterise(*graph, grid, Mode::Centerline, 1);
	ASSERT_GT(LabelMapTest::countLabels(one.labels()), 0u);
	// 3 workers share 7 slices unevenly; 64 leave most workers without a slice.
	for (unsigned threads : {3u, 64u})
	{
		const Rasterised other = rasterise(*graph, grid, Mode::Centerline, threads);
		EXPECT_TRUE(std::equal(one.labels().pointer(), one.labels().pointer() + grid.size(), other.labels().pointer())) << threads;
	}
}

TEST(LabelMapRasterisationTest, GeometryFollowsTheSpacing)
{
	const Raster::Geometry iso = Raster::geometryOf(Eigen::Vector3d(2, 2, 2));
	EXPECT_EQ(iso.metric, Eigen::Vector3d(1, 1, 1));
	EXPECT_EQ(iso.scale, 0.5f);
	EXPECT_EQ(iso.smallestSpacing, 2.0f);
	EXPECT_EQ(iso.sampleSpacing(), 1.0f);

	const Raster::Geometry aniso = Raster::geometryOf(Eigen::Vector3d(0.5, 1, 2));
	EXPECT_EQ(aniso.metric, Eigen::Vector3d(0.25, 1, 4));
	EXPECT_EQ(aniso.scale, 1.0f);
	EXPECT_EQ(aniso.smallestSpacing, 0.5f);
	EXPECT_EQ(aniso.sampleSpacing(), 0.5f);
}

TEST(LabelMapRasterisationTest, SampleCounts)
{
	struct Case
	{
		float length, radius;
		Mode mode;
		float sampleSpacing;
		double samples;
	};
	for (const Case& c : {Case{10.0f, 2.0f, Mode::Centerline, 1.0f, 7.0}, Case{1.5f, 2.0f, Mode::Centerline, 1.0f, 3.0},
	                      // A zero radius counts the quotient as 1; a tiny one is capped at ⌈L⌉ + 2.
	                      Case{10.0f, 0.0f, Mode::Centerline, 1.0f, 3.0}, Case{10.0f, 1e-6f, Mode::Centerline, 1.0f, 12.0},
	                      Case{10.0f, 2.0f, Mode::Vessel, 1.0f, 20.0}, Case{10.0f, 2.0f, Mode::Vessel, 0.5f, 40.0},
	                      Case{0.1f, 2.0f, Mode::Vessel, 1.0f, 1.0}})
		EXPECT_EQ(Raster::sampleCount(c.length, c.radius, c.mode, c.sampleSpacing), c.samples) << c.length << " " << c.radius;
}

TEST(LabelMapRasterisationTest, UnsafeInputIsNamed)
{
	for (const Eigen::Vector3d& spacing : {Eigen::Vector3d(0, 1, 1), Eigen::Vector3d(1, -1, 1), Eigen::Vector3d(1, 1, std::nan("")),
	                                      Eigen::Vector3d(1, 1, std::numeric_limits<double>::infinity())})
		EXPECT_TRUE(Raster::unsafeSpacing(spacing)) << spacing.transpose();
	EXPECT_FALSE(Raster::unsafeSpacing(Eigen::Vector3d(0.5, 1, 2)));

	EXPECT_FALSE(Raster::unsafeCounts(2147483647u, 2147483647u));
	EXPECT_TRUE(Raster::unsafeCounts(2147483648u, 1));
	EXPECT_TRUE(Raster::unsafeCounts(1, 1ull << 32));

	// A grid that cannot be indexed, and an edge whose samples would not end.
	EXPECT_TRUE(std::holds_alternative<std::string>(Raster::fittedGrid(Eigen::Vector3d::Zero(), Eigen::Vector3d(1e12, 1, 1), 1e-3, 1.0f)));
	Raster::WorkLists far;
	far.nodes = {Eigen::Vector4f(0, 0, 0, 1), Eigen::Vector4f(1e6f, 0, 0, 1)};
	far.edges = {Eigen::Vector2i(0, 1)};
	far.radii = {1.0f};
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
	EXPECT_EQ(Raster::workGroupGrid(1), Grid(1, 1));
	EXPECT_EQ(Raster::workGroupGrid(33), Grid(2, 1));
	EXPECT_EQ(Raster::workGroupGrid(2097120), Grid(65535, 1));
	EXPECT_EQ(Raster::workGroupGrid(2097121), Grid(65535, 2));
	// Past 2^24 a float count loses edges; the integer count does not.
	EXPECT_EQ(Raster::workGroupGrid(16777217), Grid(65535, 9));
	EXPECT_EQ(Raster::workGroupGrid(2147483647), Grid(65535, 1025));
}
