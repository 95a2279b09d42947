#pragma once

#include "host/lib/ImageMath/ReductionWrapperBase.h"
#include "host/lib/ImageMath/ReductionWrapperGl.h"

#include <vector>

namespace Quorvale::ImageMath::internal
{
	/// The reduction `Op` over an array operand, both held by value.
	///
	/// `reduce` runs `runReduction(*this, result, positions)`, found by argument-dependent lookup:
	/// whoever instantiates a reduction supplies it, next to the operation or the operand type,
	/// before the instantiation.
	template <typename Op, typename Operand>
	class ReductionWrapperTpl : public ReductionWrapperBase, public ReductionWrapperGl
	{
	public:
		using Operation = Op;
		using OperandType = Operand;

		/// Copies the operand, the operation and the selection (kept by the base).
		ReductionWrapperTpl(const Operand& operand, const Op& op, const Selection& selection)
		    : ReductionWrapperBase(selection)
		    , m_operand(operand)
		    , m_op(op)
		{
		}

		Eigen::VectorXd& reduce(Eigen::VectorXd& result, std::vector<Eigen::Vector4i>* positions = nullptr) override
		{
			return runReduction(*this, result, positions);
		}

		const Operand& operand() const { return m_operand; }
		const Op& op() const { return m_op; }

		const GlExprInterface& operandGl() const override { return m_operand; }
		GlExprInterface& operandGl() override { return m_operand; }
		const ImgOps::BinaryImgOpGl& operationGl() const override { return m_op; }

	private:
		Operand m_operand;
		Op m_op;
	};
}
