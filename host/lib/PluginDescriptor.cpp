#include "host/lib/PluginDescriptor.h"

#include <cstring>

namespace Quorvale::PluginDescriptor
{
	bool isCompatible(const char* compatibility)
	{
		if (!compatibility)
			return false;
		return std::strncmp(compatibility, hostCompatibilityText, std::strlen(hostCompatibilityText)) == 0;
	}
}
