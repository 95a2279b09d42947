#include "src/graph/GraphMatrixUtils.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

using namespace Quorvale;
using namespace Quorvale::GraphMatrixUtils;

namespace
{
	/// Nodes 2, 5 and 9 (ids set explicitly), without edges.
	Graph sparseIds(Graph::Type type = Graph::Type::Undirected)
	{
		Graph graph(type);
		for (uint64_t id : {2u, 5u, 9u})
			graph.addOrReplaceNode(id, Graph::NodeInfo(Eigen::Vector3d::Zero(), {}));
		return graph;
	}

	EdgeWeightFunction constant(double w)
	{
		return [w](uint64_t, uint64_t, const Graph::EdgeInfo&) { return w; };
	}

	Eigen::MatrixXd dense(const SparseMatrix& m) { return Eigen::MatrixXd(m); }
}

TEST(GraphMatrixUtilsTest, SequentialIndexFollowsAscendingIdentifiers)
{
	const Graph graph = sparseIds();
	const auto [idToIndex, indexToId] = graphToSequentialIndex(graph);
	EXPECT_EQ(idToIndex, (IndexMap{{2, 0}, {5, 1}, {9, 2}}));
	EXPECT_EQ(indexToId, (IndexMap{{0, 2}, {1, 5}, {2, 9}}));

	EXPECT_EQ(computeAdjacencyMatrix(graph, Representation::NodeId, nullptr, {}).rows(), 10);
	EXPECT_EQ(computeAdjacencyMatrix(graph, Representation::NodeId, nullptr, {}).cols(), 10);
	EXPECT_EQ(computeAdjacencyMatrix(graph, Representation::Sequential, nullptr, {}).rows(), 3);
	EXPECT_EQ(computeDegreeMatrix(graph, Representation::Sequential, Graph::DegreeType::Total, nullptr, {}).nonZeros(), 0);
}

TEST(GraphMatrixUtilsTest, UndirectedEdgeWithUnitWeights)
{
	Graph graph = sparseIds();
	graph.addEdge(2, 5, {});
	Eigen::MatrixXd expected = Eigen::MatrixXd::Zero(3, 3);
	expected(0, 1) = expected(1, 0) = 1.0;
	EXPECT_EQ(dense(computeAdjacencyMatrix(graph, Representation::Sequential, nullptr, {})), expected);

	const SparseMatrix degree = computeDegreeMatrix(graph, Representation::Sequential, Graph::DegreeType::In, nullptr, {});
	EXPECT_EQ(degree.nonZeros(), 2);
	EXPECT_EQ(degree.coeff(0, 0), 1.0);
	EXPECT_EQ(degree.coeff(1, 1), 1.0);

	const SparseMatrix byId = computeAdjacencyMatrix(graph, Representation::NodeId, nullptr, {});
	EXPECT_EQ(byId.nonZeros(), 2);
	EXPECT_EQ(byId.coeff(2, 5), 1.0);
	EXPECT_EQ(byId.coeff(5, 2), 1.0);
}

TEST(GraphMatrixUtilsTest, DirectedEdgeWeightsAndDegreeTypes)
{
	Graph graph = sparseIds(Graph::Type::Directed);
	graph.addEdge(2, 5, {});
	const SparseMatrix adjacency = computeAdjacencyMatrix(graph, Representation::Sequential, nullptr, constant(3.0));
	EXPECT_EQ(adjacency.nonZeros(), 1);
	EXPECT_EQ(adjacency.coeff(0, 1), 3.0);

	const auto degree = [&](Graph::DegreeType type)
	{ return Eigen::VectorXd(dense(computeDegreeMatrix(graph, Representation::Sequential, type, nullptr, constant(3.0))).diagonal()); };
	EXPECT_EQ(degree(Graph::DegreeType::Out), Eigen::Vector3d(3, 0, 0));
	EXPECT_EQ(degree(Graph::DegreeType::In), Eigen::Vector3d(0, 3, 0));
	EXPECT_EQ(degree(Graph::DegreeType::Total), Eigen::Vector3d(3, 3, 0));

	// The two directions of a pair keep their own weights.
	graph.addEdge(5, 2, Graph::EdgeInfo({7.0}));
	const auto byFeature = [](uint64_t, uint64_t, const Graph::EdgeInfo& e) { return e.features()[0] + 1.0; };
	const SparseMatrix pair = computeAdjacencyMatrix(graph, Representation::Sequential, nullptr, byFeature);
	EXPECT_EQ(pair.coeff(0, 1), 1.0);
	EXPECT_EQ(pair.coeff(1, 0), 8.0);
}

