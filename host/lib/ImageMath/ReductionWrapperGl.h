#pragma once

#include "host/lib/ImageMath/ReductionWrapperGlBase.h"

#include <Eigen/Core>

#include <vector>

namespace Quorvale::ImageMath::internal
{
	/// The GPU path of a reduction.
	class ReductionWrapperGl : public ReductionWrapperGlBase
	{
	public:
		/// Computes the reduction on the GPU into `result` (and `positions`, when given); returns
		/// false, leaving both untouched, when it declines, and the caller then reduces on the CPU.
		///
		/// Only the maximum (the operation whose GLSL is "max((a), (b))") over an array of an
		/// image is reduced here, with exactly the CPU's result: per channel the largest value in
		/// original units (unless the array reads raw values), the first pixel in index order on
		/// ties, NaN never, the lowest finite double and position (-1, -1, -1, 0) when no value
		/// counts; with `positions` one (x, y, z, 0) per channel is appended. It declines where
		/// `ArrayGl::assignGl` would (device rule, policy, busy context, no texture format) and on
		/// any GL failure (logged at debug level).
		bool reduceGl(Eigen::VectorXd& result, std::vector<Eigen::Vector4i>* positions);

	protected:
		ReductionWrapperGl() = default;
		ReductionWrapperGl(const ReductionWrapperGl&) = default;
		ReductionWrapperGl& operator=(const ReductionWrapperGl&) = default;
	};
}
