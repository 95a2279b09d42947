#include "src/algorithms/TransferGraphFeatureToMeshAlgorithm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "host/core/Log.h"
#include "host/lib/AlgorithmRunner.h"
#include "host/lib/DataList.h"
#include "host/lib/Mesh.h"
#include "host/lib/SharedImageSet.h"
#include "synthetic/GraphGeometry.h"
#include "synthetic/VesselTree.h"
#include "synthetic/VoxelSurface.h"

using namespace Quorvale;

namespace
{
	const double kNaN = std::numeric_limits<double>::quiet_NaN();

	/// Vertex 0 at the origin with its normal along +z (a tiny triangle facing up).
	Mesh upwardVertex() { return Mesh({{0, 0, 0}, {1e-3, 0, 0}, {0, 1e-3, 0}}, {{0, 1, 2}}); }

	/// Nodes at the given positions, the first ones joined one after another by edges of the given
	/// diameters; positions beyond the last edge are nodes without edges.
	Graph chain(const std::vector<Eigen::Vector3d>& positions, const std::vector<double>& diameters,
	            Graph::Type type = Graph::Type::Undirected)
	{
		Graph graph(type);
		for (const Eigen::Vector3d& p : positions)
			graph.addNode(Graph::NodeInfo(p, {}));
		for (size_t i = 0; i < diameters.size(); ++i)
			graph.addEdge(i + 1, i + 2, Graph::EdgeInfo({diameters[i]}));
		return graph;
	}
}

TEST(TransferGraphFeatureToMeshAlgorithmTest, NodesTakeTheMeanOfTheirEdgesAndVerticesTheNodeBehindThem)
{
	const Eigen::Vector3d below(0, 0, -1), further(0, 0, -2), above(0, 0, 1);
	const std::pair<Graph, double> cases[] = {
	    {chain({below, further}, {2.0}), 2.0},
	    {chain({further, below, {0, 0, -3}}, {4.0, 2.0}), 3.0},
	    {chain({above, {0, 0, 2}}, {2.0}), 0.0},   // only a node on the normal's side
	    {chain({{0, 0, 0.5}, below}, {5.0}), 5.0}, // the nearer node above is passed over
	    // Mends: a directed leaf takes its incoming edge; non-finite diameters are skipped; a node
	    // without edges takes no part.
	    {chain({{0, 0, -5}, below}, {4.0}, Graph::Type::Directed), 4.0},
	    {chain({{0, 0, -3}, below, further}, {2.0, kNaN}), 2.0},
	    {chain({further, {0, 0, -3}, below}, {4.0}), 4.0},
	};
	for (size_t i = 0; i < std::size(cases); ++i)
	{
		Graph graph = cases[i].first;
		Mesh mesh = upwardVertex();
		TransferGraphFeatureToMeshAlgorithm algorithm(graph, mesh);
		algorithm.edgeFeatureName = "diameter";
		EXPECT_DOUBLE_EQ(algorithm.getPerVertexFeatures()[0], cases[i].second) << i;
	}
}

TEST(TransferGraphFeatureToMeshAlgorithmTest, ColoursMapTheValueBetweenTheBoundsKeptAcrossRuns)
{
	Graph graph = chain({{0, 0, -1}, {0, 0, -2}}, {3.0});
	Mesh mesh = upwardVertex();
	TransferGraphFeatureToMeshAlgorithm algorithm(graph, mesh);
	algorithm.edgeFeatureName = "diameter";
	ASSERT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
	// Equal bounds: vertices carrying that value are fully red, the others keep their base colour.
	EXPECT_EQ(mesh.vertexColor(0), Eigen::Vector4f(1, 0, 0, 1));

	// A new edge of 1.0 lowers the bound the next run starts from: 3 then maps to 1, 2 to 0.5.
	graph.addNode(Graph::NodeInfo({5, 5, 5}, {}));
	graph.addEdge(2, 3, Graph::EdgeInfo({1.0}));
	ASSERT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
	EXPECT_EQ(algorithm.smallestFeatureValue(), 1.0);
	EXPECT_EQ(mesh.vertexColor(0), Eigen::Vector4f(1, 0, 0, 1));
	algorithm.setPerVertexColor({2.0, 3.0, 0.0});
	EXPECT_TRUE(mesh.vertexColor(0).isApprox(Eigen::Vector4f(1, 0.5f, 0.5f, 1)));
	EXPECT_EQ(mesh.vertexColor(2), Eigen::Vector4f(1, 1, 1, 1));
}

