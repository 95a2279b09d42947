#include "src/graph/Graph.h"

#include "host/lib/DataList.h"
#include "src/graph/GlGraphDisplayOptions.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

using namespace Quorvale;

namespace
{
	Graph::NodeInfo at(double x, double y = 0.0, double z = 0.0, std::vector<double> features = {})
	{
		return Graph::NodeInfo(Eigen::Vector3d(x, y, z), std::move(features));
	}

	Graph::EdgeInfo edgeWith(std::vector<double> features) { return Graph::EdgeInfo(std::move(features)); }

	/// Graph with nodes 1..n (at x = id) and no edges.
	Graph withNodes(int n, Graph::Type type = Graph::Type::Undirected)
	{
		Graph graph(type);
		for (int i = 1; i <= n; ++i)
			graph.addNode(at(i));
		return graph;
	}

	std::vector<std::string> names(const std::vector<Graph::FeatureDescriptor>& descriptors)
	{
		std::vector<std::string> out;
		for (const auto& d : descriptors)
			out.push_back(d.name);
		return out;
	}

	/// Expects `call` to throw std::out_of_range with the node lookup text.
	template <typename F>
	void expectInvalidKey(F&& call)
	{
		try
		{
			call();
			ADD_FAILURE() << "expected std::out_of_range";
		}
		catch (const std::out_of_range& e)
		{
			EXPECT_STREQ(e.what(), "invalid map<K, T> key");
		}
	}

	class DerivedGraph : public Graph
	{
	};
}

TEST(GraphTest, NewGraphIsAnUndirectedThreeDimensionalGraphWithTheDiameterColumn)
{
	Graph graph;
	EXPECT_EQ(graph.name(), "Graph");
	EXPECT_EQ(graph.type(), Graph::Type::Undirected);
	EXPECT_EQ(graph.dimension(), Graph::Dimension::ThreeD);
	EXPECT_TRUE(graph.empty());
	EXPECT_EQ(graph.numNodes(), 0);
	EXPECT_EQ(graph.numEdges(), 0);
	EXPECT_EQ(graph.maxNodeIdx(), 0u);
	EXPECT_EQ(graph.numNodeFeatures(), 0);
	ASSERT_EQ(graph.numEdgeFeatures(), 1);
	EXPECT_EQ(graph.edgeFeatureDescriptors()[0].name, "diameter");
	EXPECT_EQ(graph.edgeFeatureDescriptors()[0].defaultValue, 0.0);
	EXPECT_EQ(graph.kind(), 0);
	EXPECT_EQ(graph.modality(), 0);
	EXPECT_EQ(graph.matrixConvention(), Data::ToWorld);
	EXPECT_EQ(graph.components().size(), 1);
	EXPECT_NE(graph.components().get<GlGraph::DisplayOptions>(), nullptr);

	Graph directed2d(Graph::Type::Directed, Graph::Dimension::TwoD);
	EXPECT_EQ(directed2d.type(), Graph::Type::Directed);
	EXPECT_EQ(directed2d.dimension(), Graph::Dimension::TwoD);
}

TEST(GraphTest, NodeIdentifiersAreNeverReused)
{
	Graph graph;
	EXPECT_EQ(graph.addNode(at(0)), 1u);
	EXPECT_EQ(graph.addNode(at(0)), 2u);
	EXPECT_EQ(graph.addNode(at(0)), 3u);
	graph.removeNode(3);
	EXPECT_EQ(graph.maxNodeIdx(), 3u);
	EXPECT_EQ(graph.addNode(at(0)), 4u);
	EXPECT_FALSE(graph.hasNode(3));

	Graph other;
	EXPECT_TRUE(other.addOrReplaceNode(10, at(1)));
	EXPECT_EQ(other.maxNodeIdx(), 10u);
	EXPECT_EQ(other.addNode(at(2)), 11u);
	EXPECT_TRUE(other.addOrReplaceNode(5, at(3)));
	EXPECT_EQ(other.maxNodeIdx(), 11u);
}

TEST(GraphTest, ReplacingANodeKeepsItsEdgesAndFitsTheRecord)
{
	Graph graph = withNodes(2);
	graph.addNodeFeatureDescriptors({{"a", 7.0}, {"b", 8.0}});
	graph.addEdge(1, 2, {});
	Graph::NodeInfo replacement = at(5, 6, 7, {1.0});
	replacement.attributes().setParam("label", std::string("x"));
	EXPECT_FALSE(graph.addOrReplaceNode(1, replacement));
	EXPECT_EQ(graph.node(1).position(), Eigen::Vector3d(5, 6, 7));
	EXPECT_EQ(graph.node(1).features(), (std::vector<double>{1.0, 8.0}));
	EXPECT_EQ(graph.nodeAttributes(1).param<std::string>("label"), std::string("x"));
	EXPECT_EQ(graph.numEdges(), 1);
	EXPECT_TRUE(graph.edge(1, 2).has_value());

	// A new node's record is fitted too: truncated here.
	graph.addNode(at(0, 0, 0, {1, 2, 3, 4}));
	EXPECT_EQ(graph.node(3).features(), (std::vector<double>{1.0, 2.0}));
}

