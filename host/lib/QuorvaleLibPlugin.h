#pragma once

#include "host/lib/PluginBase.h"

namespace Quorvale
{
	/// Base of plug-ins built on the host's data and algorithm library (as opposed to plug-ins that
	/// only extend the core). Adds no operations of its own.
	class QuorvaleLibPlugin : public PluginBase
	{
	public:
		QuorvaleLibPlugin() = default;
		~QuorvaleLibPlugin() override;
	};
}