TEST(TransferGraphFeatureToMeshAlgorithmTest, EqualBoundsPaintWhatFoundANodeAndZeroBoundsLeaveTheColours)
{
	// A branch node just below the vertex with three edges of one diameter d: its mean, 3d / 3, may
	// differ from d in the last bit (0.1 gives 0.10000000000000002).
	const auto star = [](double d)
	{
		Graph graph = chain({{0, 0, -0.05}, {0, 0, -5}}, {d});
		for (const Eigen::Vector3d& end : {Eigen::Vector3d(5, 0, -5), Eigen::Vector3d(-5, 0, -5)})
			graph.addEdge(1, graph.addNode(Graph::NodeInfo(end, {})), Graph::EdgeInfo({d}));
		return graph;
	};
	struct Case
	{
		double diameter;
		bool painted;
	};
	for (const Case& c : {Case{0.1, true}, Case{2.0, true}, Case{0.0, false}})
	{
		Graph graph = star(c.diameter);
		Mesh mesh = upwardVertex();
		TransferGraphFeatureToMeshAlgorithm algorithm(graph, mesh);
		algorithm.edgeFeatureName = "diameter";
		Log::ScopedCapture log;
		ASSERT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success) << c.diameter;
		EXPECT_TRUE(mesh.hasVertexNormals()) << c.diameter;
		EXPECT_EQ(log->count(Log::Warning), c.painted ? 0 : 1) << c.diameter;
		if (c.painted)
			EXPECT_EQ(mesh.vertexColor(0), Eigen::Vector4f(1, 0, 0, 1)) << c.diameter;
		else
			EXPECT_FALSE(mesh.hasVertexColors()) << "a zero diameter paints nothing";
	}
}

TEST(TransferGraphFeatureToMeshAlgorithmTest, RefusalsLeaveTheMeshAsItWas)
{
	const float inf = std::numeric_limits<float>::infinity();
	const std::vector<double> two{2.0};
	// Feature, search range, first node, diameters, status, level of the one message logged.
	for (const auto& [feature, range, node, diameters, status, level] : {
	         std::tuple{"", 0.9f, Eigen::Vector3d(0, 0, -1), two, Algorithm::NotComputed, Log::Error},
	         std::tuple{"length", 0.9f, Eigen::Vector3d(0, 0, -1), two, Algorithm::NotComputed, Log::Error},
	         std::tuple{"diameter", -0.5f, Eigen::Vector3d(0, 0, -1), two, Algorithm::InvalidInput, Log::Error},
	         std::tuple{"diameter", std::nanf(""), Eigen::Vector3d(0, 0, -1), two, Algorithm::InvalidInput, Log::Error},
	         std::tuple{"diameter", inf, Eigen::Vector3d(0, 0, -1), two, Algorithm::InvalidInput, Log::Error},
	         std::tuple{"diameter", 0.9f, Eigen::Vector3d(0, kNaN, -1), two, Algorithm::InvalidInput, Log::Error},
	         std::tuple{"diameter", 0.9f, Eigen::Vector3d(0, 0, -1), std::vector<double>{}, Algorithm::Success, Log::Warning},
	         std::tuple{"diameter", 0.9f, Eigen::Vector3d(0, 0, -1), std::vector<double>{kNaN}, Algorithm::Success, Log::Warning},
	     })
	{
		Graph graph = chain({node, {0, 0, -2}}, diameters);
		graph.getOrCreateEdgeFeatureIdx("length", 0.0);
		Mesh mesh = upwardVertex();
		TransferGraphFeatureToMeshAlgorithm algorithm(graph, mesh);
		algorithm.edgeFeatureName = feature;
		algorithm.searchRange = range;
		Log::ScopedCapture log;
		algorithm.compute();
		EXPECT_EQ(algorithm.status(), status) << feature << " " << range;
		EXPECT_FALSE(mesh.hasVertexColors() || mesh.hasVertexNormals()) << feature << " " << range;
		EXPECT_EQ(log.sink().count(level), 1) << feature << " " << range;
	}

	// A graph and a mesh in either order, nothing else.
	Graph graph, other;
	Mesh mesh;
	EXPECT_TRUE(TransferGraphFeatureToMeshAlgorithm::createCompatible(DataList{&mesh, &graph}, nullptr));
	EXPECT_FALSE(TransferGraphFeatureToMeshAlgorithm::createCompatible(DataList{&graph, &other}, nullptr));
	EXPECT_FALSE(TransferGraphFeatureToMeshAlgorithm::createCompatible(DataList{&graph, &mesh, &other}, nullptr));
}

