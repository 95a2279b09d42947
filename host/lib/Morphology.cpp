#include "host/lib/Morphology.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "host/core/MemoryLimit.h"
#include "host/core/ThreadTeam.h"
#include "host/lib/DistanceTransform.h"
#include "host/lib/ImageProcessing.h"
#include "host/lib/Skeletonization.h"

namespace Quorvale::Morphology
{
	namespace
	{
		/// Below this many voxels a loop runs on the calling thread.
		constexpr std::int64_t kParallelVoxels = 1 << 15;

		template <typename T>
		bool isSet(T value)
		{
			if constexpr (std::is_floating_point_v<T>)
				return value != T(0) && !std::isnan(value);
			else
				return value != T(0);
		}

		/// True when the work on `image` is shared among threads: one team for the whole operation.
		bool isLarge(const MemImage& image) { return static_cast<std::int64_t>(image.descriptor().size()) >= kParallelVoxels; }

		/// Closes the non-zero voxels of `image` with a ball of `radius` voxels, writing 1 into the
		/// voxels it adds. The grid is padded by the radius (not along z of a 2-D image), so that the
		/// dilation may reach beyond the border and the erosion treats the outside as background.
		template <typename T>
		void closeInPlace(TypedImage<T>& image, int radius)
		{
			if (radius == 0)
				return;
			const Eigen::Vector3i dims = image.descriptor().dimensions();
			const Eigen::Vector3i pad(radius, radius, dims.z() > 1 ? radius : 0);
			// Sizes in 64 bits: the padded grid must be checked before it can overflow an int.
			const Eigen::Matrix<std::int64_t, 3, 1> paddedWide = dims.cast<std::int64_t>() + 2 * pad.cast<std::int64_t>();
			if ((paddedWide.array() > std::numeric_limits<int>::max()).any())
				throw std::length_error("the closing grid padded by " + std::to_string(radius) + " voxels is too large");
			MemoryLimit::require(paddedWide.cast<double>().prod() * static_cast<double>(sizeof(float)),
			                     "The closing with a radius of " + std::to_string(radius) + " voxels");
			const Eigen::Vector3i padded = paddedWide.cast<int>();
			const std::size_t px = static_cast<std::size_t>(padded.x()), py = static_cast<std::size_t>(padded.y());
			std::vector<float> field(px * py * static_cast<std::size_t>(padded.z()));
			const float infinity = std::numeric_limits<float>::infinity();
			const auto r2 = static_cast<float>(radius) * static_cast<float>(radius);
			T* v = image.pointer();
			const ImageDescriptor& d = image.descriptor();
			auto paddedIndex = [&](int x, int y, int z)
			{
				return static_cast<std::size_t>(x + pad.x()) +
				       px * (static_cast<std::size_t>(y + pad.y()) + py * static_cast<std::size_t>(z + pad.z()));
			};

			// Dilation: the voxels within the radius of the object.
			const auto paddedRows = static_cast<std::int64_t>(py) * padded.z();
			const bool parallel = paddedRows * padded.x() >= kParallelVoxels;
			const Threading::ThreadTeam team(parallel);
#pragma omp parallel for schedule(static) if (parallel) num_threads(team.size())
			for (std::int64_t row = 0; row < paddedRows; ++row)
			{
				const int y = static_cast<int>(row % padded.y()) - pad.y(), z = static_cast<int>(row / padded.y()) - pad.z();
				float* out = field.data() + static_cast<std::size_t>(row) * px;
				const bool inside = y >= 0 && z >= 0 && y < dims.y() && z < dims.z();
				for (int x = -pad.x(); x < dims.x() + pad.x(); ++x)
					out[x + pad.x()] = inside && x >= 0 && x < dims.x() && isSet(v[d.index(x, y, z)]) ? 0.0f : infinity;
			}
			DistanceTransform::computeSquared(field.data(), padded, Eigen::Vector3d::Ones(), false);

			// Erosion of the dilation: the voxels farther than the radius from everything outside it.
			const auto size = static_cast<std::int64_t>(field.size());
#pragma omp parallel for schedule(static) if (parallel) num_threads(team.size())
			for (std::int64_t i = 0; i < size; ++i)
				field[static_cast<std::size_t>(i)] = field[static_cast<std::size_t>(i)] <= r2 ? infinity : 0.0f;
			DistanceTransform::computeSquared(field.data(), padded, Eigen::Vector3d::Ones(), true);

#pragma omp parallel for schedule(static) if (parallel) num_threads(team.size())
			for (int z = 0; z < dims.z(); ++z)
				for (int y = 0; y < dims.y(); ++y)
					for (int x = 0; x < dims.x(); ++x)
					{
						T& value = v[d.index(x, y, z)];
						if (!isSet(value) && field[paddedIndex(x, y, z)] > r2)
							value = T(1);
					}
		}

