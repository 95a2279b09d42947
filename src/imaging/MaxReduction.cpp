#include "src/imaging/MaxReduction.h"

#include <algorithm>
#include <limits>
#include <type_traits>

#include "host/core/Log.h"
#include "host/core/ThreadTeam.h"
#include "host/lib/ImageMath/Argmax.h"
#include "host/lib/ImageMath/GlTagging.h"

namespace Quorvale::ImageMath
{
	namespace
	{
		constexpr double kLowest = std::numeric_limits<double>::lowest();

		/// Per-channel maxima of `pixels` consecutive pixels into `maxima` (which holds the
		/// running values). Integer elements are compared as stored and mapped once: the storage
		/// mapping is monotonic, so the largest mapped value is that of the stored maximum (or of
		/// the minimum for a negative slope), exactly as mapping every element would give.
		template <typename T>
		void reduceSlice(const T* elements, std::size_t pixels, int channels, bool rawValues, const ImageDescriptor& layout, double* maxima)
		{
			for (int c = 0; c < channels; ++c)
			{
				const T* e = elements + c;
				if constexpr (std::is_integral_v<T>)
				{
					// Plain char holds signed 8-bit values whatever the platform's char.
					using Stored = std::conditional_t<std::is_same_v<T, char>, signed char, T>;
					Stored high = static_cast<Stored>(e[0]), low = high;
					// Integer maxima and minima do not depend on the order: one channel is a
					// contiguous run that the compiler can spread over vector lanes.
					if (channels == 1)
					{
#pragma omp simd reduction(max : high) reduction(min : low)
						for (std::size_t i = 0; i < pixels; ++i)
						{
							const Stored v = static_cast<Stored>(e[i]);
							high = v > high ? v : high;
							low = v < low ? v : low;
						}
					}
					else
					{
						const std::size_t stride = static_cast<std::size_t>(channels);
						for (std::size_t i = 0; i < pixels; ++i)
						{
							const Stored v = static_cast<Stored>(e[i * stride]);
							high = v > high ? v : high;
							low = v < low ? v : low;
						}
					}
					double value = static_cast<double>(high);
					if (!rawValues)
						value = std::max(layout.storageToOriginal(static_cast<double>(high)),
						                 layout.storageToOriginal(static_cast<double>(low)));
					if (value > maxima[c])
						maxima[c] = value;
				}
				else
				{
					const double slope = layout.slope(), intercept = layout.intercept();
					double m = maxima[c];
					for (std::size_t i = 0; i < pixels; ++i)
					{
						double v = static_cast<double>(e[i * static_cast<std::size_t>(channels)]);
						if (!rawValues)
							v = v * slope + intercept;
						if (v > m)
							m = v;
					}
					maxima[c] = m;
				}
			}
		}
	}

	namespace internal
	{
		/// `maxPerChannel` with positions: one pass over the pixels in index order.
		template <typename T>
		Eigen::VectorXd maxWithPositions(const T* elements, const ImageDescriptor& layout, bool rawValues, std::vector<Eigen::Vector4i>& positions)
		{
			const int channels = std::max(layout.channels(), 0);
			Eigen::VectorXd result = Eigen::VectorXd::Constant(channels, kLowest);
			const std::size_t pixelCount = layout.size();
			ImageDescriptor pixelLayout = layout;
			pixelLayout.setChannels(1);
			// Coordinates start at -1 rather than the lowest double, which no integer can hold.
			std::vector<Eigen::Vector4d> best(static_cast<std::size_t>(channels), Eigen::Vector4d(-1.0, -1.0, -1.0, kLowest));
			std::vector<Eigen::Vector4d> candidates(static_cast<std::size_t>(channels));
			for (std::size_t i = 0; i < pixelCount; ++i)
			{
				const Eigen::Vector3d p = pixelLayout.coord(i).cast<double>();
				for (int c = 0; c < channels; ++c)
				{
					double v = toDouble(elements[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)]);
					if (!rawValues)
						v = layout.storageToOriginal(v);
					candidates[static_cast<std::size_t>(c)] = Eigen::Vector4d(p.x(), p.y(), p.z(), v);
				}
				vec4argmax(best, candidates);
			}
			positions.reserve(positions.size() + static_cast<std::size_t>(channels));
			for (int c = 0; c < channels; ++c)
			{
				const Eigen::Vector4d& b = best[static_cast<std::size_t>(c)];
				result[c] = b[3];
				positions.emplace_back(static_cast<int>(b[0]), static_cast<int>(b[1]), static_cast<int>(b[2]), 0);
			}
			return result;
		}