TEST(GraphTest, AddingANodeAfterTheLargestIdentifierFailsWithoutChange)
{
	Graph graph;
	const uint64_t last = std::numeric_limits<uint64_t>::max();
	graph.addOrReplaceNode(last, at(1));
	EXPECT_THROW(graph.addNode(at(2)), std::overflow_error);
	EXPECT_EQ(graph.numNodes(), 1);
	EXPECT_EQ(graph.maxNodeIdx(), last);
	EXPECT_FALSE(graph.hasNode(0));
}

TEST(GraphTest, LookupsOfMissingNodesThrowTheMapKeyError)
{
	Graph graph = withNodes(1);
	const Graph& constGraph = graph;
	expectInvalidKey([&] { graph.node(2); });
	expectInvalidKey([&] { graph.nodeAttributes(2); });
	expectInvalidKey([&] { constGraph.nodeAttributes(2); });
	expectInvalidKey([&] { graph.neighborhood(2); });
	expectInvalidKey([&] { graph.degree(2, Graph::DegreeType::Total); });
	EXPECT_NO_THROW(graph.removeNode(2));
	EXPECT_NO_THROW(graph.removeEdge(1, 2));
	EXPECT_EQ(graph.numNodes(), 1);
}

TEST(GraphTest, AddingAnEdgeWithAMissingEndChangesNothing)
{
	for (auto type : {Graph::Type::Undirected, Graph::Type::Directed})
	{
		Graph graph = withNodes(2, type);
		expectInvalidKey([&] { graph.addEdge(1, 9, {}); });
		expectInvalidKey([&] { graph.addEdge(9, 1, {}); });
		EXPECT_TRUE(graph.neighborhood(1).empty());
		EXPECT_TRUE(graph.neighborhood(2).empty());
		EXPECT_EQ(graph.numEdges(), 0);
	}
}

TEST(GraphTest, UndirectedEdgeKeepsItsFirstRecord)
{
	Graph graph = withNodes(2);
	graph.addEdge(1, 2, edgeWith({1.0}));
	graph.addEdge(2, 1, edgeWith({2.0}));
	graph.addEdge(1, 2, edgeWith({3.0}));
	EXPECT_EQ(graph.numEdges(), 1);
	ASSERT_TRUE(graph.edge(1, 2));
	ASSERT_TRUE(graph.edge(2, 1));
	EXPECT_EQ(graph.edge(1, 2)->features(), std::vector<double>{1.0});
	EXPECT_EQ(graph.edge(2, 1)->features(), std::vector<double>{1.0});

	graph.removeEdge(2, 1);
	EXPECT_EQ(graph.numEdges(), 0);
	EXPECT_TRUE(graph.neighborhood(1).empty());
	EXPECT_TRUE(graph.neighborhood(2).empty());
}

TEST(GraphTest, DirectedEdgesInBothDirectionsAreSeparate)
{
	Graph graph = withNodes(2, Graph::Type::Directed);
	graph.addEdge(1, 2, edgeWith({1.0}));
	graph.addEdge(1, 2, edgeWith({2.0}));
	ASSERT_TRUE(graph.edge(1, 2));
	EXPECT_EQ(graph.edge(1, 2)->features(), std::vector<double>{2.0});
	ASSERT_EQ(graph.neighborhood(2).count(1), 1u);
	EXPECT_FALSE(graph.edge(2, 1).has_value());
	EXPECT_EQ(graph.numEdges(), 1);

	graph.addEdge(2, 1, edgeWith({3.0}));
	ASSERT_TRUE(graph.edge(2, 1));
	EXPECT_EQ(graph.edge(2, 1)->features(), std::vector<double>{3.0});
	EXPECT_EQ(graph.numEdges(), 2);

	graph.removeEdge(1, 2);
	ASSERT_EQ(graph.neighborhood(1).count(2), 1u);
	EXPECT_FALSE(graph.edge(1, 2).has_value());
	ASSERT_TRUE(graph.edge(2, 1));
	EXPECT_EQ(graph.edge(2, 1)->features(), std::vector<double>{3.0});
	EXPECT_EQ(graph.numEdges(), 1);

	// Removing the absent 1 → 2 again leaves 2 → 1 alone; removing 2 → 1 clears both entries.
	graph.removeEdge(1, 2);
	EXPECT_EQ(graph.numEdges(), 1);
	graph.removeEdge(2, 1);
	EXPECT_EQ(graph.numEdges(), 0);
	EXPECT_TRUE(graph.neighborhood(1).empty());
	EXPECT_TRUE(graph.neighborhood(2).empty());
}

