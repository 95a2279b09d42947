#include "app/AlgorithmsCommand.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/ProgramContext.h"
#include "host/lib/FactoryRegistry.h"

namespace Quorvale::AlgorithmsCommand
{
	namespace
	{
		/// Prints a header and one line per algorithm (identifier, menu name, "yes" for input/output
		/// algorithms) in the order the registry asks the factories and each factory registered them.
		/// Fails when a plug-in library was refused or none was found: the list is then incomplete.
		int listAlgorithms(ProgramContext& context)
		{
			const PluginManager::LoadResult& result = context.loadPlugins();

			std::vector<std::vector<std::string>> rows = {{"ALGORITHM", "MENU NAME", "I/O"}};
			for (const AlgorithmFactory* factory : FactoryRegistry::get().getAlgorithmFactories())
				for (const auto* descriptor : factory->algorithmDescriptors())
					rows.push_back({descriptor->id, descriptor->name, descriptor->isIo ? "yes" : "no"});

			size_t idWidth = 0;
			size_t nameWidth = 0;
			for (const auto& row : rows)
			{
				idWidth = std::max(idWidth, row[0].size());
				nameWidth = std::max(nameWidth, row[1].size());
			}
			for (const auto& row : rows)
				std::cout << row[0] << std::string(idWidth - row[0].size() + 2, ' ') << row[1]
				          << std::string(nameWidth - row[1].size() + 2, ' ') << row[2] << '\n';
			std::cout.flush();

			for (const auto& failure : result.failures)
				std::cerr << "quorvale: not loaded: " << failure.message << '\n';
			if (result.loaded.empty() && result.failures.empty())
				std::cerr << "quorvale: no plug-in libraries (lib*.so) in '" << context.pluginDirectory() << "'\n";
			return result.failures.empty() && !result.loaded.empty() ? 0 : 1;
		}
	}

	void add(CLI::App& app, ProgramContext& context)
	{
		CLI::App* command = app.add_subcommand("algorithms", "Load the plug-ins and list their algorithms in registration order");
		command->callback([&context] { context.setAction([&context] { return listAlgorithms(context); }); });
	}
}
