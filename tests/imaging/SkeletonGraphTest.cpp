#include "src/imaging/SkeletonGraph.h"

#include "host/core/Log.h"
#include "host/lib/SharedImage.h"
#include "host/lib/TypedImage.h"
#include "src/graph/Graph.h"
#include "tests/common/FixedThreadCount.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include <omp.h>

#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <vector>

using namespace Quorvale;

namespace
{
	/// A one-channel image of element type T, zero everywhere.
	template <typename T>
	std::unique_ptr<SharedImage> skeletonImage(const Eigen::Vector3i& dims, const Eigen::Vector3d& spacing = Eigen::Vector3d::Ones())
	{
		return std::make_unique<SharedImage>(TypedImage<T>::create(ImageDescriptor(PixelTypeOf<T>::value, dims, 1, spacing)));
	}

	template <typename T>
	TypedImage<T>& typed(SharedImage& image)
	{
		return dynamic_cast<TypedImage<T>&>(*image.mem());
	}

	/// The raw graph as a plain map: key -> (neighbour -> weight), as the scan is defined on an
	/// ordered map of ordered maps.
	using ReferenceGraph = std::map<std::uint64_t, std::map<std::uint64_t, int>>;

	ReferenceGraph asMap(const RawSkeletonGraph& graph)
	{
		ReferenceGraph out;
		for (std::size_t i = 0; i < graph.nodeCount(); ++i)
		{
			auto& entries = out[graph.key(i)];
			for (const auto& entry : graph.entries(i))
				entries[entry.key] = entry.weight;
		}
		return out;
	}

	/// The scan done the slow, literal way: every voxel in order, the fourteen offsets of the
	/// half neighbourhood in their order, both entries set for every accepted neighbour.
	template <typename T>
	ReferenceGraph referenceScan(const TypedImage<T>& image)
	{
		const Eigen::Vector3i n = image.descriptor().dimensions();
		ReferenceGraph graph;
		for (int z = 0; z < n.z(); ++z)
			for (int y = 0; y < n.y(); ++y)
				for (int x = 0; x < n.x(); ++x)
				{
					if (image.at(x, y, z) == T(0))
						continue;
					for (int dz : {0, 1})
						for (int dy : {0, -1, 1})
							for (int dx : {0, -1, 1})
							{
								if (!image.descriptor().isInside(x + dx, y + dy, z + dz) || (dz == 0 && dx < dy) ||
								    (dx == 0 && dy == 0 && dz == 0))
									continue;
								const T other = image.at(x + dx, y + dy, z + dz);
								const bool accepted = std::is_same_v<T, float> ? other > 0.5f : static_cast<double>(other) > 0.5;
								if (!accepted)
									continue;
								const std::uint64_t a = image.descriptor().index(x, y, z);
								const std::uint64_t b = image.descriptor().index(x + dx, y + dy, z + dz);
								const int w = std::abs(dx) + std::abs(dy) + std::abs(dz);
								graph[a][b] = w;
								graph[b][a] = w;
							}
				}
		return graph;
	}

	bool referenceDetour(const ReferenceGraph& g, std::uint64_t c, std::uint64_t t, std::uint64_t e, int wmax, int d)
	{
		if (d < 1)
			return false;
		for (const auto& [n, wn] : g.at(c))
		{
			if (wn > wmax)
				continue;
			if (n == t ? c != e : referenceDetour(g, n, t, e, wmax, d - 1))
				return true;
		}
		return false;
	}

	/// The simplification on the map, erasing while iterating as the definition reads.
	void referenceSimplify(ReferenceGraph& g)
	{
		for (auto& [u, entries] : g)
			for (auto it = entries.begin(); it != entries.end();)
			{
				const auto [v, w] = *it;
				bool redundant = false;
				if (w >= 2)
					for (const auto& [x, wx] : g.at(v))
						if (wx <= w && x != u && referenceDetour(g, x, u, v, w, w - 1))
						{
							redundant = true;
							break;
						}
				if (redundant)
				{
					it = entries.erase(it);
					g.at(v).erase(u);
				}
				else
					++it;
			}
	}

