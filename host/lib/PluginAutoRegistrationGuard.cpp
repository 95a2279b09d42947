#include "host/lib/PluginAutoRegistrationGuard.h"

#include <algorithm>
#include <mutex>

#include "host/core/Log.h"

namespace Quorvale
{
	namespace
	{
		struct GuardList
		{
			std::mutex mutex;
			std::vector<std::string> ids;
		};

		GuardList& guardList()
		{
			// Never destroyed: guards of plug-in libraries are destroyed at exit in an order we do
			// not control, possibly after this library's own static objects.
			static GuardList* list = new GuardList;
			return *list;
		}

		std::string idFrom(PluginAutoRegistrationGuard::IdFunction idFunction)
		{
			const char* id = idFunction ? idFunction() : nullptr;
			if (!id || !*id)
			{
				Log::error("A plug-in library registered itself without an identifier; it is not listed as loaded", "Core.Plugin");
				return {};
			}
			return id;
		}
	}

	PluginAutoRegistrationGuard::PluginAutoRegistrationGuard(IdFunction idFunction)
	    : m_pluginId(idFrom(idFunction))
	{
		if (m_pluginId.empty())
			return;
		std::lock_guard lock(guardList().mutex);
		guardList().ids.push_back(m_pluginId);
	}

	PluginAutoRegistrationGuard::~PluginAutoRegistrationGuard()
	{
		if (m_pluginId.empty())
			return;
		std::lock_guard lock(guardList().mutex);
		auto& ids = guardList().ids;
		auto it = std::find(ids.rbegin(), ids.rend(), m_pluginId);
		if (it != ids.rend())
			ids.erase(std::next(it).base());
	}

	std::vector<std::string> PluginAutoRegistrationGuard::registeredPluginIds()
	{
		std::lock_guard lock(guardList().mutex);
		return guardList().ids;
	}
}
