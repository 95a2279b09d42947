#include "app/PluginsCommand.h"

#include <algorithm>
#include <iostream>

#include <CLI/CLI.hpp>

#include "app/ProgramContext.h"

namespace Quorvale::PluginsCommand
{
	namespace
	{
		/// Prints one line per plug-in ("identifier  description") and the refusals on standard error.
		/// Fails when a library was refused or no plug-in was found.
		int listPlugins(ProgramContext& context)
		{
			const PluginManager::LoadResult& result = context.loadPlugins();

			size_t idWidth = 0;
			for (const auto& plugin : result.loaded)
				idWidth = std::max(idWidth, plugin.id.size());
			for (const auto& plugin : result.loaded)
				std::cout << plugin.id << std::string(idWidth - plugin.id.size() + 2, ' ') << plugin.description << '\n';
			std::cout.flush();

			// The log has shown each refusal as it happened; this recap keeps them together after the list.
			if (!result.failures.empty())
				std::cerr << "quorvale: not every plug-in could be loaded:\n";
			for (const auto& failure : result.failures)
				std::cerr << "  " << failure.message << '\n';
			if (result.loaded.empty() && result.failures.empty())
				std::cerr << "quorvale: no plug-in libraries (lib*.so) in '" << context.pluginDirectory() << "'\n";
			return result.failures.empty() && !result.loaded.empty() ? 0 : 1;
		}
	}

	void add(CLI::App& app, ProgramContext& context)
	{
		CLI::App* command = app.add_subcommand("plugins", "Load the plug-ins and list their identifiers and descriptions");
		command->callback([&context] { context.setAction([&context] { return listPlugins(context); }); });
	}
}
