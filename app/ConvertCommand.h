#pragma once

namespace CLI
{
	class App;
}

namespace Quorvale
{
	class ProgramContext;

	/// The `convert` subcommand: reads a data file and writes its content in the format of another.
	namespace ConvertCommand
	{
		/// Adds the subcommand to the program's command line.
		void add(CLI::App& app, ProgramContext& context);
	}
}
