#include "host/lib/ImageMath/ImgOps.h"

namespace Quorvale::ImageMath::ImgOps
{
	std::string add::glslExpression(const std::string& a, const std::string& b) const { return "(" + a + ") + (" + b + ")"; }
}
