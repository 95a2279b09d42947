#include "host/lib/ImageMath/Argmax.h"

#include <stdexcept>
#include <string>

namespace Quorvale::ImageMath::internal
{
	void vec4argmax(std::vector<Eigen::Vector4d>& best, const std::vector<Eigen::Vector4d>& candidates)
	{
		if (best.size() != candidates.size())
			throw std::invalid_argument("vec4argmax needs as many candidates (" + std::to_string(candidates.size()) + ") as best values (" +
			                            std::to_string(best.size()) + ")");
		for (std::size_t i = 0; i < best.size(); ++i)
			if (candidates[i][3] > best[i][3])
				best[i] = candidates[i];
	}
}