		template <typename T>
		Eigen::VectorXd maxPerChannel(const T* elements, const ImageDescriptor& layout, bool rawValues,
		                              std::vector<Eigen::Vector4i>* positions)
		{
			const int channels = std::max(layout.channels(), 0);
			Eigen::VectorXd result = Eigen::VectorXd::Constant(channels, kLowest);
			const std::size_t pixelCount = layout.size();

			if (positions)
				return maxWithPositions(elements, layout, rawValues, *positions);

			if (pixelCount == 0 || channels == 0)
				return result;
			const int slices = layout.dimensions().z();
			const std::size_t slicePixels = pixelCount / static_cast<std::size_t>(slices);
			// One row of maxima per slice, combined in slice order: a slice's value replaces the
			// running one only when larger, which gives the serial result (also the first of +0 and -0).
			std::vector<double> sliceMaxima(static_cast<std::size_t>(slices) * static_cast<std::size_t>(channels), kLowest);
			const Threading::ThreadTeam team(slices > 8);
#pragma omp parallel for schedule(static) if (slices > 8) num_threads(team.size())
			for (int z = 0; z < slices; ++z)
			{
				const std::size_t first = static_cast<std::size_t>(z) * slicePixels * static_cast<std::size_t>(channels);
				reduceSlice(elements + first, slicePixels, channels, rawValues, layout,
				            sliceMaxima.data() + static_cast<std::size_t>(z) * static_cast<std::size_t>(channels));
			}
			for (int z = 0; z < slices; ++z)
				for (int c = 0; c < channels; ++c)
				{
					const double v =
					    sliceMaxima[static_cast<std::size_t>(z) * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)];
					if (v > result[c])
						result[c] = v;
				}
			return result;
		}

		template <typename T>
		Eigen::VectorXd& reduceMaxCpu(const MaxReduction<TypedArray<T>>& reduction, Eigen::VectorXd& result,
		                              std::vector<Eigen::Vector4i>* positions)
		{
			const TypedArray<T>& array = reduction.operand();
			result = maxPerChannel<T>(array.data(), array.image().descriptor(), array.rawValues(), positions);
			return result;
		}

#define QUORVALE_MAX_REDUCTION_INSTANCES(T)                                                                                                \
	template Eigen::VectorXd maxPerChannel<T>(const T*, const ImageDescriptor&, bool, std::vector<Eigen::Vector4i>*);                      \
	template Eigen::VectorXd& reduceMaxCpu<T>(const MaxReduction<TypedArray<T>>&, Eigen::VectorXd&, std::vector<Eigen::Vector4i>*);

		QUORVALE_MAX_REDUCTION_INSTANCES(char)
		QUORVALE_MAX_REDUCTION_INSTANCES(unsigned char)
		QUORVALE_MAX_REDUCTION_INSTANCES(short)
		QUORVALE_MAX_REDUCTION_INSTANCES(unsigned short)
		QUORVALE_MAX_REDUCTION_INSTANCES(int)
		QUORVALE_MAX_REDUCTION_INSTANCES(unsigned int)
		QUORVALE_MAX_REDUCTION_INSTANCES(float)
		QUORVALE_MAX_REDUCTION_INSTANCES(double)
#undef QUORVALE_MAX_REDUCTION_INSTANCES
	}

	Eigen::VectorXd& maxReduceSharedImage(MaxReduction<ArrayImage>& reduction, Eigen::VectorXd& result,
	                                      std::vector<Eigen::Vector4i>* positions)
	{
		result.resize(0);
		if (reduction.reduceGl(result, positions))
			return result;
		const std::vector<const internal::ArrayGl*> arrays = internal::getVoidArrays(reduction.operandGl());
		const int pixelType =
		    arrays.empty() ? reduction.operand().image().descriptor().pixelType() : arrays.front()->exprInterface()->imgDesc().pixelType();
		internal::withElementType(pixelType,
		                          [&](auto tag)
		                          {
			                          using T = typename decltype(tag)::type;
			                          std::optional<TypedArray<T>> typed = TypedArray<T>::fromShared(reduction.operand());
			                          if (!typed)
			                          {
				                          Log::error("Cannot reduce an image whose memory does not match its pixel type", "ImageMath");
				                          return;
			                          }
			                          const MaxReduction<TypedArray<T>> typedReduction(*typed, ImgOps::max{}, Selection());
			                          Eigen::VectorXd maxima;
			                          internal::reduceMaxCpu<T>(typedReduction, maxima, positions);
			                          result = std::move(maxima);
		                          });
		return result;
	}
}
