#include "src/algorithms/TransferGraphFeatureToMeshAlgorithm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "host/core/Log.h"
#include "host/lib/AlgorithmRunner.h"
#include "host/lib/DataList.h"
#include "host/lib/Mesh.h"
#include "host/lib/PointCloud.h"
#include "host/lib/SharedImageSet.h"
#include "src/graph/Graph.h"
#include "synthetic/GraphGeometry.h"
#include "synthetic/VesselTree.h"
#include "synthetic/VoxelSurface.h"

using namespace Quorvale;

namespace
{
	const double kNaN = std::numeric_limits<double>::quiet_NaN();

	/// One vertex at the origin whose normal points along +z (a tiny triangle fan facing up).
	Mesh upwardVertex()
	{
		return Mesh({{0, 0, 0}, {1e-3, 0, 0}, {0, 1e-3, 0}}, {{0, 1, 2}});
	}

	/// Nodes at the given positions, joined one after another by edges of the given diameters.
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

	std::vector<double> transfer(Graph& graph, Mesh& mesh)
	{
		TransferGraphFeatureToMeshAlgorithm algorithm(graph, mesh);
		algorithm.edgeFeatureName = "diameter";
		return algorithm.getPerVertexFeatures();
	}
}

TEST(TransferGraphFeatureToMeshAlgorithmTest, AcceptsAGraphAndAMeshInEitherOrder)
{
	Graph graph, other;
	Mesh mesh;
	PointCloud cloud;
	for (const auto& [list, accepted] :
	     {std::pair{DataList{&graph, &mesh}, true}, std::pair{DataList{&mesh, &graph}, true}, std::pair{DataList{&graph}, false},
	      std::pair{DataList{&mesh}, false}, std::pair{DataList{&graph, &other}, false}, std::pair{DataList{&graph, &mesh, &cloud}, false}})
		EXPECT_EQ(TransferGraphFeatureToMeshAlgorithm::createCompatible(list, nullptr), accepted) << list.size();
}

TEST(TransferGraphFeatureToMeshAlgorithmTest, NodesTakeTheMeanOfTheirEdgesAndVerticesTheNodeBehindThem)
{
	struct Case
	{
		const char* what;
		Graph graph;
		double expected;
	};
	const Eigen::Vector3d below(0, 0, -1), further(0, 0, -2), above(0, 0, 1);
	Case cases[] = {
	    {"two nodes, one edge", chain({below, further}, {2.0}), 2.0},
	    {"mean of 4 and 2", chain({further, below, {0, 0, -3}}, {4.0, 2.0}), 3.0},
	    {"the node on the normal's side does not count", chain({above, {0, 0, 2}}, {2.0}), 0.0},
	    {"the nearer node above is passed over", chain({{0, 0, 0.5}, below}, {5.0}), 5.0},
	    // Mends: a directed leaf takes its incoming edge; non-finite diameters are skipped.
	    {"directed leaf", chain({{0, 0, -5}, below}, {4.0}, Graph::Type::Directed), 4.0},
	    {"non-finite diameter skipped", chain({{0, 0, -3}, below, further}, {2.0, kNaN}), 2.0},
	};
	for (Case& c : cases)
	{
		Mesh mesh = upwardVertex();
		EXPECT_DOUBLE_EQ(transfer(c.graph, mesh)[0], c.expected) << c.what;
	}

	// A node without any edge takes no part: the vertex finds the connected one further away.
	Graph graph = chain({further, {0, 0, -3}}, {4.0});
	graph.addNode(Graph::NodeInfo(below, {}));
	Mesh mesh = upwardVertex();
	TransferGraphFeatureToMeshAlgorithm algorithm(graph, mesh);
	algorithm.edgeFeatureName = "diameter";
	EXPECT_DOUBLE_EQ(algorithm.getPerVertexFeatures()[0], 4.0);
	EXPECT_EQ(algorithm.smallestFeatureValue(), 4.0);
	EXPECT_EQ(algorithm.largestFeatureValue(), 4.0);
	EXPECT_TRUE(std::isfinite(mesh.vertexColor(0).sum()));
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

TEST(TransferGraphFeatureToMeshAlgorithmTest, RefusalsLeaveTheMeshAsItWas)
{
	struct Case
	{
		const char* what;
		std::string feature;
		float range;
		Eigen::Vector3d nodePosition;
		std::vector<double> diameters;
		int status;
		int level; // of the one message logged, 0 for none
	};
	const float inf = std::numeric_limits<float>::infinity();
	for (const Case& c : {
	         Case{"no name", "", 0.9f, {0, 0, -1}, {2.0}, Algorithm::NotComputed, Log::Error},
	         Case{"length", "length", 0.9f, {0, 0, -1}, {2.0}, Algorithm::NotComputed, Log::Error},
	         Case{"negative range", "diameter", -0.5f, {0, 0, -1}, {2.0}, Algorithm::InvalidInput, Log::Error},
	         Case{"NaN range", "diameter", std::nanf(""), {0, 0, -1}, {2.0}, Algorithm::InvalidInput, Log::Error},
	         Case{"infinite range", "diameter", inf, {0, 0, -1}, {2.0}, Algorithm::InvalidInput, Log::Error},
	         Case{"NaN position", "diameter", 0.9f, {0, kNaN, -1}, {2.0}, Algorithm::InvalidInput, Log::Error},
	         Case{"no edges", "diameter", 0.9f, {0, 0, -1}, {}, Algorithm::Success, Log::Warning},
	         Case{"only NaN diameters", "diameter", 0.9f, {0, 0, -1}, {kNaN}, Algorithm::Success, Log::Warning},
	     })
	{
		Graph graph = chain({c.nodePosition, {0, 0, -2}}, c.diameters);
		graph.getOrCreateEdgeFeatureIdx("length", 0.0);
		Mesh mesh = upwardVertex();
		TransferGraphFeatureToMeshAlgorithm algorithm(graph, mesh);
		algorithm.edgeFeatureName = c.feature;
		algorithm.searchRange = c.range;
		Log::ScopedCapture log;
		algorithm.compute();
		EXPECT_EQ(algorithm.status(), c.status) << c.what;
		EXPECT_FALSE(mesh.hasVertexColors()) << c.what;
		EXPECT_FALSE(mesh.hasVertexNormals()) << c.what;
		EXPECT_EQ(log.sink().count(c.level), 1) << c.what;
	}
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

	// Where vessels meet or their radius steps (a branch cut short leaves a joint), with the widest radius there.
	std::vector<std::pair<Eigen::Vector3d, double>> junctions;
	for (int b : tree.branchPoints)
	{
		double widest = 0.0;
		for (const auto& s : tree.segments)
			widest = std::max({widest, s.from == b ? s.radii.front() : 0.0, s.to == b ? s.radii.back() : 0.0});
		junctions.emplace_back(tree.nodes[static_cast<size_t>(b)], widest);
	}
	for (const auto& s : tree.segments)
		for (size_t i = 1; i + 1 < s.radii.size(); ++i)
			if (s.radii[i] != s.radii[i + 1])
				junctions.emplace_back(s.points[i], std::max(s.radii[i], s.radii[i + 1]));

	int nearJunctions = 0, painted = 0;
	for (int v = 0; v < mesh->numberOfVertices(); ++v)
	{
		const Eigen::Vector3d& p = mesh->vertex(v);
		painted += values[static_cast<size_t>(v)] > 0.0;
		bool near = false;
		for (const auto& [centre, widest] : junctions)
			near = near || (p - centre).norm() <= widest + std::sqrt(3.0); // within one voxel (its diagonal) of the tubes there
		if (near)
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
