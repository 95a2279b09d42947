#include <algorithm>
#include <memory>

#include <gtest/gtest.h>

#include "host/core/Log.h"
#include "host/core/Resource/Repository.h"
#include "host/lib/FactoryRegistry.h"
#include "host/lib/PluginAutoRegistrationGuard.h"
#include "src/graph/Graph.h"
#include "src/plugin/GraphDataAnnotationFactory.h"
#include "src/plugin/GraphPlugin.h"
#include "src/plugin/PluginEntryPoints.h"

using namespace Quorvale;

namespace
{
	Graph::NodeInfo nodeAt(double x, double y, double z) { return Graph::NodeInfo(Eigen::Vector3d(x, y, z), {}); }

	/// Undirected, nodes 1, 2, 3, edges 1–2 and 2–3.
	std::unique_ptr<Graph> makePath()
	{
		auto graph = std::make_unique<Graph>();
		graph->addNode(nodeAt(0, 0, 0));
		graph->addNode(nodeAt(1, 0, 0));
		graph->addNode(nodeAt(2, 0, 0));
		graph->addEdge(1, 2, Graph::EdgeInfo());
		graph->addEdge(2, 3, Graph::EdgeInfo());
		return graph;
	}

	class DerivedGraph : public Graph
	{
	};
}

TEST(GraphPluginEntryPointsTest, DescriptorCarriesTheHostTextWithoutPluginVersion)
{
	ASSERT_NE(quorvalePluginDescriptor.compatibility, nullptr);
	EXPECT_STREQ(quorvalePluginDescriptor.compatibility,
	             "__QUORVALE_PLUGIN_V2_MAGIC_STRING__|hostversion=4.5.0|buildflags=MSC_VER:1929,IDL:0|pluginversion=");
	EXPECT_EQ(quorvalePluginDescriptor.reserved, 0u);
	EXPECT_TRUE(PluginDescriptor::isCompatible(quorvalePluginDescriptor.compatibility));
}

TEST(GraphPluginEntryPointsTest, IdentifierIsTheSameTextEverywhere)
{
	EXPECT_STREQ(GraphPlugin::id(), "Quorvale.Graph");
	EXPECT_EQ(quorvalePluginId(), GraphPlugin::id());
	// The library is linked into this test, so its load-time guard has listed it.
	const auto ids = PluginAutoRegistrationGuard::registeredPluginIds();
	EXPECT_EQ(std::count(ids.begin(), ids.end(), "Quorvale.Graph"), 1);
}

TEST(GraphPluginEntryPointsTest, CreatePluginGivesAGraphPlugin)
{
	std::unique_ptr<PluginBase> plugin(quorvaleCreatePlugin());
	ASSERT_NE(dynamic_cast<GraphPlugin*>(plugin.get()), nullptr);
	EXPECT_EQ(plugin->description(), "Plugin for working with graphs");
	EXPECT_FALSE(plugin->author().empty());
}

TEST(GraphPluginTest, InitRegistersOneGraphAnnotationFactory)
{
	const auto before = FactoryRegistry::get().annotationFactories();
	GraphPlugin plugin;
	EXPECT_EQ(plugin.init(), PluginBase::Success);
	const auto after = FactoryRegistry::get().annotationFactories();
	ASSERT_EQ(after.size(), before.size() + 1);
	EXPECT_NE(dynamic_cast<GraphDataAnnotationFactory*>(after.back()), nullptr);

	// The host now describes and clones graphs without knowing the type.
	auto graph = makePath();
	EXPECT_EQ(FactoryRegistry::get().describeData(*graph), "Graph with 3 nodes and 2 edges");
	auto clone = FactoryRegistry::get().cloneData(*graph);
	ASSERT_NE(dynamic_cast<Graph*>(clone.get()), nullptr);
	EXPECT_EQ(static_cast<Graph*>(clone.get())->numEdges(), 2);
}

TEST(GraphPluginTest, InitAddsTheRepositoryBeforeTheDisplayHandlerAndKeepsItOnASecondInit)
{
	const int level = Log::minimumLevel();
	Log::setMinimumLevel(Log::Debug);
	std::vector<std::string> registrations;
	{
		GraphPlugin plugin;
		for (int round = 0; round < 2; ++round)
		{
			Log::ScopedCapture log;
			ASSERT_EQ(plugin.init(), PluginBase::Success);
			for (const std::string& message : log->messages(Log::Debug))
				if (message.rfind("Added repository ", 0) == 0 || message.rfind("Registered display handler ", 0) == 0)
					registrations.push_back(message);
		}
		const auto names = Resource::repositoryNames();
		EXPECT_EQ(std::count(names.begin(), names.end(), "QuorvaleGraph"), 1);
	}
	Log::setMinimumLevel(level);
	// The second init registers the handler anew but adds no second repository.
	EXPECT_EQ(registrations, (std::vector<std::string>{"Added repository QuorvaleGraph", "Registered display handler Quorvale.GraphDisplayHandler",
	                                                   "Registered display handler Quorvale.GraphDisplayHandler"}));
}

