#pragma once

#include "host/gui/DefaultAlgorithmController.h"

namespace Quorvale
{
	class TransferGraphFeatureToMeshAlgorithm;

	/// The panel of `TransferGraphFeatureToMeshAlgorithm`: its parameters and a Compute button.
	class TransferGraphFeatureToMeshController : public DefaultAlgorithmController
	{
		Q_OBJECT

	public:
		explicit TransferGraphFeatureToMeshController(TransferGraphFeatureToMeshAlgorithm* algorithm);
		~TransferGraphFeatureToMeshController() override;

		void init() override;

	public slots:
		void onCompute() override;
	};
}
