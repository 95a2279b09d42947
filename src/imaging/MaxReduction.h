#pragma once

#include "host/lib/ImageMath/ReductionWrapperTpl.h"
#include "src/imaging/Array.h"
#include "src/imaging/ImgOps.h"

#include <Eigen/Core>

#include <vector>

/// The largest value of each channel of an image, as a reduction expression over arrays of type
/// `A`. A channel without any value (an image without pixels, or all NaN) reduces to the lowest
/// finite double: callers treat that as "no value".
namespace Quorvale::ImageMath
{
	template <typename A>
	using MaxReduction = internal::ReductionWrapperTpl<ImgOps::max, A>;

	/// The maximum over an image: on the GPU when the host can, else by the CPU reduction of the
	/// image's element type. `result` is emptied first and stays empty for an element code without
	/// a kernel. With `positions`, one position per channel is appended (see
	/// `internal::maxPerChannel`).
	Eigen::VectorXd& maxReduceSharedImage(MaxReduction<ArrayImage>& reduction, Eigen::VectorXd& result,
	                                      std::vector<Eigen::Vector4i>* positions = nullptr);

	namespace internal
	{
		/// The CPU reduction over a typed array; the selection is not consulted.
		template <typename T>
		Eigen::VectorXd& reduceMaxCpu(const MaxReduction<TypedArray<T>>& reduction, Eigen::VectorXd& result,
		                              std::vector<Eigen::Vector4i>* positions = nullptr);

		/// The kernel: for each channel of an image laid out as `layout`, the largest element
		/// value as double (in original units unless `rawValues`); a value replaces the running
		/// maximum only when it is larger, so NaN never does. Entries start at the lowest finite
		/// double. Without `positions` the slices are reduced in parallel when there are more than
		/// eight; the result is the same as serially. With `positions` the pixels are visited
		/// serially in index order, the first pixel holding a channel's maximum wins, and for each
		/// channel in order (x, y, z, 0) of that pixel is appended, or (-1, -1, -1, 0) when no value
		/// beat the lowest double.
		template <typename T>
		Eigen::VectorXd maxPerChannel(const T* elements, const ImageDescriptor& layout, bool rawValues,
		                              std::vector<Eigen::Vector4i>* positions = nullptr);
	}

	/// `reduce` of a maximum over an image.
	inline Eigen::VectorXd& runReduction(MaxReduction<ArrayImage>& reduction, Eigen::VectorXd& result,
	                                     std::vector<Eigen::Vector4i>* positions)
	{
		return maxReduceSharedImage(reduction, result, positions);
	}

	/// `reduce` of a maximum over a typed array.
	template <typename T>
	Eigen::VectorXd& runReduction(MaxReduction<TypedArray<T>>& reduction, Eigen::VectorXd& result, std::vector<Eigen::Vector4i>* positions)
	{
		return internal::reduceMaxCpu<T>(reduction, result, positions);
	}
}