	/// A thin random skeleton-like volume: random walks of voxels, so there are lines, corners,
	/// junctions and small clumps.
	template <typename T>
	std::unique_ptr<SharedImage> randomWalks(const Eigen::Vector3i& dims, unsigned seed, int walks, int steps, T value)
	{
		auto image = skeletonImage<T>(dims);
		std::mt19937 random(seed);
		std::uniform_int_distribution<int> step(-1, 1);
		for (int w = 0; w < walks; ++w)
		{
			Eigen::Vector3i p(random() % dims.x(), random() % dims.y(), random() % dims.z());
			for (int s = 0; s < steps; ++s)
			{
				typed<T>(*image).at(p.x(), p.y(), p.z()) = value;
				const Eigen::Vector3i next = p + Eigen::Vector3i(step(random), step(random), dims.z() > 1 ? step(random) : 0);
				if (image->descriptor().isInside(next.x(), next.y(), next.z()))
					p = next;
			}
		}
		return image;
	}
}

TEST(RawSkeletonGraphTest, KeepsItsRunsOrderedAndSymmetricWhenEdgesGo)
{
	RawSkeletonGraph graph;
	graph.appendNode(2);
	graph.appendEntry(5, 1);
	graph.appendEntry(9, 3);
	EXPECT_THROW(graph.appendEntry(7, 1), std::invalid_argument);
	EXPECT_THROW(graph.appendEntry(2, 1), std::invalid_argument);
	graph.appendNode(5);
	graph.appendEntry(2, 1);
	graph.appendNode(9);
	graph.appendEntry(2, 3);
	EXPECT_THROW(graph.appendNode(7), std::invalid_argument);

	EXPECT_EQ(graph.nodeCount(), 3u);
	EXPECT_EQ(graph.edgeCount(), 2u);
	EXPECT_EQ(graph.weight(9, 2), 3);
	EXPECT_FALSE(graph.weight(5, 9));
	EXPECT_THROW(graph.entriesOf(4), std::out_of_range);

	EXPECT_TRUE(graph.removeEdge(2, 9));
	EXPECT_FALSE(graph.removeEdge(9, 2));
	EXPECT_EQ(graph.edgeCount(), 1u);
	// Both ends stay as nodes, one of them without entries.
	EXPECT_EQ(graph.nodeCount(), 3u);
	EXPECT_TRUE(graph.entriesOf(9).empty());
	EXPECT_EQ(graph.entriesOf(2).size(), 1u);
}

TEST(SkeletonGraphScanTest, SmallShapes)
{
	// One isolated voxel is no node.
	auto single = skeletonImage<unsigned char>({5, 5, 5});
	typed<unsigned char>(*single).at(2, 2, 2) = 1;
	EXPECT_TRUE(SkeletonGraph::skeletonAsRawGraph(*single, true).empty());

	// Two face neighbours: two nodes, one edge of weight 1, stored at both.
	auto pair = skeletonImage<unsigned char>({5, 5, 5});
	typed<unsigned char>(*pair).at(1, 2, 2) = 1;
	typed<unsigned char>(*pair).at(1, 2, 3) = 1;
	const RawSkeletonGraph two = SkeletonGraph::skeletonAsRawGraph(*pair, true);
	const std::uint64_t a = pair->descriptor().index(1, 2, 2), b = pair->descriptor().index(1, 2, 3);
	EXPECT_EQ(asMap(two), (ReferenceGraph{{a, {{b, 1}}}, {b, {{a, 1}}}}));

	// An L in one slice loses its diagonal, only when simplified.
	auto corner = skeletonImage<unsigned char>({4, 4, 1});
	for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {1, 1}})
		typed<unsigned char>(*corner).at(x, y) = 1;
	EXPECT_EQ(SkeletonGraph::skeletonAsRawGraph(*corner, false).weight(0, 5), 2);
	const RawSkeletonGraph l = SkeletonGraph::skeletonAsRawGraph(*corner, true);
	EXPECT_FALSE(l.weight(0, 5));
	EXPECT_EQ(l.weight(0, 1), 1);
	EXPECT_EQ(l.weight(1, 5), 1);
	EXPECT_EQ(l.edgeCount(), 2u);

	// A diagonal line has no lighter detour: its weight-2 and weight-3 edges all stay.
	for (bool space : {false, true})
	{
		auto line = skeletonImage<unsigned char>({6, 6, 6});
		for (int i = 0; i < 6; ++i)
			typed<unsigned char>(*line).at(i, i, space ? i : 0) = 1;
		const RawSkeletonGraph diagonal = SkeletonGraph::skeletonAsRawGraph(*line, true);
		EXPECT_EQ(diagonal.nodeCount(), 6u);
		EXPECT_EQ(diagonal.edgeCount(), 5u);
		EXPECT_EQ(diagonal.entries(0)[0].weight, space ? 3 : 2);
	}
}

