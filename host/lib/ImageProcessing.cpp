#include "host/lib/ImageProcessing.h"

#include <cstddef>
#include <cstdint>

#include "host/core/ThreadTeam.h"

namespace Quorvale::ImageProcessing
{
	std::unique_ptr<TypedImage<unsigned char>> createThresholded(const MemImage& image, double threshold, int flags)
	{
		if ((flags & ~(StrictlyGreater | OriginalValues)) != 0)
			throw std::invalid_argument("Unsupported thresholding flags " + std::to_string(flags) + " (supported: 1 and 32)");
		const ImageDescriptor& source = image.descriptor();
		ImageDescriptor descriptor(ImageDescriptor::UnsignedChar, source.dimensions(), 1, source.spacing(), source.isMetric());
		auto result = TypedImage<unsigned char>::create(descriptor);
		unsigned char* out = result->pointer();
		const bool strict = (flags & StrictlyGreater) != 0;
		const bool original = (flags & OriginalValues) != 0;
		const auto voxels = static_cast<std::int64_t>(source.size());
		const auto channels = static_cast<std::int64_t>(source.channels());
		const Threading::ThreadTeam team(voxels >= (1 << 15));
		visit(image,
		      [&](const auto& typed)
		      {
			      const auto* in = typed.pointer();
#pragma omp parallel for schedule(static) if (voxels >= (1 << 15)) num_threads(team.size())
			      for (std::int64_t i = 0; i < voxels; ++i)
			      {
				      double value = Detail::toDouble(in[i * channels]);
				      if (original)
					      value = source.storageToOriginal(value);
				      // Comparisons with NaN are false, so NaN stays background.
				      out[i] = (strict ? value > threshold : value >= threshold) ? 1 : 0;
			      }
		      });
		return result;
	}
}
