#pragma once

#include "host/lib/PluginDescriptor.h"

/// The three entry points through which the host finds the graph plug-in (exported unmangled).
extern "C"
{
	/// The compatibility descriptor; its text is the host's compatibility text with no plug-in version.
	QUORVALE_PLUGIN_EXPORT extern const Quorvale::QuorvalePluginDescriptor quorvalePluginDescriptor;
	/// The plug-in identifier "Quorvale.Graph"; the same text as `GraphPlugin::id`.
	QUORVALE_PLUGIN_EXPORT const char* quorvalePluginId();
	/// A new `GraphPlugin`, owned by the caller.
	QUORVALE_PLUGIN_EXPORT Quorvale::PluginBase* quorvaleCreatePlugin();
}
