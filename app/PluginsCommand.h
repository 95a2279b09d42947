#pragma once

namespace CLI
{
	class App;
}

namespace Quorvale
{
	class ProgramContext;

	/// The `plugins` subcommand: loads the plug-ins and lists them.
	namespace PluginsCommand
	{
		/// Adds the subcommand to the program's command line.
		void add(CLI::App& app, ProgramContext& context);
	}
}
