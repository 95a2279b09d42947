#include "src/plugin/PluginEntryPoints.h"

#include "host/lib/PluginAutoRegistrationGuard.h"
#include "src/plugin/GraphPlugin.h"

extern "C"
{
	const Quorvale::QuorvalePluginDescriptor quorvalePluginDescriptor = {Quorvale::PluginDescriptor::hostCompatibilityText, 0};

	const char* quorvalePluginId() { return Quorvale::GraphPlugin::id(); }

	Quorvale::PluginBase* quorvaleCreatePlugin() { return new Quorvale::GraphPlugin(); }
}

namespace
{
	// Lists the plug-in as loaded from the moment the library is mapped until it is unloaded.
	const Quorvale::PluginAutoRegistrationGuard autoRegistrationGuard(&Quorvale::GraphPlugin::id);
}
