#include "host/lib/ImageResamplingAlgorithm.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <type_traits>

#include <Eigen/LU>

#include "host/core/Log.h"
#include "host/lib/ImageProcessing.h"

namespace Quorvale
{
	namespace
	{
		const std::string kCategory = "ImageResamplingAlgorithm";
		/// Cells closer than this (in source voxels) merely touch: grids whose cell borders
		/// coincide must not pick up the neighbouring voxel through rounding.
		constexpr double kTouch = 1e-6;
		/// Below this many output elements of a step the step runs on the calling thread.
		constexpr std::size_t kParallelElements = 1 << 15;

		/// The inclusive index range of the source voxels whose cells overlap [a, b] on an axis of n
		/// voxels; empty when lo > hi.
		struct Range
		{
			int lo = 0;
			int hi = -1;
			bool isEmpty() const { return lo > hi; }
		};

		Range overlapping(double a, double b, int n)
		{
			// Clamped first so that far-away cells cannot overflow the conversion.
			a = std::clamp(a, -2.0, n + 2.0);
			b = std::clamp(b, -2.0, n + 2.0);
			Range r;
			r.lo = std::max(static_cast<int>(std::floor(a - 0.5 + kTouch)) + 1, 0);
			r.hi = std::min(static_cast<int>(std::ceil(b + 0.5 - kTouch)) - 1, n - 1);
			return r;
		}

		/// Keeps the larger value; NaN gives way to any number.
		template <typename T>
		void keepMax(T& current, T value)
		{
			if constexpr (std::is_floating_point_v<T>)
			{
				if (value > current || std::isnan(current))
					current = value;
			}
			else if (value > current)
				current = value;
		}

		bool isAxisAligned(const Eigen::Matrix4d& m)
		{
			for (int r = 0; r < 3; ++r)
			{
				const double scale = m.block<1, 3>(r, 0).cwiseAbs().maxCoeff();
				if (!(scale > 0.0))
					return false;
				for (int c = 0; c < 3; ++c)
					if (c != r && std::abs(m(r, c)) > 1e-9 * scale)
						return false;
			}
			return true;
		}

		/// Axis by axis: x, then y, then z, each over the source range the target needs.
		template <typename T>
		void resampleSeparable(const TypedImage<T>& source, TypedImage<T>& target, const Eigen::Matrix4d& targetToSource)
		{
			const Eigen::Vector3i sd = source.descriptor().dimensions();
			const Eigen::Vector3i td = target.descriptor().dimensions();
			const auto c = static_cast<std::size_t>(source.descriptor().channels());
			std::array<std::vector<Range>, 3> ranges;
			Eigen::Vector3i first, last; // source range needed per axis
			for (int a = 0; a < 3; ++a)
			{
				ranges[a].resize(static_cast<std::size_t>(td[a]));
				first[a] = sd[a];
				last[a] = -1;
				const double scale = targetToSource(a, a), shift = targetToSource(a, 3);
				for (int t = 0; t < td[a]; ++t)
				{
					const double s0 = scale * (t - 0.5) + shift, s1 = scale * (t + 0.5) + shift;
					Range& r = ranges[a][static_cast<std::size_t>(t)];
					r = overlapping(std::min(s0, s1), std::max(s0, s1), sd[a]);
					if (!r.isEmpty())
					{
						first[a] = std::min(first[a], r.lo);
						last[a] = std::max(last[a], r.hi);
					}
				}
			}
			T* out = target.pointer();
			if ((last.array() < first.array()).any())
			{
				std::fill(out, out + target.descriptor().size() * c, T(0));
				return;
			}
			const T* in = source.pointer();
			const std::size_t ny = static_cast<std::size_t>(last.y() - first.y() + 1);
			const std::size_t nz = static_cast<std::size_t>(last.z() - first.z() + 1);
			const std::size_t tx = static_cast<std::size_t>(td.x()), ty = static_cast<std::size_t>(td.y());

			// Along x: (tx, ny, nz) from the needed rows of the source.
			std::vector<T> alongX(tx * ny * nz * c);
#pragma omp parallel for schedule(static) if (alongX.size() >= kParallelElements)
			for (std::int64_t row = 0; row < static_cast<std::int64_t>(ny * nz); ++row)
			{
				const std::size_t y = static_cast<std::size_t>(row) % ny, z = static_cast<std::size_t>(row) / ny;
				const T* src = in + source.descriptor().index(0, static_cast<int>(y) + first.y(), static_cast<int>(z) + first.z()) * c;
				T* dst = alongX.data() + static_cast<std::size_t>(row) * tx * c;
				for (std::size_t t = 0; t < tx; ++t)
				{
					const Range r = ranges[0][t];
					for (std::size_t ch = 0; ch < c; ++ch)
					{
						if (r.isEmpty())
						{
							dst[t * c + ch] = T(0);
							continue;
						}
						T m = src[static_cast<std::size_t>(r.lo) * c + ch];
						for (int i = r.lo + 1; i <= r.hi; ++i)
							keepMax(m, src[static_cast<std::size_t>(i) * c + ch]);
						dst[t * c + ch] = m;
					}
				}
			}

			// Along y: (tx, ty, nz).
			const std::size_t rowLength = tx * c;
			std::vector<T> alongY(rowLength * ty * nz);
#pragma omp parallel for schedule(static) if (alongY.size() >= kParallelElements)
			for (std::int64_t task = 0; task < static_cast<std::int64_t>(ty * nz); ++task)
			{
				const std::size_t u = static_cast<std::size_t>(task) % ty, z = static_cast<std::size_t>(task) / ty;
				const Range r = ranges[1][u];
				T* dst = alongY.data() + (z * ty + u) * rowLength;
				if (r.isEmpty())
				{
					std::fill(dst, dst + rowLength, T(0));
					continue;
				}
				const T* src = alongX.data() + z * ny * rowLength;
				std::copy_n(src + static_cast<std::size_t>(r.lo - first.y()) * rowLength, rowLength, dst);
				for (int j = r.lo + 1; j <= r.hi; ++j)
				{
					const T* line = src + static_cast<std::size_t>(j - first.y()) * rowLength;
					for (std::size_t k = 0; k < rowLength; ++k)
						keepMax(dst[k], line[k]);
				}
			}
			alongX = std::vector<T>();

			// Along z: the output.
#pragma omp parallel for schedule(static) if (target.descriptor().size() * c >= kParallelElements)
			for (std::int64_t task = 0; task < static_cast<std::int64_t>(ty) * td.z(); ++task)
			{
				const std::size_t u = static_cast<std::size_t>(task) % ty, v = static_cast<std::size_t>(task) / ty;
				const Range r = ranges[2][v];
				T* dst = out + (v * ty + u) * rowLength;
				if (r.isEmpty())
				{
					std::fill(dst, dst + rowLength, T(0));
					continue;
				}
				std::copy_n(alongY.data() + (static_cast<std::size_t>(r.lo - first.z()) * ty + u) * rowLength, rowLength, dst);
				for (int k = r.lo + 1; k <= r.hi; ++k)
				{
					const T* line = alongY.data() + (static_cast<std::size_t>(k - first.z()) * ty + u) * rowLength;
					for (std::size_t e = 0; e < rowLength; ++e)
						keepMax(dst[e], line[e]);
				}
			}
		}