TEST(SkeletonGraphScanTest, ValuesAreReadAsTheScanDefinesThem)
{
	// A float voxel of 0.3 is scanned (non-zero) but never accepted as a neighbour: it links to a
	// neighbour ahead of it, not to one behind it.
	auto ahead = skeletonImage<float>({3, 1, 1});
	typed<float>(*ahead).at(0, 0) = 0.3f;
	typed<float>(*ahead).at(1, 0) = 1.0f;
	EXPECT_EQ(SkeletonGraph::skeletonAsRawGraph(*ahead, false).edgeCount(), 1u);
	auto behind = skeletonImage<float>({3, 1, 1});
	typed<float>(*behind).at(0, 0) = 1.0f;
	typed<float>(*behind).at(1, 0) = 0.3f;
	EXPECT_TRUE(SkeletonGraph::skeletonAsRawGraph(*behind, false).empty());

	// Signed and unsigned 16-bit images are scanned; other element types give an empty graph.
	auto shorts = skeletonImage<short>({3, 1, 1});
	typed<short>(*shorts).at(0, 0) = 7;
	typed<short>(*shorts).at(1, 0) = 1;
	EXPECT_EQ(SkeletonGraph::skeletonAsRawGraph(*shorts, true).edgeCount(), 1u);
	auto negative = skeletonImage<short>({3, 1, 1});
	typed<short>(*negative).at(0, 0) = 1;
	typed<short>(*negative).at(1, 0) = -1;
	EXPECT_TRUE(SkeletonGraph::skeletonAsRawGraph(*negative, true).empty());
	auto ints = skeletonImage<int>({3, 1, 1});
	typed<int>(*ints).at(0, 0) = 1;
	typed<int>(*ints).at(1, 0) = 1;
	EXPECT_TRUE(SkeletonGraph::skeletonAsRawGraph(*ints, true).empty());

	// Only channel 0 counts.
	auto twoChannels =
	    std::make_unique<SharedImage>(TypedImage<unsigned short>::create(ImageDescriptor(ImageDescriptor::UnsignedShort, {3, 1, 1}, 2)));
	auto& elements = typed<unsigned short>(*twoChannels);
	elements.at(0, 0, 0, 1) = 1;
	elements.at(1, 0, 0, 1) = 1;
	EXPECT_TRUE(SkeletonGraph::skeletonAsRawGraph(*twoChannels, true).empty());
	elements.at(0, 0, 0, 0) = 1;
	elements.at(1, 0, 0, 0) = 1;
	EXPECT_EQ(SkeletonGraph::skeletonAsRawGraph(*twoChannels, true).edgeCount(), 1u);
}

TEST(SkeletonGraphScanTest, MatchesTheLiteralDefinitionOnRandomSkeletons)
{
	for (unsigned seed = 1; seed <= 12; ++seed)
	{
		const bool flat = seed % 4 == 0;
		const Eigen::Vector3i dims = flat ? Eigen::Vector3i(23, 17, 1) : Eigen::Vector3i(13, 11, 9);
		auto image = seed % 3 == 0 ? randomWalks<float>(dims, seed, 6, 40, 1.0f) : randomWalks<unsigned char>(dims, seed, 6, 40, 1);
		ReferenceGraph expected = seed % 3 == 0 ? referenceScan(typed<float>(*image)) : referenceScan(typed<unsigned char>(*image));
		EXPECT_EQ(asMap(SkeletonGraph::skeletonAsRawGraph(*image, false)), expected) << "seed " << seed;
		referenceSimplify(expected);
		EXPECT_EQ(asMap(SkeletonGraph::skeletonAsRawGraph(*image, true)), expected) << "seed " << seed;
	}
}

