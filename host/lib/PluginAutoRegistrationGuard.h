#pragma once

#include "host/core/NotCopyable.h"

#include <string>
#include <vector>

namespace Quorvale
{
	/// Records, for as long as it lives, that a plug-in library is mapped into the process. A plug-in
	/// library holds one at file scope, so its identifier is listed from load until unload (or exit).
	class PluginAutoRegistrationGuard : public Utils::NotCopyable
	{
	public:
		/// Function returning the plug-in identifier (static storage).
		using IdFunction = const char* (*)();

		/// Adds the identifier returned by `idFunction` to the process-wide list. A null function or a
		/// null or empty identifier is logged as an error and records nothing: the guard runs while a
		/// library is being loaded, where an exception would end the process.
		explicit PluginAutoRegistrationGuard(IdFunction idFunction);
		/// Removes one occurrence of the identifier from the list.
		~PluginAutoRegistrationGuard();

		/// The recorded identifier (empty when nothing was recorded).
		const std::string& pluginId() const { return m_pluginId; }

		/// Identifiers of all living guards, in construction order (an identifier appears once per guard).
		static std::vector<std::string> registeredPluginIds();

	private:
		std::string m_pluginId;
	};
}