TEST(TransferGraphFeatureToMeshAlgorithmTest, VoxelSurfaceOfATreeTakesTheDiameterOfTheBranchItSurrounds)
{
	SyntheticVessels::TreeSettings settings;
	settings.dimensions = Eigen::Vector3i::Constant(96);
	settings.loops = 0;
	settings.spurs = 0;
	const SyntheticVessels::VesselTree tree = SyntheticVessels::createVesselTree(settings);

	Graph graph = SyntheticVessels::centerlineGraph(tree);
	auto mesh = SyntheticVolumes::voxelSurfaceMesh(*tree.labels->get());
	TransferGraphFeatureToMeshAlgorithm algorithm(graph, *mesh);
	algorithm.edgeFeatureName = "diameter";
	const std::vector<double> values = algorithm.getPerVertexFeatures();

	// Where vessels meet or their radius steps (a branch cut short leaves a joint), with the widest
	// radius of the pieces that end there.
	std::vector<std::pair<Eigen::Vector3d, double>> junctions;
	for (int b : tree.branchPoints)
		junctions.emplace_back(tree.nodes[static_cast<size_t>(b)], 0.0);
	for (const auto& s : tree.segments)
		for (size_t i = 1; i + 1 < s.radii.size(); ++i)
			if (s.radii[i] != s.radii[i + 1])
				junctions.emplace_back(s.points[i], 0.0);
	for (auto& [centre, widest] : junctions)
		for (const auto& s : tree.segments)
			for (size_t i = 0; i < s.points.size(); ++i)
				if (s.points[i] == centre)
					widest = std::max({widest, s.radii[i], s.radii[std::min(i + 1, s.radii.size() - 1)]});

	int nearJunctions = 0, painted = 0;
	for (int v = 0; v < mesh->numberOfVertices(); ++v)
	{
		const Eigen::Vector3d& p = mesh->vertex(v);
		painted += values[static_cast<size_t>(v)] > 0.0;
		// Within one voxel (its diagonal) of the widest tube around a junction.
		if (std::any_of(junctions.begin(), junctions.end(), [&](const auto& j) { return (p - j.first).norm() <= j.second + std::sqrt(3.0); }))
		{
			++nearJunctions;
			continue;
		}
		// The vertex lies on the wall of the centreline piece whose tube surface is nearest; that piece's
		// edge carries 2 × radii[i].
		double best = std::numeric_limits<double>::max(), expected = 0.0;
		for (const auto& s : tree.segments)
			for (size_t i = 1; i < s.points.size(); ++i)
			{
				const Eigen::Vector3d a = s.points[i - 1], ab = s.points[i] - a;
				const double t = std::clamp((p - a).dot(ab) / ab.squaredNorm(), 0.0, 1.0);
				if (const double off = std::abs((a + t * ab - p).norm() - s.radii[i]); off < best)
				{
					best = off;
					expected = 2.0 * s.radii[i];
				}
			}
		EXPECT_DOUBLE_EQ(values[static_cast<size_t>(v)], expected) << "vertex " << v << " at " << p.transpose();
	}
	RecordProperty("verticesNearJunctions", nearJunctions);
	EXPECT_LT(nearJunctions, mesh->numberOfVertices() / 4) << "of " << mesh->numberOfVertices();
	EXPECT_EQ(painted, mesh->numberOfVertices());

	// Wound the other way, every normal points into the vessel: only vertices whose normal leans far
	// along the vessel (staircase corners of the voxel faces) still find a node on their far side.
	std::vector<Eigen::Vector3i> flipped = mesh->triangles();
	for (Eigen::Vector3i& t : flipped)
		std::swap(t[1], t[2]);
	Mesh inside(mesh->vertices(), flipped);
	TransferGraphFeatureToMeshAlgorithm inward(graph, inside);
	inward.edgeFeatureName = "diameter";
	ASSERT_EQ(AlgorithmRunner::run(inward), Algorithm::Success);
	int paintedInside = 0;
	for (int v = 0; v < inside.numberOfVertices(); ++v)
		paintedInside += inside.vertexColor(v) != Eigen::Vector4f::Ones();
	RecordProperty("paintedWithFlippedWinding", paintedInside);
	EXPECT_LT(paintedInside, inside.numberOfVertices() / 4);
}