TEST(GraphTest, SelfLoopIsOneEntryAndOneEdge)
{
	for (auto type : {Graph::Type::Undirected, Graph::Type::Directed})
	{
		Graph graph = withNodes(1, type);
		graph.addEdge(1, 1, edgeWith({4.0}));
		EXPECT_EQ(graph.neighborhood(1).size(), 1u);
		EXPECT_EQ(graph.numEdges(), 1);
		graph.removeEdge(1, 1);
		EXPECT_TRUE(graph.neighborhood(1).empty());
		EXPECT_EQ(graph.numEdges(), 0);
	}
}

TEST(GraphTest, SetDirectedReadsEachUndirectedEdgeAsTwo)
{
	Graph graph = withNodes(3);
	graph.addEdge(1, 2, {});
	graph.addEdge(3, 3, {});
	graph.setDirected();
	EXPECT_EQ(graph.type(), Graph::Type::Directed);
	EXPECT_EQ(graph.numEdges(), 3);
	graph.removeEdge(1, 2);
	EXPECT_EQ(graph.numEdges(), 2);
	EXPECT_TRUE(graph.edge(2, 1).has_value());
}

TEST(GraphTest, RemovingANodeRemovesItsEdgesOnBothSides)
{
	Graph graph = withNodes(4, Graph::Type::Directed);
	graph.addEdge(1, 2, {});
	graph.addEdge(3, 2, {});
	graph.addEdge(2, 2, {});
	graph.addEdge(2, 4, {});
	graph.removeNode(2);
	EXPECT_EQ(graph.numNodes(), 3);
	EXPECT_EQ(graph.numEdges(), 0);
	for (uint64_t id : {1u, 3u, 4u})
		EXPECT_TRUE(graph.neighborhood(id).empty()) << id;
}

TEST(GraphTest, EdgeRecordsAreFittedToTheEdgeColumns)
{
	Graph graph = withNodes(3);
	graph.addEdgeFeatureDescriptors({{"length", 5.0}});
	graph.addEdge(1, 2, edgeWith({1, 2, 3}));
	graph.addEdge(2, 3, Graph::EdgeInfo());
	EXPECT_EQ(graph.edge(1, 2)->features(), (std::vector<double>{1, 2}));
	EXPECT_EQ(graph.edge(2, 1)->features(), (std::vector<double>{1, 2}));
	EXPECT_EQ(graph.edge(2, 3)->features(), (std::vector<double>{0, 5}));
	EXPECT_EQ(graph.edge(3, 2)->features(), (std::vector<double>{0, 5}));
}

TEST(GraphTest, GetOrCreateFeatureIndices)
{
	Graph graph = withNodes(2);
	graph.addEdge(1, 2, {});
	EXPECT_EQ(graph.getOrCreateEdgeFeatureIdx("diameter", 5.0), 0);
	EXPECT_EQ(graph.edgeFeatureDescriptors()[0].defaultValue, 0.0);
	EXPECT_EQ(graph.getEdgeFeatureIdx("Diameter"), std::nullopt);
	EXPECT_EQ(graph.getEdgeFeatureIdx("diam"), std::nullopt);

	EXPECT_EQ(graph.getOrCreateNodeFeatureIdx("degree", 2.0), 0);
	EXPECT_EQ(graph.node(1).features(), std::vector<double>{2.0});
	EXPECT_EQ(graph.node(2).features(), std::vector<double>{2.0});
	EXPECT_EQ(graph.getOrCreateNodeFeatureIdx("degree", 9.0), 0);
	EXPECT_EQ(graph.nodeFeatureDescriptors()[0].defaultValue, 2.0);

	EXPECT_EQ(graph.getOrCreateEdgeFeatureIdx("length", -1.0), 1);
	EXPECT_EQ(graph.edge(1, 2)->features(), (std::vector<double>{0.0, -1.0}));
	EXPECT_EQ(graph.edge(2, 1)->features(), (std::vector<double>{0.0, -1.0}));

	// Duplicate names are allowed; lookups find the first.
	graph.addEdgeFeatureDescriptors({{"length", 3.0}});
	EXPECT_EQ(graph.numEdgeFeatures(), 3);
	EXPECT_EQ(graph.getEdgeFeatureIdx("length"), 1);
}

