#include "src/imaging/CenterlineGraphExtractionAlgorithm.h"

#include "host/lib/SharedImageSet.h"
#include "src/graph/Graph.h"
#include "src/graph/GraphUtils.h"
#include "src/algorithms/PartitionGraphsAlgorithm.h"
#include "synthetic/GraphGeometry.h"
#include "synthetic/VesselTree.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <vector>

using namespace Quorvale;

namespace
{
	/// Branch points of a graph: nodes of three or more neighbours, those joined by an edge
	/// counted once (thinning may split one junction into two adjacent ones).
	int branchPointCount(const Graph& graph)
	{
		std::map<uint64_t, uint64_t> parent;
		graph.forEachNode(
		    [&](uint64_t id, const Graph::NodeInfo&, const Graph::Neighborhood& n)
		    {
			    if (n.size() >= 3)
				    parent[id] = id;
		    });
		std::function<uint64_t(uint64_t)> root = [&](uint64_t id) { return parent[id] == id ? id : parent[id] = root(parent[id]); };
		graph.forEachEdge(
		    [&](const Graph::EdgeInfo&, uint64_t a, uint64_t b)
		    {
			    if (parent.count(a) && parent.count(b))
				    parent[root(a)] = root(b);
		    });
		int count = 0;
		for (const auto& [id, up] : parent)
			count += root(id) == id;
		return count;
	}

	struct TreeCase
	{
		std::uint64_t seed;
		Eigen::Vector3i dimensions;
		Eigen::Vector3d spacing;
	};
}

class CenterlineSyntheticTreeTest : public ::testing::TestWithParam<TreeCase>
{
};

TEST_P(CenterlineSyntheticTreeTest, GraphFollowsTheTrueCenterline)
{
	const TreeCase& c = GetParam();
	SyntheticVessels::TreeSettings settings;
	settings.dimensions = c.dimensions;
	settings.spacing = c.spacing;
	settings.seed = c.seed;
	const SyntheticVessels::VesselTree tree = SyntheticVessels::createVesselTree(settings);

	CenterlineGraphExtractionAlgorithm algorithm(*tree.labels);
	algorithm.compute();
	// The loops of the tree stay (no spanning tree asked for), so the result warns but succeeds.
	ASSERT_EQ(algorithm.status(), Algorithm::Success);
	auto graph = algorithm.takeOutput().extractFirst<Graph>();
	ASSERT_TRUE(graph);

	const double target = c.spacing.maxCoeff();
	const auto match = SyntheticVessels::matchCenterline(tree, *graph, target);
	EXPECT_GE(match.coverage, 0.95) << "largest distance " << match.largestDistance;
	// Nothing of the graph strays far: an unpruned spur of a wall bump may reach a few voxels out.
	EXPECT_LT(match.largestGraphDistance, 5.0 * target);
	EXPECT_EQ(PartitionGraphsAlgorithm::computeConnectedComponents(*graph).size(), 1u);

	const int expected = static_cast<int>(tree.branchPoints.size());
	const int found = branchPointCount(*graph);
	EXPECT_LE(std::abs(found - expected), std::max(1, expected / 10)) << "found " << found << ", expected " << expected;
}

INSTANTIATE_TEST_SUITE_P(AnisotropicTrees, CenterlineSyntheticTreeTest,
                         ::testing::Values(TreeCase{3, {96, 96, 96}, {0.45, 0.5, 0.5}}, TreeCase{6, {96, 96, 80}, {0.5, 0.5, 0.6}},
                                           TreeCase{6, {96, 80, 96}, {0.5, 0.6, 0.5}}, TreeCase{6, {96, 96, 96}, {0.4, 0.5, 0.5}},
                                           TreeCase{7, {80, 80, 96}, {0.6, 0.6, 0.5}}, TreeCase{5, {96, 96, 96}, {0.5, 0.5, 0.5}}));
