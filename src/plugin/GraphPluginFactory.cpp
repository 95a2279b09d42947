#include "src/plugin/GraphPluginFactory.h"

#include "src/algorithms/CombineGraphsAlgorithm.h"
#include "src/algorithms/GraphReindexingAlgorithm.h"
#include "src/algorithms/NodeToEdgeFeatureAlgorithm.h"
#include "src/algorithms/PartitionGraphsAlgorithm.h"
#include "src/io/GraphMLIoAlgorithm.h"

namespace Quorvale
{
	GraphPluginFactory::GraphPluginFactory()
		: AlgorithmFactory("Graph")
	{
		// Menu order.
		registerAlgorithm<CombineGraphsAlgorithm>("CombineGraphs", "Graph;Combine Graphs");
		registerAlgorithm<PartitionGraphsAlgorithm>("PartitionGraphs", "Graph;Partition Graphs");
		registerAlgorithm<GraphReindexingAlgorithm>("GraphReindexing", "Graph;Reindex Graph");
		registerAlgorithm<NodeToEdgeFeatureAlgorithm>("NodeToEdgeFeature", "Graph;Node To Edge Feature");
		registerAlgorithm<GraphMLIoAlgorithm>("GraphMLIo", "IO;Graph (graphml)");
	}

	GraphPluginFactory::~GraphPluginFactory() = default;
}
