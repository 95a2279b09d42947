#pragma once

#include <string>

/// Voxel-wise operations of image expressions: each combines two values on the CPU and two GLSL
/// expressions on the GPU.
namespace Quorvale::ImageMath::ImgOps
{
	/// GPU side of a binary operation.
	class BinaryImgOpGl
	{
	public:
		virtual ~BinaryImgOpGl() = default;
		/// The GLSL expression combining the operand expressions `a` and `b`.
		virtual std::string glslExpression(const std::string& a, const std::string& b) const = 0;

	protected:
		BinaryImgOpGl() = default;
		BinaryImgOpGl(const BinaryImgOpGl&) = default;
		BinaryImgOpGl& operator=(const BinaryImgOpGl&) = default;
	};

	/// Sum.
	class add : public BinaryImgOpGl
	{
	public:
		double operator()(double a, double b) const { return a + b; }
		/// "(a) + (b)".
		std::string glslExpression(const std::string& a, const std::string& b) const override;
	};
}