TEST(SkeletonGraphScanTest, ResultDoesNotDependOnTheThreadCount)
{
	auto image = randomWalks<unsigned char>({48, 40, 36}, 99, 40, 200, 1);
	const auto scanBy = [&](int threads)
	{
		const Testing::FixedThreadCount fixed(threads);
		return SkeletonGraph::skeletonAsRawGraph(*image, true);
	};
	const RawSkeletonGraph serial = scanBy(1);
	const RawSkeletonGraph parallel = scanBy(std::max(omp_get_max_threads(), 4));
	EXPECT_GT(serial.edgeCount(), 100u);
	EXPECT_EQ(serial, parallel);
}

TEST(SkeletonGraphSearchTest, DetoursRespectWeightDepthAndTheExcludedStart)
{
	// A triangle u=0, v=1, x=2 with v–u of weight 2 and the others of weight 1.
	RawSkeletonGraph g;
	g.appendNode(0);
	g.appendEntry(1, 2);
	g.appendEntry(2, 1);
	g.appendNode(1);
	g.appendEntry(0, 2);
	g.appendEntry(2, 1);
	g.appendNode(2);
	g.appendEntry(0, 1);
	g.appendEntry(1, 1);
	EXPECT_TRUE(SkeletonGraph::hasAlternativePath(g, 2, 0, 1, 2, 1));
	EXPECT_FALSE(SkeletonGraph::hasAlternativePath(g, 2, 0, 1, 2, 0));
	// The direct step from the excluded node does not count.
	EXPECT_FALSE(SkeletonGraph::hasAlternativePath(g, 1, 0, 1, 1, 1));
	// Steps heavier than the limit are not taken.
	EXPECT_FALSE(SkeletonGraph::hasAlternativePath(g, 1, 0, 2, 1, 1));
	EXPECT_TRUE(SkeletonGraph::hasAlternativePath(g, 1, 0, 1, 1, 2));
	// Only the last step may not start at the excluded node: 1 -> 2 -> 0 ends with a step from 2.
	EXPECT_FALSE(SkeletonGraph::hasAlternativePath(g, 1, 0, 2, 1, 2));
	EXPECT_THROW(SkeletonGraph::hasAlternativePath(g, 7, 0, 1, 2, 1), std::out_of_range);
}

TEST(SkeletonGraphConversionTest, NodesAreVoxelCentresInAscendingVoxelOrder)
{
	auto image = skeletonImage<unsigned char>({6, 5, 4}, {0.5, 1.0, 2.0});
	auto& v = typed<unsigned char>(*image);
	for (int x = 1; x <= 4; ++x)
		v.at(x, 2, 1) = 1;
	v.at(4, 3, 2) = 1;
	Eigen::Matrix4d matrix = Eigen::Matrix4d::Identity();
	matrix.topRightCorner<3, 1>() = Eigen::Vector3d(10, 20, 30);
	image->setMatrixToWorld(matrix);

	const RawSkeletonGraph raw = SkeletonGraph::skeletonAsRawGraph(*image, true);
	auto graph = SkeletonGraph::rawSkeletonGraphToGraph(raw, image->descriptorWorld(), nullptr);
	ASSERT_TRUE(graph);
	EXPECT_EQ(graph->type(), Graph::Type::Undirected);
	EXPECT_EQ(graph->dimension(), Graph::Dimension::ThreeD);
	EXPECT_EQ(graph->matrixToWorld(), matrix);
	ASSERT_EQ(graph->numNodes(), 5);
	EXPECT_EQ(graph->numEdges(), 4);
	// Node ids follow the voxel order; positions are image coordinates of the voxel centres.
	const Eigen::Matrix4d toImage = image->descriptor().pixelToImageMatrix();
	const std::vector<Eigen::Vector3i> voxels{{1, 2, 1}, {2, 2, 1}, {3, 2, 1}, {4, 2, 1}, {4, 3, 2}};
	for (std::size_t i = 0; i < voxels.size(); ++i)
		EXPECT_TRUE(graph->node(i + 1).position().isApprox((toImage * voxels[i].cast<double>().homogeneous()).head<3>()));
	EXPECT_TRUE(graph->edge(4, 5).has_value());
	EXPECT_EQ(graph->edge(1, 2)->features().size(), static_cast<std::size_t>(graph->numEdgeFeatures()));
}

