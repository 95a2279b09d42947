#include "host/lib/MorphologicalOperationsAlgorithm.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "host/core/Log.h"
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
			const Eigen::Vector3i padded = dims + 2 * pad;
			const std::size_t px = static_cast<std::size_t>(padded.x()), py = static_cast<std::size_t>(padded.y());
			std::vector<float> field(px * py * static_cast<std::size_t>(padded.z()));
			const float infinity = std::numeric_limits<float>::infinity();
			const auto r2 = static_cast<float>(radius) * static_cast<float>(radius);
			T* v = image.pointer();
			const ImageDescriptor& d = image.descriptor();
			auto paddedIndex = [&](int x, int y, int z)
			{ return static_cast<std::size_t>(x + pad.x()) + px * (static_cast<std::size_t>(y + pad.y()) + py * static_cast<std::size_t>(z + pad.z())); };

			// Dilation: the voxels within the radius of the object.
			std::fill(field.begin(), field.end(), infinity);
#pragma omp parallel for schedule(static) if (static_cast<std::int64_t>(d.size()) >= kParallelVoxels)
			for (int z = 0; z < dims.z(); ++z)
				for (int y = 0; y < dims.y(); ++y)
					for (int x = 0; x < dims.x(); ++x)
						if (isSet(v[d.index(x, y, z)]))
							field[paddedIndex(x, y, z)] = 0.0f;
			DistanceTransform::computeSquared(field.data(), padded, Eigen::Vector3d::Ones(), false);

			// Erosion of the dilation: the voxels farther than the radius from everything outside it.
			const auto size = static_cast<std::int64_t>(field.size());
#pragma omp parallel for schedule(static) if (size >= kParallelVoxels)
			for (std::int64_t i = 0; i < size; ++i)
				field[static_cast<std::size_t>(i)] = field[static_cast<std::size_t>(i)] <= r2 ? infinity : 0.0f;
			DistanceTransform::computeSquared(field.data(), padded, Eigen::Vector3d::Ones(), true);

#pragma omp parallel for schedule(static) if (static_cast<std::int64_t>(d.size()) >= kParallelVoxels)
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
		if (m_opMode == Closing && m_opSize < 0)
			return fail(InvalidInput, "The closing needs a radius of at least 0 voxels, not " + std::to_string(m_opSize) + ".");

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
				std::unique_ptr<MemImage> result;
				ImageProcessing::visit(*image.mem(),
				                       [&](auto& source)
				                       {
					                       using Typed = std::decay_t<decltype(source)>;
					                       using T = std::decay_t<decltype(*source.pointer())>;
					                       if (m_opMode == Closing)
					                       {
						                       if (m_inPlace)
							                       closeInPlace(source, m_opSize);
						                       else
						                       {
							                       std::unique_ptr<Typed> copy = source.clone();
							                       closeInPlace(*copy, m_opSize);
							                       result = std::move(copy);
						                       }
						                       return;
					                       }
					                       if constexpr (std::is_same_v<T, unsigned char>)
					                       {
						                       if (m_inPlace)
						                       {
							                       Skeletonization::thin(source, m_progress);
							                       return;
						                       }
					                       }
					                       std::unique_ptr<TypedImage<unsigned char>> mask = maskOf(source);
					                       Skeletonization::thin(*mask, m_progress);
					                       if (!m_inPlace)
					                       {
						                       result = std::move(mask);
						                       return;
					                       }
					                       const unsigned char* skeleton = mask->pointer();
					                       T* out = source.pointer();
					                       const auto voxels = static_cast<std::int64_t>(source.descriptor().size());
#pragma omp parallel for schedule(static) if (voxels >= kParallelVoxels)
					                       for (std::int64_t i = 0; i < voxels; ++i)
						                       out[i] = static_cast<T>(skeleton[i]);
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