		/// 1 where the image is non-zero, as a new unsigned 8-bit image of the same grid and spacing.
		template <typename T>
		std::unique_ptr<TypedImage<unsigned char>> maskOf(const TypedImage<T>& image)
		{
			const ImageDescriptor& d = image.descriptor();
			auto mask = TypedImage<unsigned char>::create(
			    ImageDescriptor(ImageDescriptor::UnsignedChar, d.dimensions(), 1, d.spacing(), d.isMetric()));
			const T* in = image.pointer();
			unsigned char* out = mask->pointer();
			const auto voxels = static_cast<std::int64_t>(d.size());
			const Threading::ThreadTeam team(voxels >= kParallelVoxels);
#pragma omp parallel for schedule(static) if (voxels >= kParallelVoxels) num_threads(team.size())
			for (std::int64_t i = 0; i < voxels; ++i)
				out[i] = isSet(in[i]) ? 1 : 0;
			return mask;
		}

		/// The closed image: `image` itself (and null returned) in place, else a closed copy.
		template <typename T>
		std::unique_ptr<MemImage> closeImage(TypedImage<T>& image, int radius, bool inPlace)
		{
			if (inPlace)
			{
				closeInPlace(image, radius);
				return nullptr;
			}
			std::unique_ptr<TypedImage<T>> copy = image.clone();
			closeInPlace(*copy, radius);
			return copy;
		}

		/// The skeleton: written into `image` as 0 and 1 (and null returned) in place, else a new
		/// unsigned 8-bit image.
		template <typename T>
		std::unique_ptr<MemImage> skeletonImage(TypedImage<T>& image, bool inPlace, Progress* progress)
		{
			if constexpr (std::is_same_v<T, unsigned char>)
			{
				if (inPlace)
				{
					Skeletonization::thin(image, progress);
					return nullptr;
				}
			}
			std::unique_ptr<TypedImage<unsigned char>> mask = maskOf(image);
			Skeletonization::thin(*mask, progress);
			if (!inPlace)
				return mask;
			const unsigned char* skeleton = mask->pointer();
			T* out = image.pointer();
			const auto voxels = static_cast<std::int64_t>(image.descriptor().size());
			const Threading::ThreadTeam team(voxels >= kParallelVoxels);
#pragma omp parallel for schedule(static) if (voxels >= kParallelVoxels) num_threads(team.size())
			for (std::int64_t i = 0; i < voxels; ++i)
				out[i] = static_cast<T>(skeleton[i]);
			return nullptr;
		}
	}

	std::unique_ptr<MemImage> close(MemImage& image, int radius, bool inPlace)
	{
		const Threading::ThreadTeam team(isLarge(image));
		return ImageProcessing::visit(image, [&](auto& source) { return closeImage(source, radius, inPlace); });
	}

	std::unique_ptr<MemImage> skeleton(MemImage& image, bool inPlace, Progress* progress)
	{
		const Threading::ThreadTeam team(isLarge(image));
		return ImageProcessing::visit(image, [&](auto& source) { return skeletonImage(source, inPlace, progress); });
	}
}