TEST(GraphDataAnnotationFactoryTest, DescribesGraphsByNodeAndEdgeCount)
{
	GraphDataAnnotationFactory factory;
	Graph empty;
	EXPECT_EQ(factory.dataDescription(&empty), "Graph with 0 nodes and 0 edges");
	EXPECT_EQ(factory.dataDescription(makePath().get()), "Graph with 3 nodes and 2 edges");

	DerivedGraph derived;
	derived.addNode(nodeAt(0, 0, 0));
	EXPECT_EQ(factory.dataDescription(&derived), "Graph with 1 nodes and 0 edges");
}

TEST(GraphDataAnnotationFactoryTest, OtherDataIsNotItsBusiness)
{
	GraphDataAnnotationFactory factory;
	Data other("Image");
	EXPECT_EQ(factory.dataDescription(&other), "");
	EXPECT_EQ(factory.dataDescription(nullptr), "");
	EXPECT_EQ(factory.cloneData(&other), nullptr);
	EXPECT_EQ(factory.cloneData(nullptr), nullptr);
}

TEST(GraphDataAnnotationFactoryTest, CloneIsAnIndependentEqualCopy)
{
	Graph original(Graph::Type::Directed, Graph::Dimension::TwoD);
	original.getOrCreateNodeFeatureIdx("radius", 1.5);
	original.addNode(nodeAt(0, 1, 2));
	original.addNode(nodeAt(3, 4, 5));
	original.addNode(nodeAt(6, 7, 8));
	original.addEdge(1, 2, Graph::EdgeInfo({2.0}));
	original.addEdge(3, 1, Graph::EdgeInfo({4.0}));
	original.removeNode(3); // the next identifier must still be 4 in the copy

	GraphDataAnnotationFactory factory;
	std::unique_ptr<Data> cloned = factory.cloneData(&original);
	auto* clone = dynamic_cast<Graph*>(cloned.get());
	ASSERT_NE(clone, nullptr);
	ASSERT_NE(clone, &original);

	EXPECT_EQ(clone->type(), Graph::Type::Directed);
	EXPECT_EQ(clone->dimension(), Graph::Dimension::TwoD);
	EXPECT_EQ(clone->maxNodeIdx(), 3u);
	EXPECT_EQ(clone->numNodes(), 2);
	EXPECT_EQ(clone->numEdges(), 1);
	ASSERT_EQ(clone->nodeFeatureDescriptors().size(), 1u);
	EXPECT_EQ(clone->nodeFeatureDescriptors()[0].name, "radius");
	EXPECT_EQ(clone->nodeFeatureDescriptors()[0].defaultValue, 1.5);
	ASSERT_EQ(clone->edgeFeatureDescriptors().size(), original.edgeFeatureDescriptors().size());
	EXPECT_EQ(clone->edgeFeatureDescriptors()[0].name, "diameter");
	EXPECT_EQ(clone->node(2).position(), Eigen::Vector3d(3, 4, 5));
	EXPECT_EQ(clone->node(2).features(), std::vector<double>{1.5});
	ASSERT_TRUE(clone->edge(1, 2).has_value());
	EXPECT_EQ(clone->edge(1, 2)->features(), std::vector<double>{2.0});
	EXPECT_FALSE(clone->edge(2, 1).has_value());

	// Editing either one leaves the other as it was.
	EXPECT_EQ(clone->addNode(nodeAt(9, 9, 9)), 4u);
	clone->removeEdge(1, 2);
	original.editNode(1, [](Graph::NodeInfo& info) { info.position() = Eigen::Vector3d(-1, -1, -1); });
	EXPECT_EQ(original.numNodes(), 2);
	EXPECT_EQ(original.numEdges(), 1);
	EXPECT_EQ(original.maxNodeIdx(), 3u);
	EXPECT_EQ(clone->node(1).position(), Eigen::Vector3d(0, 1, 2));
}
