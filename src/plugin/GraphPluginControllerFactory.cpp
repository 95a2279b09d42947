#include "src/plugin/GraphPluginControllerFactory.h"

#include "host/gui/DefaultAlgorithmController.h"
#include "host/gui/IoController.h"
#include "src/algorithms/CombineGraphsAlgorithm.h"
#include "src/algorithms/ComputeCommonGraphFeaturesAlgorithm.h"
#include "src/algorithms/EvaluateGraphAtImageAlgorithm.h"
#include "src/algorithms/GraphReindexingAlgorithm.h"
#include "src/algorithms/GraphSmoothingAlgorithm.h"
#include "src/algorithms/MinimumSpanningTreeAlgorithm.h"
#include "src/algorithms/NodeToEdgeFeatureAlgorithm.h"
#include "src/algorithms/PartitionGraphsAlgorithm.h"
#include "src/algorithms/PruneTerminalPathsAlgorithm.h"
#include "src/algorithms/TransferGraphFeatureToMeshAlgorithm.h"
#include "src/imaging/CenterlineGraphExtractionAlgorithm.h"
#include "src/gui/DrawGraphAlgorithm.h"
#include "src/gui/DrawGraphController.h"
#include "src/gui/GraphDataController.h"
#include "src/gui/TransferGraphFeatureToMeshController.h"
#include "src/imaging/GraphToLabelMapAlgorithm.h"
#include "src/io/GraphMLIoAlgorithm.h"

namespace Quorvale
{
	namespace
	{
		template <typename T>
		bool is(Algorithm* algorithm)
		{
			return dynamic_cast<T*>(algorithm) != nullptr;
		}

		AlgorithmController* defaultPanel(Algorithm* algorithm, bool firstFlag)
		{
			return new DefaultAlgorithmController(algorithm, std::string(), firstFlag, false);
		}
	}

	GraphPluginControllerFactory::GraphPluginControllerFactory()
		: AlgorithmControllerFactory("Graph")
	{
		registerDataController<GraphDataController>("Graph;Graph Display");
	}

	GraphPluginControllerFactory::~GraphPluginControllerFactory() = default;

	AlgorithmController* GraphPluginControllerFactory::create(Algorithm* algorithm) const
	{
		if (!algorithm)
			return nullptr;
		// The first matching type decides; the order is that of the menu's panel table.
		if (is<CenterlineGraphExtractionAlgorithm>(algorithm))
			return defaultPanel(algorithm, false);
		if (is<CombineGraphsAlgorithm>(algorithm))
			return defaultPanel(algorithm, false);
		if (is<ComputeCommonGraphFeaturesAlgorithm>(algorithm))
			return defaultPanel(algorithm, true);
		if (is<GraphSmoothingAlgorithm>(algorithm))
			return defaultPanel(algorithm, false);
		if (is<PartitionGraphsAlgorithm>(algorithm))
			return defaultPanel(algorithm, false);
		if (is<MinimumSpanningTreeAlgorithm>(algorithm))
			return defaultPanel(algorithm, true);
		if (is<NodeToEdgeFeatureAlgorithm>(algorithm))
			return defaultPanel(algorithm, false);
		if (is<PruneTerminalPathsAlgorithm>(algorithm))
			return defaultPanel(algorithm, false);
		if (is<GraphReindexingAlgorithm>(algorithm))
			return defaultPanel(algorithm, false);
		if (is<DrawGraphAlgorithm>(algorithm))
			return new DrawGraphController(static_cast<DrawGraphAlgorithm*>(algorithm));
		if (is<EvaluateGraphAtImageAlgorithm>(algorithm))
			return defaultPanel(algorithm, false);
		if (is<GraphMLIoAlgorithm>(algorithm))
			return new IoController(static_cast<GraphMLIoAlgorithm*>(algorithm), true, false);
		if (is<TransferGraphFeatureToMeshAlgorithm>(algorithm))
			return new TransferGraphFeatureToMeshController(static_cast<TransferGraphFeatureToMeshAlgorithm*>(algorithm));
		if (is<GraphToLabelMapAlgorithm>(algorithm))
			return defaultPanel(algorithm, true);
		return nullptr;
	}
}
