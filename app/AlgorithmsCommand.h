#pragma once

namespace CLI
{
	class App;
}

namespace Quorvale
{
	class ProgramContext;

	/// The `algorithms` subcommand: loads the plug-ins and lists every registered algorithm.
	namespace AlgorithmsCommand
	{
		/// Adds the subcommand to the program's command line.
		void add(CLI::App& app, ProgramContext& context);
	}
}
