#include "host/lib/ImageMath/BinaryOpGl.h"

#include "host/lib/ImageMath/GlTagging.h"

namespace Quorvale::ImageMath::internal
{
	std::string BinaryOpGl::evalString(bool assignNames)
	{
		if (assignNames)
			tagAndAssignNamesHelper(*this, {});
		return operationGl().glslExpression(leftGl().evalString(false), rightGl().evalString(false));
	}

	std::vector<const GlExprInterface*> BinaryOpGl::children() const { return {&leftGl(), &rightGl()}; }

	std::vector<GlExprInterface*> BinaryOpGl::children() { return {&leftGl(), &rightGl()}; }
}