		/// Rotated grids: per target voxel, the source voxels overlapping the bounding box of its cell.
		template <typename T>
		void resampleGeneral(const TypedImage<T>& source, TypedImage<T>& target, const Eigen::Matrix4d& targetToSource)
		{
			const ImageDescriptor& sd = source.descriptor();
			const Eigen::Vector3i td = target.descriptor().dimensions();
			const auto c = static_cast<std::size_t>(sd.channels());
			const Eigen::Matrix3d linear = targetToSource.topLeftCorner<3, 3>();
			// Half the extent of a target cell along each source axis.
			const Eigen::Vector3d half = 0.5 * linear.cwiseAbs().rowwise().sum();
			const T* in = source.pointer();
			T* out = target.pointer();
#pragma omp parallel for schedule(dynamic, 1) if (target.descriptor().size() >= kParallelElements)
			for (std::int64_t row = 0; row < static_cast<std::int64_t>(td.y()) * td.z(); ++row)
			{
				const int y = static_cast<int>(row % td.y()), z = static_cast<int>(row / td.y());
				for (int x = 0; x < td.x(); ++x)
				{
					const Eigen::Vector3d centre = (targetToSource * Eigen::Vector4d(x, y, z, 1.0)).head<3>();
					Range r[3];
					bool outside = false;
					for (int a = 0; a < 3; ++a)
					{
						r[a] = overlapping(centre[a] - half[a], centre[a] + half[a], sd.dimensions()[a]);
						outside = outside || r[a].isEmpty();
					}
					T* dst = out + target.descriptor().index(x, y, z) * c;
					for (std::size_t ch = 0; ch < c; ++ch)
					{
						if (outside)
						{
							dst[ch] = T(0);
							continue;
						}
						T m = in[sd.index(r[0].lo, r[1].lo, r[2].lo) * c + ch];
						for (int k = r[2].lo; k <= r[2].hi; ++k)
							for (int j = r[1].lo; j <= r[1].hi; ++j)
								for (int i = r[0].lo; i <= r[0].hi; ++i)
									keepMax(m, in[sd.index(i, j, k) * c + ch]);
						dst[ch] = m;
					}
				}
			}
		}

