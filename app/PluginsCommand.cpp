#include "app/PluginsCommand.h"

#include <algorithm>
#include <iostream>

#include <CLI/CLI.hpp>

#include "app/ProgramContext.h"

namespace Quorvale::PluginsCommand
{
	namespace
	{
		/// Prints one line per plug-in ("identifier  description"). Fails when a library was refused
		/// (`ProgramContext::loadPlugins` says why) or no plug-in was found.
		int listPlugins(ProgramContext& context)
		{
			const PluginManager::LoadResult& result = context.requirePlugins();

			size_t idWidth = 0;
			for (const auto& plugin : result.loaded)
				idWidth = std::max(idWidth, plugin.id.size());
			for (const auto& plugin : result.loaded)
				std::cout << plugin.id << std::string(idWidth - plugin.id.size() + 2, ' ') << plugin.description << '\n';
			std::cout.flush();
			return result.failures.empty() ? 0 : 1;
		}
	}

	void add(CLI::App& app, ProgramContext& context)
	{
		CLI::App* command = app.add_subcommand("plugins", "Load the plug-ins and list their identifiers and descriptions");
		command->callback([&context] { context.setAction([&context] { return listPlugins(context); }); });
	}
}