TEST(SkeletonGraphConversionTest, FlatSkeletonGivesATwoDimensionalGraph)
{
	auto image = skeletonImage<unsigned char>({7, 7, 1}, {0.3, 0.3, 4.0});
	for (int i = 1; i < 6; ++i)
		typed<unsigned char>(*image).at(i, 3) = 1;
	auto graph = SkeletonGraph::rawSkeletonGraphToGraph(SkeletonGraph::skeletonAsRawGraph(*image, true), image->descriptorWorld(), nullptr);
	ASSERT_TRUE(graph);
	EXPECT_EQ(graph->dimension(), Graph::Dimension::TwoD);
	graph->forEachNode([](uint64_t, const Graph::NodeInfo& node) { EXPECT_EQ(node.position().z(), 0.0); });
	EXPECT_EQ(graph->numEdges(), 4);
}

TEST(SkeletonGraphPotentialTest, NodesMoveDownhillAndStopWhereThePotentialStopsFalling)
{
	// A potential that falls linearly along x towards x = 8 and rises beyond it.
	const Eigen::Vector3i dims(16, 5, 5);
	auto potential = skeletonImage<float>(dims, {0.5, 0.5, 0.5});
	for (int z = 0; z < dims.z(); ++z)
		for (int y = 0; y < dims.y(); ++y)
			for (int x = 0; x < dims.x(); ++x)
				typed<float>(*potential).at(x, y, z) = static_cast<float>(std::abs(x - 8));

	auto skeleton = skeletonImage<unsigned char>(dims, {0.5, 0.5, 0.5});
	typed<unsigned char>(*skeleton).at(2, 2, 2) = 1;
	typed<unsigned char>(*skeleton).at(2, 3, 2) = 1;
	const RawSkeletonGraph raw = SkeletonGraph::skeletonAsRawGraph(*skeleton, true);
	auto graph = SkeletonGraph::rawSkeletonGraphToGraph(raw, skeleton->descriptorWorld(), potential.get());
	ASSERT_TRUE(graph);
	ASSERT_EQ(graph->numNodes(), 2);
	const Eigen::Matrix4d toPixel = potential->descriptor().imageToPixelMatrix();
	graph->forEachNode(
	    [&](uint64_t, const Graph::NodeInfo& node)
	    {
		    const Eigen::Vector3d pixel = (toPixel * node.position().homogeneous()).head<3>();
		    // The gradient at x = 2 is -1 per pixel, -2 per mm; steps of 0.5 mm along it move
		    // two voxels: 2, 4, 6, 8, and the step to 10 climbs again and is undone.
		    EXPECT_NEAR(pixel.x(), 8.0, 1e-9);
		    EXPECT_NEAR(pixel.z(), 2.0, 1e-9);
	    });
}

TEST(SkeletonGraphPotentialTest, APotentialThatIsNotFloatIsRefused)
{
	auto skeleton = skeletonImage<unsigned char>({4, 4, 4});
	typed<unsigned char>(*skeleton).at(1, 1, 1) = 1;
	typed<unsigned char>(*skeleton).at(2, 1, 1) = 1;
	auto potential = skeletonImage<double>({4, 4, 4});
	Log::ScopedCapture log;
	EXPECT_EQ(SkeletonGraph::rawSkeletonGraphToGraph(SkeletonGraph::skeletonAsRawGraph(*skeleton, true), skeleton->descriptorWorld(),
	                                                 potential.get()),
	          nullptr);
	EXPECT_EQ(log.sink().messages(Log::Error), std::vector<std::string>{"Expected potential image to be of type float"});
	EXPECT_EQ(log.sink().records().front().category, "Graph.CenterlineGraphExtractionAlgorithm");
}

TEST(SkeletonGraphPotentialTest, PositionsOutsideThePotentialStay)
{
	auto potential = skeletonImage<float>({4, 4, 4});
	auto gradient = std::make_unique<SharedImage>(TypedImage<float>::create(ImageDescriptor(ImageDescriptor::Float, {4, 4, 4}, 3)));
	typed<float>(*gradient).fill(1.0f);
	Eigen::Vector3d outside(10.0, 0.0, 0.0);
	SkeletonGraph::refineNodeOnPotential(outside, *potential, *gradient);
	EXPECT_EQ(outside, Eigen::Vector3d(10.0, 0.0, 0.0));
	// A flat potential never falls: the first step is undone.
	Eigen::Vector3d inside(0.0, 0.0, 0.0);
	SkeletonGraph::refineNodeOnPotential(inside, *potential, *gradient);
	EXPECT_EQ(inside, Eigen::Vector3d(0.0, 0.0, 0.0));
}
