#include "host/lib/QuorvaleLibPlugin.h"

namespace Quorvale
{
	QuorvaleLibPlugin::~QuorvaleLibPlugin() = default;
}
