#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

/// Marks a plug-in entry point as exported from its library whatever the default symbol visibility.
#define QUORVALE_PLUGIN_EXPORT __attribute__((visibility("default")))

namespace Quorvale
{
	class PluginBase;

	/// The data object a plug-in library exports as `quorvalePluginDescriptor`. The host reads it before
	/// running any of the plug-in's code, so its layout is fixed: a pointer, then eight zero bytes.
	struct QuorvalePluginDescriptor
	{
		/// The compatibility text the plug-in was built against (see `PluginDescriptor::hostCompatibilityText`).
		const char* compatibility;
		/// Always 0.
		std::uint64_t reserved;
	};

	static_assert(std::is_standard_layout_v<QuorvalePluginDescriptor> && std::is_trivial_v<QuorvalePluginDescriptor>);
	static_assert(sizeof(QuorvalePluginDescriptor) == sizeof(void*) + 8);

	/// The contract between the host and a plug-in library: entry point names and compatibility check.
	namespace PluginDescriptor
	{
		/// The compatibility text of this host. A plug-in's text must repeat it and may append its own version.
		inline constexpr const char* hostCompatibilityText =
		    "__QUORVALE_PLUGIN_V2_MAGIC_STRING__|hostversion=4.5.0|buildflags=MSC_VER:1929,IDL:0|pluginversion=";

		/// Exported names of the three entry points.
		inline constexpr const char* descriptorSymbol = "quorvalePluginDescriptor";
		inline constexpr const char* pluginIdSymbol = "quorvalePluginId";
		inline constexpr const char* createPluginSymbol = "quorvaleCreatePlugin";

		/// Signatures of the two function entry points.
		using PluginIdFunction = const char* (*)();
		using CreatePluginFunction = PluginBase* (*)();

		/// True when `compatibility` equals `hostCompatibilityText` up to and including "pluginversion="
		/// (anything after it is the plug-in's own version). Null is never compatible.
		bool isCompatible(const char* compatibility);
	}
}
