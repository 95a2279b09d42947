#include "host/lib/GlGradient.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "host/core/ThreadTeam.h"
#include "host/lib/ImageProcessing.h"
#include "host/lib/SharedImage.h"

namespace Quorvale
{
	GlGradient::GlGradient(GlFramebuffer*) {}

	void GlGradient::compute(const SharedImage& input, SharedImage& output) const
	{
		const ImageDescriptor& in = input.descriptor();
		const ImageDescriptor& out = output.descriptor();
		auto* gradient = dynamic_cast<TypedImage<float>*>(output.mem());
		if (!gradient || out.channels() != 3 || out.dimensions() != in.dimensions())
			throw std::invalid_argument("The gradient needs a three-channel float output of the input's dimensions " +
			                            std::to_string(in.dimensions().x()) + "x" + std::to_string(in.dimensions().y()) + "x" +
			                            std::to_string(in.dimensions().z()));
		const Eigen::Vector3i dims = in.dimensions();
		const auto channels = static_cast<std::size_t>(in.channels());
		float* g = gradient->pointer();
		const Threading::ThreadTeam team(in.size() >= (1u << 15));
		ImageProcessing::visit(*input.mem(),
		                       [&](const auto& typed)
		                       {
			                       const auto* v = typed.pointer();
			                       auto value = [&](int x, int y, int z)
			                       { return in.storageToOriginal(ImageProcessing::Detail::toDouble(v[in.index(x, y, z) * channels])); };
#pragma omp parallel for schedule(static) if (in.size() >= (1u << 15)) num_threads(team.size())
			                       for (std::int64_t row = 0; row < static_cast<std::int64_t>(dims.y()) * dims.z(); ++row)
			                       {
				                       const int y = static_cast<int>(row % dims.y()), z = static_cast<int>(row / dims.y());
				                       const int y0 = std::max(y - 1, 0), y1 = std::min(y + 1, dims.y() - 1);
				                       const int z0 = std::max(z - 1, 0), z1 = std::min(z + 1, dims.z() - 1);
				                       for (int x = 0; x < dims.x(); ++x)
				                       {
					                       const int x0 = std::max(x - 1, 0), x1 = std::min(x + 1, dims.x() - 1);
					                       float* p = g + in.index(x, y, z) * 3;
					                       p[0] = static_cast<float>(0.5 * (value(x1, y, z) - value(x0, y, z)));
					                       p[1] = static_cast<float>(0.5 * (value(x, y1, z) - value(x, y0, z)));
					                       p[2] = static_cast<float>(0.5 * (value(x, y, z1) - value(x, y, z0)));
				                       }
			                       }
		                       });
		output.setDirtyMem();
	}
}
