#include "src/plugin/GraphPluginFactory.h"

#include "src/algorithms/CombineGraphsAlgorithm.h"
#include "src/algorithms/ComputeCommonGraphFeaturesAlgorithm.h"
#include "src/algorithms/EvaluateGraphAtImageAlgorithm.h"
#include "src/algorithms/GraphReindexingAlgorithm.h"
#include "src/algorithms/GraphSmoothingAlgorithm.h"
#include "src/algorithms/GraphToPointCloudAlgorithm.h"
#include "src/algorithms/MinimumSpanningTreeAlgorithm.h"
#include "src/algorithms/NodeToEdgeFeatureAlgorithm.h"
#include "src/algorithms/PartitionGraphsAlgorithm.h"
#include "src/algorithms/PruneTerminalPathsAlgorithm.h"
#include "src/algorithms/TransferGraphFeatureToMeshAlgorithm.h"
#include "src/gui/DrawGraphAlgorithm.h"
#include "src/imaging/CenterlineGraphExtractionAlgorithm.h"
#include "src/imaging/GraphToLabelMapAlgorithm.h"
#include "src/io/GraphMLIoAlgorithm.h"

namespace Quorvale
{
	GraphPluginFactory::GraphPluginFactory()
		: AlgorithmFactory("Graph")
	{
		// Menu order.
		registerAlgorithm<CenterlineGraphExtractionAlgorithm>("CenterlineGraphExtraction", "Graph;Centerline Graph Extraction");
		registerAlgorithm<CombineGraphsAlgorithm>("CombineGraphs", "Graph;Combine Graphs");
		registerAlgorithm<ComputeCommonGraphFeaturesAlgorithm>("ComputeFeatures", "Graph;Compute Features");
		registerAlgorithm<PartitionGraphsAlgorithm>("PartitionGraphs", "Graph;Partition Graphs");
		registerAlgorithm<GraphSmoothingAlgorithm>("GraphSmoothing", "Graph;Graph Smoothing");
		registerAlgorithm<GraphToPointCloudAlgorithm>("GraphToPointCloud", "Graph;Extract Point Cloud");
		registerAlgorithm<GraphReindexingAlgorithm>("GraphReindexing", "Graph;Reindex Graph");
		registerAlgorithm<MinimumSpanningTreeAlgorithm>("MinimumSpanningTree", "Graph;Minimum Spanning Tree");
		registerAlgorithm<NodeToEdgeFeatureAlgorithm>("NodeToEdgeFeature", "Graph;Node To Edge Feature");
		registerAlgorithm<PruneTerminalPathsAlgorithm>("PruneTerminalPaths", "Graph;Prune Terminal Paths");
		registerAlgorithm<DrawGraphAlgorithm>("DrawGraphAlgorithm", "Graph;Draw or edit Graph");
		registerAlgorithm<EvaluateGraphAtImageAlgorithm>("EvaluateGraphAtImage", "Graph;Evaluate Graph At Image");
		registerAlgorithm<GraphMLIoAlgorithm>("GraphMLIo", "IO;Graph (graphml)");
		registerAlgorithm<TransferGraphFeatureToMeshAlgorithm>("TransferGraphFeatureToMeshAlgorithm", "Graph;Transfer Graph Feature To Mesh");
		registerAlgorithm<GraphToLabelMapAlgorithm>("GraphToLabelMapAlgorithm", "Graph;Graph To Label Map");
	}

	GraphPluginFactory::~GraphPluginFactory() = default;
}
