#include "src/plugin/GraphPluginControllerFactory.h"
#include "src/plugin/GraphPluginFactory.h"

#include "host/core/Log.h"
#include "host/gui/DefaultAlgorithmController.h"
#include "host/gui/IoController.h"
#include "host/lib/AlgorithmFactory.h"
#include "host/lib/IoAlgorithm.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "src/graph/Graph.h"
#include "host/lib/Mesh.h"
#include "src/gui/TransferGraphFeatureToMeshController.h"
#include "src/io/GraphMLIoAlgorithm.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace Quorvale;

namespace
{
	// The menu of the graph algorithms: identifier, menu name, first panel flag (null: no panel).
	struct MenuEntry
	{
		const char* id;
		const char* menuName;
	};
	const std::vector<MenuEntry> kMenu = {
		{"CenterlineGraphExtraction", "Graph;Centerline Graph Extraction"},
		{"CombineGraphs", "Graph;Combine Graphs"},
		{"ComputeFeatures", "Graph;Compute Features"},
		{"PartitionGraphs", "Graph;Partition Graphs"},
		{"GraphSmoothing", "Graph;Graph Smoothing"},
		{"GraphToPointCloud", "Graph;Extract Point Cloud"},
		{"GraphReindexing", "Graph;Reindex Graph"},
		{"MinimumSpanningTree", "Graph;Minimum Spanning Tree"},
		{"NodeToEdgeFeature", "Graph;Node To Edge Feature"},
		{"PruneTerminalPaths", "Graph;Prune Terminal Paths"},
		{"DrawGraphAlgorithm", "Graph;Draw or edit Graph"},
		{"EvaluateGraphAtImage", "Graph;Evaluate Graph At Image"},
		{"GraphMLIo", "IO;Graph (graphml)"},
		{"TransferGraphFeatureToMeshAlgorithm", "Graph;Transfer Graph Feature To Mesh"},
		{"GraphToLabelMapAlgorithm", "Graph;Graph To Label Map"},
	};

	class Unrelated : public Algorithm
	{
	public:
		void compute() override {}
	};
}

TEST(GraphPluginFactoryTest, RegisteredAlgorithmsFollowTheMenuOrder)
{
	GraphPluginFactory factory;
	const auto descriptors = factory.algorithmDescriptors();
	ASSERT_FALSE(descriptors.empty());
	size_t menuIndex = 0;
	for (const auto* d : descriptors)
	{
		while (menuIndex < kMenu.size() && "Graph." + std::string(kMenu[menuIndex].id) != d->id)
			++menuIndex;
		ASSERT_LT(menuIndex, kMenu.size()) << d->id << " is not in the menu, or out of order";
		EXPECT_EQ(d->name, kMenu[menuIndex].menuName);
		EXPECT_EQ(d->isIo, d->id == "Graph.GraphMLIo") << d->id;
		EXPECT_EQ(d->flags, 0u);
	}
}

TEST(GraphPluginFactoryTest, GraphMLCreatorAppliesTheGlobalSettingsAndNamesTheEntry)
{
	GraphPluginFactory factory;
	IoAlgorithm::globalSettings().setParam("exportFeatures", false);
	auto reader = factory.instantiateAlgorithm("Graph.GraphMLIo", DataList());
	IoAlgorithm::globalSettings().clear();
	ASSERT_TRUE(reader);
	EXPECT_EQ(reader->factoryInfo().id, "Graph.GraphMLIo");
	EXPECT_EQ(reader->factoryInfo().name, "Graph (graphml)");
	Properties settings;
	reader->configuration(settings);
	EXPECT_EQ(settings.param<bool>("exportFeatures"), false);

	Graph graph;
	auto writer = factory.instantiateAlgorithm("Graph.GraphMLIo", DataList{&graph});
	ASSERT_TRUE(writer);
	EXPECT_EQ(static_cast<IoAlgorithm*>(writer.get())->ioMode(), IoAlgorithm::IoMode::Write);
}

TEST(GraphPluginFactoryTest, OtherCreatorsLeaveTheGlobalSettingsAlone)
{
	GraphPluginFactory factory;
	Graph graph;
	IoAlgorithm::globalSettings().setParam("minComponentSize", 9);
	auto partition = factory.instantiateAlgorithm("Graph.PartitionGraphs", DataList{&graph});
	IoAlgorithm::globalSettings().clear();
	ASSERT_TRUE(partition);
	Properties settings;
	partition->configuration(settings);
	EXPECT_EQ(settings.param<int>("minComponentSize"), 1);
	EXPECT_EQ(partition->factoryInfo().name, "Partition Graphs");
}

