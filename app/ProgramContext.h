#pragma once

#include "host/lib/PluginManager.h"

#include <functional>
#include <optional>
#include <string>

namespace CLI
{
	class App;
}

namespace Quorvale
{
	/// What the subcommands of the program share: the global options, the plug-ins and the action that
	/// the chosen subcommand leaves to run once the command line is parsed. Plug-ins are destroyed
	/// with the context, so it must outlive everything that uses them.
	class ProgramContext
	{
	public:
		/// Prints "quorvale: error: MESSAGE" on standard error: the one form of every error the program
		/// reports, whichever command and whatever part of it (the parser included) found it.
		static void printError(const std::string& message);

		/// Adds the options that every subcommand understands to the program's command line.
		void addGlobalOptions(CLI::App& app);

		/// The plug-in folder: --plugin-dir when given, else `PluginManager::defaultPluginDirectory`.
		std::string pluginDirectory() const;
		/// Loads every plug-in of `pluginDirectory` on the first call, and says why each refused library
		/// was refused (`printError`, "not loaded: ..."); later calls return the same result.
		const PluginManager::LoadResult& loadPlugins();
		/// `loadPlugins`, and throws std::runtime_error "No plug-ins loaded from 'DIR'" (adding that it
		/// holds no plug-in libraries when none was refused) when none was loaded: nothing can run then.
		const PluginManager::LoadResult& requirePlugins();
		PluginManager& pluginManager() { return m_pluginManager; }

		/// Sets what `run` does; called by a subcommand's parse callback.
		void setAction(std::function<int()> action);
		/// Runs the action and returns the program's exit code (1 when no subcommand set one). Throws
		/// std::runtime_error, running nothing, when QUORVALE_MEMORY_LIMIT is set to no amount of memory.
		int run();

	private:
		std::string m_pluginDirOption;
		PluginManager m_pluginManager;
		std::optional<PluginManager::LoadResult> m_loadResult;
		std::function<int()> m_action;
	};
}
