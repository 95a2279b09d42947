#pragma once

#include "host/lib/ImageMath/BinaryOpBase.h"
#include "host/lib/ImageMath/BinaryOpGl.h"
#include "host/lib/ImageMath/ExprBaseTpl.h"
#include "host/lib/ImageMath/ExprInterface.h"

#include <algorithm>

namespace Quorvale::ImageMath::internal
{
	/// A voxel-wise binary operation `Op` over two expressions, held by value. The result's
	/// element type is that of the left operand.
	template <typename Op, typename Left, typename Right>
	class BinaryOpTpl : public ExprBaseTpl<BinaryOpTpl<Op, Left, Right>>, public BinaryOpBase, public ExprInterface, public BinaryOpGl
	{
	public:
		using Operation = Op;
		using LeftType = Left;
		using RightType = Right;

		/// Copies both operands and the operation.
		BinaryOpTpl(const Left& left, const Right& right, const Op& op)
		    : BinaryOpBase(left.imgDesc(), left.imageCount(), right.imgDesc(), right.imageCount(), left.imgDesc().pixelType())
		    , m_left(left)
		    , m_right(right)
		    , m_op(op)
		{
		}

		ImageDescriptor imgDesc() const override { return resultDescriptor(); }
		/// The larger of the operands' counts.
		int imageCount() const override { return std::max(m_left.imageCount(), m_right.imageCount()); }
		/// The smaller of the operands' levels.
		int deviceSupport() const override { return std::min(m_left.deviceSupport(), m_right.deviceSupport()); }

		const Left& left() const { return m_left; }
		const Right& right() const { return m_right; }
		const Op& op() const { return m_op; }

		const GlExprInterface& leftGl() const override { return m_left; }
		GlExprInterface& leftGl() override { return m_left; }
		const GlExprInterface& rightGl() const override { return m_right; }
		GlExprInterface& rightGl() override { return m_right; }
		const ImgOps::BinaryImgOpGl& operationGl() const override { return m_op; }

	private:
		Left m_left;
		Right m_right;
		Op m_op;
	};
}
