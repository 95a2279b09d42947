#include "host/lib/ImageMath/DeviceStrategyWrapperGl.h"

#include "host/lib/ImageMath/GlTagging.h"

namespace Quorvale::ImageMath::internal
{
	std::string DeviceStrategyWrapperGl::evalString(bool assignNames)
	{
		if (assignNames)
			tagAndAssignNamesHelper(*this, {});
		return wrappedGl().evalString(false);
	}
}