TEST(GraphMatrixUtilsTest, WeightsFollowTheEdgeAndDegreesSum)
{
	Graph graph = sparseIds();
	graph.addEdge(2, 5, Graph::EdgeInfo({2.0}));
	graph.addEdge(5, 9, Graph::EdgeInfo({3.0}));
	graph.addEdge(2, 2, Graph::EdgeInfo({1.0}));
	int calls = 0;
	const auto weight = [&calls](uint64_t from, uint64_t to, const Graph::EdgeInfo& e)
	{
		++calls;
		EXPECT_LE(from, to);
		return e.features()[0];
	};
	const SparseMatrix degree = computeDegreeMatrix(graph, Representation::Sequential, Graph::DegreeType::Out, nullptr, weight);
	EXPECT_EQ(calls, 6);
	// The self-loop adds its weight twice to its own node.
	EXPECT_EQ(dense(degree).diagonal(), Eigen::Vector3d(2.0 + 2.0 * 1.0, 2.0 + 3.0, 3.0));

	const SparseMatrix adjacency = computeAdjacencyMatrix(graph, Representation::Sequential, nullptr, weight);
	EXPECT_EQ(adjacency.coeff(0, 0), 1.0);
	EXPECT_EQ(adjacency.coeff(1, 2), 3.0);
	EXPECT_EQ(adjacency.coeff(2, 1), 3.0);
	EXPECT_EQ(adjacency.nonZeros(), 5);
}

TEST(GraphMatrixUtilsTest, IndexMapsAreFilledWhenEmptyAndUsedWhenGiven)
{
	Graph graph = sparseIds();
	graph.addEdge(2, 9, {});

	IndexMap filled;
	computeAdjacencyMatrix(graph, Representation::Sequential, &filled, {});
	EXPECT_EQ(filled, (IndexMap{{2, 0}, {5, 1}, {9, 2}}));

	// A caller's numbering is used as given; entries are assigned, so two edges on one entry leave the later.
	IndexMap reversed{{2, 2}, {5, 1}, {9, 0}};
	const SparseMatrix m = computeAdjacencyMatrix(graph, Representation::Sequential, &reversed, {});
	EXPECT_EQ(m.coeff(2, 0), 1.0);
	EXPECT_EQ(m.coeff(0, 2), 1.0);

	graph.addEdge(5, 9, Graph::EdgeInfo({4.0}));
	IndexMap merged{{2, 0}, {5, 0}, {9, 1}};
	const auto feature = [](uint64_t, uint64_t, const Graph::EdgeInfo& e) { return e.features()[0] + 1.0; };
	const SparseMatrix collapsed = computeAdjacencyMatrix(graph, Representation::Sequential, &merged, feature);
	EXPECT_EQ(collapsed.coeff(0, 1), 5.0);
	EXPECT_EQ(collapsed.nonZeros(), 2);
}

TEST(GraphMatrixUtilsTest, BrokenPreconditionsAreRefused)
{
	Graph graph = sparseIds();
	graph.addEdge(2, 5, {});

	IndexMap lacking{{2, 0}, {5, 1}};
	EXPECT_THROW(computeAdjacencyMatrix(graph, Representation::Sequential, &lacking, {}), std::out_of_range);
	IndexMap outside{{2, 0}, {5, 1}, {9, 3}};
	EXPECT_THROW(computeDegreeMatrix(graph, Representation::Sequential, Graph::DegreeType::Total, &outside, {}), std::out_of_range);
	EXPECT_THROW(computeAdjacencyMatrix(graph, static_cast<Representation>(2), nullptr, {}), std::out_of_range);

	Graph huge;
	huge.addOrReplaceNode(static_cast<uint64_t>(std::numeric_limits<int32_t>::max()), Graph::NodeInfo(Eigen::Vector3d::Zero(), {}));
	EXPECT_THROW(computeAdjacencyMatrix(huge, Representation::NodeId, nullptr, {}), std::out_of_range);
	EXPECT_EQ(computeAdjacencyMatrix(huge, Representation::Sequential, nullptr, {}).rows(), 1);

	graph.addNodeFeatureDescriptors({{"f", 0.0}});
	EXPECT_THROW(nodeFeaturesToVectorXd(graph, 1), std::out_of_range);
	EXPECT_THROW(nodeFeaturesToVectorXd(graph, -1), std::out_of_range);
	EXPECT_THROW(createOrAssignNodeFeatureFromVectorXd(graph, "g", Eigen::Vector2d(1, 2), 0.0), std::out_of_range);
	EXPECT_FALSE(graph.getNodeFeatureIdx("g").has_value());
}

TEST(GraphMatrixUtilsTest, NodeFeaturesRoundTripThroughVectors)
{
	Graph graph = sparseIds();
	graph.addNodeFeatureDescriptors({{"old", 4.0}});
	EXPECT_EQ(createOrAssignNodeFeatureFromVectorXd(graph, "new", Eigen::Vector3d(1, 2, 3), 9.0), 1);
	EXPECT_EQ(graph.nodeFeatureDescriptors()[1].defaultValue, 9.0);
	EXPECT_EQ(graph.node(2).features(), (std::vector<double>{4, 1}));
	EXPECT_EQ(graph.node(5).features(), (std::vector<double>{4, 2}));
	EXPECT_EQ(graph.node(9).features(), (std::vector<double>{4, 3}));
	EXPECT_EQ(nodeFeaturesToVectorXd(graph, 1), Eigen::Vector3d(1, 2, 3));

	EXPECT_EQ(createOrAssignNodeFeatureFromVectorXd(graph, "old", Eigen::Vector4d(7, 8, 9, 10), 0.0), 0);
	EXPECT_EQ(nodeFeaturesToVectorXd(graph, 0), Eigen::Vector3d(7, 8, 9));
	EXPECT_EQ(graph.nodeFeatureDescriptors()[0].defaultValue, 4.0);
	EXPECT_EQ(graph.numNodeFeatures(), 2);
}
