#include "src/imaging/ImageElements.h"

#include <typeindex>

namespace Quorvale::ImageMath::internal
{
	bool sameElementType(int pixelType, int otherPixelType)
	{
		std::type_index first = typeid(void), second = typeid(void);
		const bool known = withElementType(pixelType, [&](auto tag) { first = typeid(typename decltype(tag)::type); });
		const bool otherKnown = withElementType(otherPixelType, [&](auto tag) { second = typeid(typename decltype(tag)::type); });
		return known && otherKnown && first == second;
	}
}