TEST(GraphTest, RemovingFeatureColumnsByName)
{
	Graph graph = withNodes(2);
	graph.addEdgeFeatureDescriptors({{"a", 1.0}, {"b", 2.0}});
	graph.addEdge(1, 2, edgeWith({10, 11, 12}));
	graph.removeEdgeFeatures(std::vector<std::string>{"a", "a", "missing"});
	EXPECT_EQ(names(graph.edgeFeatureDescriptors()), (std::vector<std::string>{"diameter", "b"}));
	EXPECT_EQ(graph.edgeFeatureDescriptors()[1].defaultValue, 2.0);
	EXPECT_EQ(graph.edge(1, 2)->features(), (std::vector<double>{10, 12}));
	EXPECT_EQ(graph.edge(2, 1)->features(), (std::vector<double>{10, 12}));

	graph.addNodeFeatureDescriptors({{"x", 0.0}, {"y", 0.0}, {"z", 0.0}});
	graph.editEachNode([](uint64_t id, Graph::NodeInfo& info) { info.features() = {1.0 * id, 2.0 * id, 3.0 * id}; });
	graph.removeNodeFeatures(std::vector<std::string>{"z", "x"});
	EXPECT_EQ(names(graph.nodeFeatureDescriptors()), std::vector<std::string>{"y"});
	EXPECT_EQ(graph.node(2).features(), std::vector<double>{4.0});
}

TEST(GraphTest, RemovingFeatureColumnsByIndex)
{
	Graph graph = withNodes(3, Graph::Type::Directed);
	graph.addEdgeFeatureDescriptors({{"a", 0.0}, {"b", 0.0}, {"c", 0.0}});
	graph.addEdge(1, 2, edgeWith({0, 1, 2, 3}));
	graph.addEdge(2, 1, edgeWith({4, 5, 6, 7}));
	graph.removeEdgeFeatures(std::vector<uint64_t>{2, 0, 2});
	EXPECT_EQ(names(graph.edgeFeatureDescriptors()), (std::vector<std::string>{"a", "c"}));
	EXPECT_EQ(graph.edge(1, 2)->features(), (std::vector<double>{1, 3}));
	EXPECT_EQ(graph.edge(2, 1)->features(), (std::vector<double>{5, 7}));

	graph.removeEdgeFeatures(std::vector<uint64_t>{});
	EXPECT_EQ(graph.numEdgeFeatures(), 2);

	// An index naming no column is refused before anything changes, also next to valid ones.
	EXPECT_THROW(graph.removeEdgeFeatures(std::vector<uint64_t>{0, 2}), std::out_of_range);
	EXPECT_EQ(graph.numEdgeFeatures(), 2);
	EXPECT_EQ(graph.edge(1, 2)->features(), (std::vector<double>{1, 3}));
	EXPECT_THROW(graph.removeNodeFeatures(std::vector<uint64_t>{0}), std::out_of_range);
}

TEST(GraphTest, ClearingDescriptorsEmptiesEveryFeatureVectorButKeepsAttributes)
{
	Graph graph = withNodes(2);
	graph.addNodeFeatureDescriptors({{"n", 1.0}});
	graph.addEdge(1, 2, edgeWith({3.0}));
	graph.editEdge(1, 2, [](Graph::EdgeInfo& e) { e.attributes().setParam("kept", 1); });
	graph.nodeAttributes(1).setParam("kept", 2);
	graph.clearFeatureDescriptors();
	EXPECT_EQ(graph.numEdgeFeatures(), 0);
	EXPECT_EQ(graph.numNodeFeatures(), 0);
	EXPECT_TRUE(graph.node(1).features().empty());
	EXPECT_TRUE(graph.edge(1, 2)->features().empty());
	EXPECT_TRUE(graph.edge(2, 1)->features().empty());
	EXPECT_EQ(graph.edge(2, 1)->attributes().param<int>("kept"), 1);
	EXPECT_EQ(graph.nodeAttributes(1).param<int>("kept"), 2);
}

