#include "host/lib/MeshFileContents.h"

#include <limits>

#include <fmt/format.h>

namespace Quorvale
{
	std::string MeshFileContents::placeFault(const Eigen::Vector3d& p)
	{
		if (p.allFinite() && p.cwiseAbs().maxCoeff() <= std::numeric_limits<float>::max())
			return {};
		return fmt::format("lies at ({}, {}, {}), which is not finite as a single-precision number", p.x(), p.y(), p.z());
	}
}
