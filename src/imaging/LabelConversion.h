#pragma once

#include "host/lib/ImageMath/BinaryOpTpl.h"
#include "host/lib/ImageMath/DeviceStrategyWrapperTpl.h"
#include "src/imaging/Array.h"
#include "src/imaging/ImgOps.h"
#include "src/imaging/Scalar.h"
#include "src/imaging/SelectTpl.h"

#include <optional>

/// The conversion of a code image (0 marks a label) into a binary label image, as the image
/// expression select(equal(codes, 0), 1, 0) over arrays of type `A`.
namespace Quorvale::ImageMath
{
	template <typename A>
	using LabelCondition = internal::BinaryOpTpl<ImgOps::equal, A, Scalar<double>>;
	template <typename A>
	using LabelSelection = internal::SelectTpl<LabelCondition<A>, Scalar<double>, Scalar<double>>;
	template <typename A>
	using LabelConversion = internal::DeviceStrategyWrapperTpl<LabelSelection<A>>;

	/// select(equal(codes, 0.0), 1.0, 0.0), wrapped with `strategy`. An array over an image of
	/// unsigned 32-bit codes is CPU-only, and so is the whole expression.
	LabelConversion<ArrayImage> makeLabelConversion(const ArrayImage& codes, int strategy = GpuFirst);

	/// Evaluates `expression` into `target`'s image and returns `target`: on the GPU when the host
	/// accepts it, otherwise with the CPU kernel of the target's element type over the codes'
	/// CPU memory, after which the target is marked changed. Each element takes the selected value
	/// mapped to the target's storage form (unless it reads raw values), stored as
	/// `internal::fromDouble` describes; the slices run in parallel from 9 slices on.
	///
	/// The CPU path refuses, writing and marking nothing and logging an error, codes that are not
	/// unsigned 32-bit integers and a target whose extents or channel count differ from theirs.
	ArrayImage& evaluateLabelConversion(ArrayImage& target, const LabelConversion<ArrayImage>& expression);

	namespace internal
	{
		/// The expression over the CPU memory of its codes; empty when that memory does not hold
		/// unsigned 32-bit integers.
		std::optional<LabelConversion<TypedArray<unsigned int>>> toTypedExpression(const LabelConversion<ArrayImage>& expression);
	}
}
