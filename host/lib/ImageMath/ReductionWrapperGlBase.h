#pragma once

#include "host/lib/ImageMath/GlExprInterface.h"
#include "host/lib/ImageMath/ImgOps.h"

namespace Quorvale::ImageMath::internal
{
	/// What a GPU reduction needs from its wrapper: the operand's GPU side and the operation.
	class ReductionWrapperGlBase
	{
	public:
		virtual ~ReductionWrapperGlBase() = default;
		virtual const GlExprInterface& operandGl() const = 0;
		virtual GlExprInterface& operandGl() = 0;
		virtual const ImgOps::BinaryImgOpGl& operationGl() const = 0;

	protected:
		ReductionWrapperGlBase() = default;
		ReductionWrapperGlBase(const ReductionWrapperGlBase&) = default;
		ReductionWrapperGlBase& operator=(const ReductionWrapperGlBase&) = default;
	};
}
