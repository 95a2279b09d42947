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
		/// false when it cannot, and the caller then reduces on the CPU. This host has no GL
		/// context yet, so it always declines and leaves both arguments untouched.
		bool reduceGl(Eigen::VectorXd& result, std::vector<Eigen::Vector4i>* positions);

	protected:
		ReductionWrapperGl() = default;
		ReductionWrapperGl(const ReductionWrapperGl&) = default;
		ReductionWrapperGl& operator=(const ReductionWrapperGl&) = default;
	};
}
