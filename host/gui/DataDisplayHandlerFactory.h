#pragma once

#include "host/gui/DataDisplayHandler.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Quorvale
{
	/// The process-wide list of display handler types: plug-ins register a creator under a name, the
	/// host's display widgets create one handler of each kind.
	class DataDisplayHandlerFactory
	{
	public:
		using Creator = std::function<std::unique_ptr<DataDisplayHandler>()>;

		static DataDisplayHandlerFactory& get();

		/// Registers (or replaces) the creator of that name, logging "Registered display handler <name>"
		/// at debug level; false for an empty name or creator.
		static bool registerHandler(const std::string& name, Creator creator);
		/// Forgets the creator of that name (a plug-in being unloaded).
		static void unregisterHandler(const std::string& name);

		/// Names in registration order.
		std::vector<std::string> names() const;
		/// A new handler of that name, or null.
		std::unique_ptr<DataDisplayHandler> create(const std::string& name) const;

	private:
		std::vector<std::pair<std::string, Creator>> m_creators;
	};
}