		std::string describeGrid(const ImageDescriptorWorld& d)
		{
			return std::to_string(d.dimensions().x()) + "x" + std::to_string(d.dimensions().y()) + "x" +
			       std::to_string(d.dimensions().z()) + " with spacing " + std::to_string(d.spacing().x()) + ", " +
			       std::to_string(d.spacing().y()) + ", " + std::to_string(d.spacing().z());
		}

		bool isUsableGrid(const ImageDescriptorWorld& d)
		{
			return (d.dimensions().array() > 0).all() && d.spacing().allFinite() && (d.spacing().array() > 0.0).all() &&
			       d.matrixToWorld().allFinite() && d.matrixToWorld().topLeftCorner<3, 3>().determinant() != 0.0;
		}
	}

	ImageResamplingAlgorithm::ImageResamplingAlgorithm(const SharedImageSet& input, std::vector<ImageDescriptorWorld> targets)
	    : m_input(input)
	    , m_targets(std::move(targets))
	{
	}

	ImageResamplingAlgorithm::~ImageResamplingAlgorithm() = default;

	void ImageResamplingAlgorithm::compute()
	{
		m_output.reset();
		auto fail = [this](int status, const std::string& message)
		{
			Log::log(Log::Error, kCategory, message);
			m_status = status;
		};
		if (m_input.isEmpty())
			return fail(InvalidInput, "The image set to resample holds no image.");
		if (m_reductionMode != Maximum)
			return fail(InvalidInput, "Reduction mode " + std::to_string(m_reductionMode) + " is not available; use " +
			                              std::to_string(Maximum) + " (maximum).");
		if (m_targets.size() != 1 && m_targets.size() != static_cast<std::size_t>(m_input.size()))
			return fail(InvalidInput, "Resampling needs one target grid or one per image; got " + std::to_string(m_targets.size()) +
			                              " for " + std::to_string(m_input.size()) + " image(s).");
		for (const ImageDescriptorWorld& target : m_targets)
			if (!isUsableGrid(target))
				return fail(InvalidInput, "Invalid target grid " + describeGrid(target) + ".");

		std::vector<int> selected;
		for (int i = 0; i < m_input.size(); ++i)
			if (m_input.selection().isSelected(i))
				selected.push_back(i);

		auto output = m_input.clone(SharedImageSet::CloneWithoutImages);
		for (std::size_t n = 0; n < selected.size(); ++n)
		{
			const int i = selected[n];
			reportProgress(static_cast<double>(n) / static_cast<double>(selected.size()), "Resampling");
			const SharedImage& image = *m_input.get(i);
			const ImageDescriptorWorld& target = m_targets.size() == 1 ? m_targets.front() : m_targets[static_cast<std::size_t>(i)];
			const ImageDescriptor& sd = image.descriptor();
			if (!ImageDescriptor::isNumericPixelType(sd.pixelType()))
				return fail(InvalidInput, "Image " + std::to_string(i) + " of untyped pixel type " + std::to_string(sd.pixelType()) +
				                              " cannot be resampled.");
			const Eigen::Matrix4d targetToSource = image.descriptorWorld().worldToPixelMatrix() * target.pixelToWorldMatrix();
			if (!targetToSource.allFinite())
				return fail(InvalidInput, "Image " + std::to_string(i) + " has a singular placement and cannot be resampled.");

			ImageDescriptor descriptor(sd.pixelType(), target.dimensions(), sd.channels(), target.spacing(), target.isMetric());
			descriptor.setStorageMapping(sd.slope(), sd.intercept());
			std::unique_ptr<MemImage> mem;
			try
			{
				mem = MemImage::create(descriptor);
				ImageProcessing::visit(*image.mem(),
				                       [&](const auto& source)
				                       {
					                       using Typed = std::decay_t<decltype(source)>;
					                       auto& typedTarget = static_cast<Typed&>(*mem);
					                       if (isAxisAligned(targetToSource))
						                       resampleSeparable(source, typedTarget, targetToSource);
					                       else
						                       resampleGeneral(source, typedTarget, targetToSource);
				                       });
			}
			catch (const std::exception& e)
			{
				return fail(Error, "Could not resample image " + std::to_string(i) + " onto " + describeGrid(target) + ": " + e.what());
			}
			auto resampled = std::make_unique<SharedImage>(std::move(mem), image.name());
			resampled->setMatrixToWorld(target.matrixToWorld());
			resampled->setModality(image.modality());
			output->add(std::move(resampled));
		}
		reportProgress(1.0, "Resampling");
		m_output = std::move(output);
		m_status = Success;
	}

	OwningDataList ImageResamplingAlgorithm::takeOutput()
	{
		OwningDataList out;
		out.add(std::move(m_output));
		return out;
	}
}
