#pragma once

#include "host/lib/ImageMath/BroadcastChannelsTpl.h"
#include "host/lib/ImageMath/ChannelSwizzleViewTpl.h"
#include "host/lib/ImageMath/DeviceStrategyWrapperTpl.h"
#include "src/imaging/Array.h"
#include "src/imaging/ChannelWiseScalar.h"
#include "src/imaging/ImgOps.h"

#include <Eigen/Core>

#include <optional>

/// The voxel-wise product M·g of a fixed 3x3 matrix M with the 3-vector g held by each pixel of
/// a three-channel image, as an image expression tree over arrays of type `A`:
///
///     out(p, c) = (a0[c]·g(p, s0) + a1[c]·g(p, s1)) + a2[c]·g(p, s2)
///
/// with term k the constant a_k (column k of M) times channel s_k = k of the image repeated over
/// three channels. The tree is evaluated on the GPU when the host can, otherwise by a typed CPU
/// kernel; the target may be the image that the terms read.
namespace Quorvale::ImageMath
{
	template <typename A>
	using GradientTerm = internal::BinaryOpTpl<ImgOps::mult, ChannelWiseScalar<double, 3>,
	                                           internal::BroadcastChannelsTpl<internal::ChannelSwizzleViewTpl<A>>>;
	template <typename A>
	using GradientPartialSum = internal::BinaryOpTpl<ImgOps::add, GradientTerm<A>, GradientTerm<A>>;
	template <typename A>
	using GradientSum = internal::BinaryOpTpl<ImgOps::add, GradientPartialSum<A>, GradientTerm<A>>;
	template <typename A>
	using GradientTransform = internal::DeviceStrategyWrapperTpl<GradientSum<A>>;

	/// The tree of `matrix` times the channels of `image`, wrapped with `strategy`.
	GradientTransform<ArrayImage> makeGradientTransform(const ArrayImage& image, const Eigen::Matrix3d& matrix, int strategy = GpuFirst);

	/// Evaluates `expression` into `target`'s image and returns `target`. On the GPU when the host
	/// accepts it (then the CPU memory is neither written nor marked); otherwise on the CPU memory
	/// with the kernel of its element type, after which the image is marked changed (also for an
	/// element code without a kernel, where nothing is written).
	///
	/// The CPU path refuses, writing and marking nothing and logging an error, a target that does
	/// not have three channels, and operand images that differ from the target in element type or
	/// extents or lack the channel a term selects.
	ArrayImage& evaluateGradientTransform(ArrayImage& target, const GradientTransform<ArrayImage>& expression);

	namespace internal
	{
		/// The term over the CPU memory of its image as `TypedArray<T>`, with a fresh cache; empty
		/// when that memory does not hold elements of type T.
		template <typename T>
		std::optional<GradientTerm<TypedArray<T>>> toTypedExpression(const GradientTerm<ArrayImage>& term);
		/// The whole tree over CPU memory, terms converted in the order 2, 1, 0; empty when an
		/// operand's memory does not hold elements of type T.
		template <typename T>
		std::optional<GradientTransform<TypedArray<T>>> toTypedExpression(const GradientTransform<ArrayImage>& expression);

		/// The CPU kernel: evaluates `expression` into `target` pixel by pixel, channels innermost.
		/// Each term reads its operand once per pixel (through the broadcast cache, emptied first),
		/// so the target may be an operand. An OpenMP loop over slices, parallel when there are
		/// more than eight, with no more threads than the caches have entries. Writes nothing to a
		/// target without three channels; otherwise requires what `evaluateGradientTransform` checks.
		template <typename T>
		TypedArray<T>& assignCpu(TypedArray<T>& target, const GradientTransform<TypedArray<T>>& expression);
	}
}
