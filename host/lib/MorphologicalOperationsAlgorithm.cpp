#include "host/lib/MorphologicalOperationsAlgorithm.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <limits>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "host/core/Log.h"
#include "host/core/MemoryLimit.h"
#include "host/core/Progress.h"
#include "host/lib/DistanceTransform.h"
#include "host/lib/ImageProcessing.h"
#include "host/lib/Skeletonization.h"

namespace Quorvale
{
	namespace
	{
		const std::string kCategory = "MorphologicalOperationsAlgorithm";
		/// Below this many voxels a loop runs on the calling thread.
		constexpr std::int64_t kParallelVoxels = 1 << 15;
		/// Larger closing balls would overflow the padded grid's dimensions long before memory runs out.
		constexpr int kLargestRadius = 1 << 20;

		template <typename T>
		bool isSet(T value)
		{
			if constexpr (std::is_floating_point_v<T>)
				return value != T(0) && !std::isnan(value);
			else
				return value != T(0);
		}

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
#pragma omp parallel for schedule(static) if (parallel)
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
#pragma omp parallel for schedule(static) if (parallel)
			for (std::int64_t i = 0; i < size; ++i)
				field[static_cast<std::size_t>(i)] = field[static_cast<std::size_t>(i)] <= r2 ? infinity : 0.0f;
			DistanceTransform::computeSquared(field.data(), padded, Eigen::Vector3d::Ones(), true);

#pragma omp parallel for schedule(static) if (parallel)
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
#pragma omp parallel for schedule(static) if (voxels >= kParallelVoxels)
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
#pragma omp parallel for schedule(static) if (voxels >= kParallelVoxels)
			for (std::int64_t i = 0; i < voxels; ++i)
				out[i] = static_cast<T>(skeleton[i]);
			return nullptr;
		}

		/// Passes progress on, mapped into the share [from, to] of the whole run.
		class SubProgress : public Progress
		{
		public:
			SubProgress(Progress* target, double from, double to)
			    : m_target(target)
			    , m_from(from)
			    , m_to(to)
			{
			}
			void update(double fraction, const std::string& step) override
			{
				if (m_target)
					m_target->update(m_from + (m_to - m_from) * fraction, step);
			}
			bool isCancelled() const override { return m_target && m_target->isCancelled(); }

		private:
			Progress* m_target;
			double m_from;
			double m_to;
		};
	}

	MorphologicalOperationsAlgorithm::MorphologicalOperationsAlgorithm(SharedImageSet& input)
	    : m_input(input)
	{
	}

	MorphologicalOperationsAlgorithm::~MorphologicalOperationsAlgorithm() = default;

	void MorphologicalOperationsAlgorithm::compute()
	{
		m_output.reset();
		auto fail = [this](int status, const std::string& message)
		{
			Log::log(Log::Error, kCategory, message);
			m_status = status;
		};
		if (m_input.isEmpty())
			return fail(InvalidInput, "The image set holds no image.");
		if (m_opMode != Closing && m_opMode != Skeletonization)
			return fail(InvalidInput, "Morphological operation " + std::to_string(m_opMode) + " is not available; use " +
			                              std::to_string(Closing) + " (closing) or " + std::to_string(Skeletonization) + " (skeleton).");
		if (m_opMode == Closing && (m_opSize < 0 || m_opSize > kLargestRadius))
			return fail(InvalidInput, "The closing needs a radius of 0 to " + std::to_string(kLargestRadius) + " voxels, not " +
			                              std::to_string(m_opSize) + ".");

		std::vector<int> selected;
		for (int i = 0; i < m_input.size(); ++i)
		{
			if (!m_input.selection().isSelected(i))
				continue;
			const ImageDescriptor& d = m_input.get(i)->descriptor();
			if (!ImageDescriptor::isNumericPixelType(d.pixelType()))
				return fail(InvalidInput, "Image " + std::to_string(i) + " of untyped pixel type " + std::to_string(d.pixelType()) +
				                              " has no mask to work on.");
			if (d.channels() != 1)
				return fail(InvalidInput, "Morphological operations need one-channel images; image " + std::to_string(i) + " has " +
				                              std::to_string(d.channels()) + ".");
			selected.push_back(i);
		}

		auto output = m_inPlace ? nullptr : m_input.clone(SharedImageSet::CloneWithoutImages);
		try
		{
			for (std::size_t n = 0; n < selected.size(); ++n)
			{
				SharedImage& image = *m_input.get(selected[n]);
				reportProgress(static_cast<double>(n) / static_cast<double>(selected.size()),
				               m_opMode == Closing ? "Closing" : "Skeletonization");
				SubProgress progress(m_progress, static_cast<double>(n) / static_cast<double>(selected.size()),
				                     static_cast<double>(n + 1) / static_cast<double>(selected.size()));
				std::unique_ptr<MemImage> result =
				    ImageProcessing::visit(*image.mem(),
				                           [&](auto& source)
				                           {
					                           return m_opMode == Closing
					                                      ? closeImage(source, m_opSize, m_inPlace)
					                                      : skeletonImage(source, m_inPlace, m_progress ? &progress : nullptr);
				                           });
				if (m_inPlace)
				{
					image.setDirtyMem();
					continue;
				}
				auto made = std::make_unique<SharedImage>(std::move(result), image.name());
				made->setMatrixToWorld(image.matrixToWorld());
				made->setModality(image.modality());
				output->add(std::move(made));
			}
		}
		catch (const std::exception& e)
		{
			return fail(Error, std::string("Morphological operation failed: ") + e.what());
		}
		reportProgress(1.0);
		m_output = std::move(output);
		m_status = Success;
	}

	OwningDataList MorphologicalOperationsAlgorithm::takeOutput()
	{
		OwningDataList out;
		out.add(std::move(m_output));
		return out;
	}
}
