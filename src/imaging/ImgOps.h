#pragma once

#include "host/lib/ImageMath/BinaryOpTpl.h"
#include "host/lib/ImageMath/ExprBaseTpl.h"
#include "host/lib/ImageMath/ImgOps.h"

#include <string>

/// The plug-in's voxel-wise operations.
namespace Quorvale::ImageMath::ImgOps
{
	/// Product.
	class mult : public BinaryImgOpGl
	{
	public:
		double operator()(double a, double b) const { return a * b; }
		/// "(a)*(b)".
		std::string glslExpression(const std::string& a, const std::string& b) const override;
	};

	/// Equality test: 1 where the values are equal, else 0.
	class equal : public BinaryImgOpGl
	{
	public:
		double operator()(double a, double b) const { return a == b ? 1.0 : 0.0; }
		/// "vec4(equal(vec4(a), vec4(b)))": both sides widened to vec4 (a scalar is repeated), so
		/// that an image compares with a constant, and the component-wise result made numeric.
		std::string glslExpression(const std::string& a, const std::string& b) const override;
	};

	/// Maximum, as a running maximum: `a` stays unless `b` is larger, so a NaN `b` never replaces it.
	class max : public BinaryImgOpGl
	{
	public:
		double operator()(double a, double b) const { return b > a ? b : a; }
		/// "max((a), (b))".
		std::string glslExpression(const std::string& a, const std::string& b) const override;
	};
}

namespace Quorvale::ImageMath::internal
{
	/// The product node of two expressions (copied), with a fresh `ImgOps::mult`.
	template <typename Left, typename Right>
	BinaryOpTpl<ImgOps::mult, Left, Right> makeMultNode(const ExprBaseTpl<Left>& left, const ExprBaseTpl<Right>& right)
	{
		return BinaryOpTpl<ImgOps::mult, Left, Right>(left.derived(), right.derived(), ImgOps::mult{});
	}
}
