#include "src/imaging/ImgOps.h"

namespace Quorvale::ImageMath::ImgOps
{
	std::string mult::glslExpression(const std::string& a, const std::string& b) const
	{
		std::string expression;
		expression.reserve(a.size() + b.size() + 5);
		expression.append("(").append(a).append(")*(").append(b).append(")");
		return expression;
	}

	std::string max::glslExpression(const std::string& a, const std::string& b) const
	{
		std::string expression;
		expression.reserve(a.size() + b.size() + 11);
		expression.append("max((").append(a).append("), (").append(b).append("))");
		return expression;
	}

	std::string equal::glslExpression(const std::string& a, const std::string& b) const
	{
		return "vec4(equal(vec4(" + a + "), vec4(" + b + ")))";
	}
}
