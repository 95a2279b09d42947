#pragma once

#include "host/lib/Selection.h"

#include <Eigen/Core>

#include <vector>

namespace Quorvale::ImageMath::internal
{
	/// A reduction of an array operand to one value per channel.
	class ReductionWrapperBase
	{
	public:
		virtual ~ReductionWrapperBase() = default;

		/// Reduces into `result` (one entry per channel) and returns it. With `positions`, also
		/// appends one position per channel where that channel's result was found.
		virtual Eigen::VectorXd& reduce(Eigen::VectorXd& result, std::vector<Eigen::Vector4i>* positions = nullptr) = 0;

		/// The images of a set the reduction is meant for; how it is read is up to each reduction.
		const Selection& selection() const { return m_selection; }

	protected:
		explicit ReductionWrapperBase(const Selection& selection)
		    : m_selection(selection)
		{
		}
		ReductionWrapperBase(const ReductionWrapperBase&) = default;
		ReductionWrapperBase& operator=(const ReductionWrapperBase&) = default;

	private:
		Selection m_selection;
	};
}
