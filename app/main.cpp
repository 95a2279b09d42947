#include <exception>
#include <iostream>
#include <memory>

#include <CLI/CLI.hpp>

#include "app/AlgorithmsCommand.h"
#include "app/ConsoleLogSink.h"
#include "app/ConvertCommand.h"
#include "app/DemoCommand.h"
#include "app/PluginsCommand.h"
#include "app/ProgramContext.h"
#include "app/RunCommand.h"
#include "host/core/Log.h"

int main(int argc, char** argv)
{
	using namespace Quorvale;

	Log::setMinimumLevel(Log::Info);
	Log::addSink(std::make_shared<ConsoleLogSink>());

	try
	{
		ProgramContext context;
		CLI::App app{"Works with spatial graphs through the QuorvaleGraph plug-in.", "quorvale"};
		app.require_subcommand(1);
		// Global options may also follow the subcommand.
		app.fallthrough();
		context.addGlobalOptions(app);
		PluginsCommand::add(app, context);
		AlgorithmsCommand::add(app, context);
		RunCommand::add(app, context);
		ConvertCommand::add(app, context);
		DemoCommand::add(app, context);

		try
		{
			app.parse(argc, argv);
		}
		catch (const CLI::ParseError& e)
		{
			return app.exit(e) == 0 ? 0 : 1;
		}
		return context.run();
	}
	catch (const std::exception& e)
	{
		std::cerr << "quorvale: error: " << e.what() << '\n';
	}
	catch (...)
	{
		std::cerr << "quorvale: error: unknown exception\n";
	}
	return 1;
}
