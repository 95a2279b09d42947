#include "src/imaging/GraphToLabelMapAlgorithm.h"

namespace Quorvale
{
	bool GraphToLabelMapAlgorithm::gpuAvailable() { return false; }

	bool GraphToLabelMapAlgorithm::computeGPU(const std::vector<Eigen::Vector4f>&, const std::vector<Eigen::Vector2i>&, const std::vector<float>&,
	                                          const ImageDescriptorWorld&, int, const Eigen::Vector3d&, float)
	{
		return false;
	}
}