TEST(GraphPluginFactoryTest, SecondRegistrationWarnsOnceAndKeepsTheFirst)
{
	class Extended : public GraphPluginFactory
	{
	public:
		Extended() { registerAlgorithm<GraphMLIoAlgorithm>("PartitionGraphs", "Other;Menu"); }
	};
	Log::ScopedCapture log;
	Extended factory;
	EXPECT_EQ(factory.algorithmDescriptors().size(), GraphPluginFactory().algorithmDescriptors().size());
	EXPECT_EQ(factory.algorithmDescriptor("Graph.PartitionGraphs")->name, "Graph;Partition Graphs");
	EXPECT_EQ(log.sink().messages(Log::Warning), std::vector<std::string>{"Algorithm already registered: Graph.PartitionGraphs"});
}

TEST(GraphPluginControllerFactoryTest, PanelsFollowTheAlgorithmClass)
{
	GraphPluginControllerFactory panels;
	GraphPluginFactory factory;
	EXPECT_EQ(panels.create(nullptr), nullptr);
	Unrelated unrelated;
	EXPECT_EQ(panels.create(&unrelated), nullptr);

	auto reader = factory.instantiateAlgorithm("Graph.GraphMLIo", DataList());
	std::unique_ptr<AlgorithmController> io(panels.create(reader.get()));
	auto* ioPanel = dynamic_cast<IoController*>(io.get());
	ASSERT_NE(ioPanel, nullptr);
	EXPECT_TRUE(ioPanel->firstFlag());
	EXPECT_FALSE(ioPanel->secondFlag());

	Graph graph, other;
	SharedImageSet labels(std::make_unique<SharedImage>(TypedImage<unsigned char>::create({4, 4, 4})));
	for (const char* id : {"Graph.CenterlineGraphExtraction", "Graph.PartitionGraphs", "Graph.CombineGraphs", "Graph.GraphReindexing",
						   "Graph.NodeToEdgeFeature", "Graph.ComputeFeatures", "Graph.GraphSmoothing", "Graph.MinimumSpanningTree",
						   "Graph.PruneTerminalPaths", "Graph.EvaluateGraphAtImage",
						   "Graph.GraphToLabelMapAlgorithm"})
	{
		// The extraction takes a label image, combination several graphs, the evaluation a graph and an image, the others one.
		const DataList selection = std::string(id) == "Graph.CenterlineGraphExtraction" ? DataList{&labels}
		                           : std::string(id) == "Graph.CombineGraphs"           ? DataList{&graph, &other}
		                           : std::string(id) == "Graph.EvaluateGraphAtImage"    ? DataList{&graph, &labels}
		                                                                                : DataList{&graph};
		auto algorithm = factory.instantiateAlgorithm(id, selection);
		ASSERT_TRUE(algorithm) << id;
		std::unique_ptr<AlgorithmController> panel(panels.create(algorithm.get()));
		auto* defaultPanel = dynamic_cast<DefaultAlgorithmController*>(panel.get());
		ASSERT_NE(defaultPanel, nullptr) << id;
		// The feature and spanning-tree panels differ in their first flag.
		const bool first = std::string(id) == "Graph.ComputeFeatures" || std::string(id) == "Graph.MinimumSpanningTree" ||
		                   std::string(id) == "Graph.GraphToLabelMapAlgorithm";
		EXPECT_EQ(defaultPanel->firstFlag(), first) << id;
		EXPECT_FALSE(defaultPanel->secondFlag()) << id;
		EXPECT_EQ(defaultPanel->title(), "");
	}

	// The transfer onto a mesh has a panel of its own; the point-cloud extraction none.
	Mesh mesh;
	auto transfer = factory.instantiateAlgorithm("Graph.TransferGraphFeatureToMeshAlgorithm", DataList{&mesh, &graph});
	ASSERT_TRUE(transfer);
	std::unique_ptr<AlgorithmController> transferPanel(panels.create(transfer.get()));
	EXPECT_NE(dynamic_cast<TransferGraphFeatureToMeshController*>(transferPanel.get()), nullptr);
	auto extraction = factory.instantiateAlgorithm("Graph.GraphToPointCloud", DataList{&graph});
	ASSERT_TRUE(extraction);
	EXPECT_EQ(panels.create(extraction.get()), nullptr);
}
