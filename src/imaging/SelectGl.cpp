#include "src/imaging/SelectGl.h"

#include "host/lib/ImageMath/GlTagging.h"

namespace Quorvale::ImageMath::internal
{
	std::string SelectGl::evalString(bool assignNames)
	{
		if (assignNames)
			tagAndAssignNamesHelper(*this, {});
		return "mix(vec4(" + noGl().evalString(false) + "), vec4(" + yesGl().evalString(false) + "), bvec4(" +
		       conditionGl().evalString(false) + "))";
	}

	std::vector<const GlExprInterface*> SelectGl::children() const { return {&conditionGl(), &yesGl(), &noGl()}; }

	std::vector<GlExprInterface*> SelectGl::children() { return {&conditionGl(), &yesGl(), &noGl()}; }
}
