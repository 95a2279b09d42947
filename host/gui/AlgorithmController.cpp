#include "host/gui/AlgorithmController.h"

#include "host/lib/Algorithm.h"

namespace Quorvale
{
	AlgorithmController::AlgorithmController(Algorithm* algorithm, QWidget* parent)
	    : QWidget(parent)
	    , m_algorithm(algorithm)
	{
	}

	AlgorithmController::~AlgorithmController() = default;

	void AlgorithmController::init() {}

	OwningDataList AlgorithmController::postprocessOutput(OwningDataList output) { return output; }
}
