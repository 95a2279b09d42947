#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <QtGlobal>
#include <QString>

#include "app/AlgorithmsCommand.h"
#include "app/ConsoleLogSink.h"
#include "app/ConvertCommand.h"
#include "app/DemoCommand.h"
#include "app/PluginsCommand.h"
#include "app/ProgramContext.h"
#include "app/RunCommand.h"
#include "app/ViewCommand.h"
#include "host/core/Log.h"

namespace
{
	/// Qt's messages on standard error, as Qt prints them, but for two that only say how this program
	/// runs Qt (without a session of its own, on the offscreen platform).
	void qtMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
	{
		if (message.contains("XDG_RUNTIME_DIR not set") || message.contains("does not support propagateSizeHints"))
			return;
		std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
	}

	/// A command line the parser refused: an unknown command is named with the commands there are.
	int refuse(CLI::App& app, const CLI::ParseError& error)
	{
		const std::vector<std::string> rest = app.remaining();
		if (!dynamic_cast<const CLI::RequiredError*>(&error) || rest.empty() || rest.front().rfind('-', 0) == 0)
			return app.exit(error) == 0 ? 0 : 1;
		std::string commands;
		for (const CLI::App* command : app.get_subcommands({}))
			commands += (commands.empty() ? "" : ", ") + command->get_name();
		std::cerr << "quorvale: error: Unknown command '" << rest.front() << "'; the commands are " << commands
		          << " ('quorvale --help' describes them)\n";
		return 1;
	}
}

int main(int argc, char** argv)
{
	using namespace Quorvale;

	Log::setMinimumLevel(Log::Info);
	Log::addSink(std::make_shared<ConsoleLogSink>());
	qInstallMessageHandler(qtMessages);

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
		ViewCommand::add(app, context);

		try
		{
			app.parse(argc, argv);
		}
		catch (const CLI::ParseError& e)
		{
			return refuse(app, e);
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
