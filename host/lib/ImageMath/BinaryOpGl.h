#pragma once

#include "host/lib/ImageMath/GlExprInterface.h"
#include "host/lib/ImageMath/ImgOps.h"

#include <string>
#include <vector>

namespace Quorvale::ImageMath::internal
{
	/// The GPU side of a binary node: its operation applied to the operands' expressions.
	class BinaryOpGl : public GlExprInterface
	{
	public:
		/// The operation's `glslExpression` of the left and the right operand's expressions.
		std::string evalString(bool assignNames) override;
		/// The left and the right operand.
		std::vector<const GlExprInterface*> children() const override;
		std::vector<GlExprInterface*> children() override;

		virtual const GlExprInterface& leftGl() const = 0;
		virtual GlExprInterface& leftGl() = 0;
		virtual const GlExprInterface& rightGl() const = 0;
		virtual GlExprInterface& rightGl() = 0;
		virtual const ImgOps::BinaryImgOpGl& operationGl() const = 0;

	protected:
		BinaryOpGl() = default;
		BinaryOpGl(const BinaryOpGl&) = default;
		BinaryOpGl& operator=(const BinaryOpGl&) = default;
	};
}
