#include "src/gui/TransferGraphFeatureToMeshController.h"

#include "src/algorithms/TransferGraphFeatureToMeshAlgorithm.h"

namespace Quorvale
{
	TransferGraphFeatureToMeshController::TransferGraphFeatureToMeshController(TransferGraphFeatureToMeshAlgorithm* algorithm)
	    : DefaultAlgorithmController(algorithm, std::string(), false, false)
	{
	}

	TransferGraphFeatureToMeshController::~TransferGraphFeatureToMeshController() = default;

	void TransferGraphFeatureToMeshController::init() { DefaultAlgorithmController::init(); }

	void TransferGraphFeatureToMeshController::onCompute() { DefaultAlgorithmController::onCompute(); }
}