TEST(GraphTest, BoundsAreInWorldCoordinates)
{
	Graph graph;
	EXPECT_TRUE(graph.bounds().isEmpty());

	graph.addNode(at(1, 2, 3));
	Eigen::Matrix4d toWorld = Eigen::Matrix4d::Identity();
	toWorld(0, 3) = 10.0;
	graph.setMatrixToWorld(toWorld);
	EXPECT_EQ(graph.bounds(), Geometry::AlignedBox(Eigen::Vector3d(11, 2, 3), Eigen::Vector3d(11, 2, 3)));

	// The linear part applies too: a quarter turn about z sends (1, 2, 3) to (-2, 1, 3).
	toWorld.setIdentity();
	toWorld.topLeftCorner<3, 3>() << 0, -1, 0, 1, 0, 0, 0, 0, 1;
	graph.setMatrixToWorld(toWorld);
	graph.addNode(at(0, 0, 0));
	const auto box = graph.bounds();
	EXPECT_TRUE(box.min().isApprox(Eigen::Vector3d(-2, 0, 0)));
	EXPECT_TRUE(box.max().isApprox(Eigen::Vector3d(0, 1, 3)));
}

TEST(GraphTest, CopiesAreIndependentAndContinueTheIdentifiers)
{
	Graph source(Graph::Type::Directed, Graph::Dimension::TwoD);
	source.addNode(at(1));
	source.addNode(at(2));
	source.addNode(at(3));
	source.removeNode(3);
	source.addEdge(1, 2, edgeWith({5.0}));
	source.addNodeFeatureDescriptors({{"n", 1.0}});
	source.setName("vessels");

	Graph copy(source);
	EXPECT_EQ(copy.name(), "vessels");
	EXPECT_EQ(copy.type(), Graph::Type::Directed);
	EXPECT_EQ(copy.dimension(), Graph::Dimension::TwoD);
	EXPECT_EQ(copy.numEdges(), 1);
	EXPECT_EQ(copy.numNodeFeatures(), 1);
	EXPECT_EQ(copy.components().size(), 1);
	EXPECT_NE(copy.components().get<GlGraph::DisplayOptions>(), source.components().get<GlGraph::DisplayOptions>());
	EXPECT_EQ(copy.addNode(at(4)), 4u);

	copy.editEdge(1, 2, [](Graph::EdgeInfo& e) { e.features()[0] = 9.0; });
	EXPECT_EQ(source.edge(1, 2)->features(), std::vector<double>{5.0});

	Graph assigned;
	assigned.addNode(at(0));
	assigned = source;
	EXPECT_EQ(assigned.type(), Graph::Type::Directed);
	EXPECT_EQ(assigned.numNodes(), 2);
	EXPECT_EQ(assigned.maxNodeIdx(), 3u);
	EXPECT_EQ(assigned.components().size(), 1);
}

TEST(GraphTest, MovingLeavesTheSourceWithoutNodesAndDescriptors)
{
	Graph source(Graph::Type::Directed, Graph::Dimension::TwoD);
	source.addNode(at(1));
	source.addNode(at(2));
	source.addEdge(1, 2, {});
	source.setName("moved");

	Graph target(std::move(source));
	EXPECT_EQ(target.name(), "moved");
	EXPECT_EQ(target.numNodes(), 2);
	EXPECT_EQ(target.numEdges(), 1);
	EXPECT_EQ(target.numEdgeFeatures(), 1);
	EXPECT_EQ(target.components().size(), 1);
	// The moved-from graph keeps its settings and identifier counter, nothing else.
	EXPECT_EQ(source.numNodes(), 0);
	EXPECT_EQ(source.numEdgeFeatures(), 0);
	EXPECT_EQ(source.maxNodeIdx(), 2u);
	EXPECT_EQ(source.type(), Graph::Type::Directed);
	EXPECT_EQ(source.name(), "moved");
	EXPECT_EQ(source.addNode(at(0)), 3u);

	Graph assigned;
	assigned = std::move(target);
	EXPECT_EQ(assigned.numNodes(), 2);
	EXPECT_EQ(assigned.type(), Graph::Type::Directed);
	EXPECT_EQ(target.numNodes(), 0);
	EXPECT_EQ(target.numNodeFeatures(), 0);
	EXPECT_EQ(target.maxNodeIdx(), 2u);
}

TEST(GraphTest, GetGraphsKeepsGraphsAndDerivedTypesInListOrder)
{
	Graph first;
	Data plain("image");
	DerivedGraph second;
	DataList list{&first, &plain, &second};
	const auto graphs = DataList::getGraphs(list);
	ASSERT_EQ(graphs.size(), 2u);
	EXPECT_EQ(graphs[0], &first);
	EXPECT_EQ(graphs[1], static_cast<Graph*>(&second));
	EXPECT_TRUE(DataList::getGraphs(list, Data::Mesh).empty());
	EXPECT_TRUE(DataList::getGraphs(DataList()).empty());
}
