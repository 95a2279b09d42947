#include <cstdio>
#include <exception>
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
#include "host/lib/PluginDescriptor.h"

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

	/// Where to read on after a refused command line: the help of the command the parser was in.
	std::string helpHint(const CLI::App& app)
	{
		const std::vector<CLI::App*> chosen = app.get_subcommands();
		if (chosen.empty())
			return "'quorvale --help' describes the commands";
		return "'quorvale " + chosen.back()->get_name() + " --help' describes its options";
	}

	/// A command line the parser refused, said like every other error, with where to read on; an
	/// unknown command is named with the commands there are. Help and version are printed as asked.
	int refuse(CLI::App& app, const CLI::ParseError& error)
	{
		if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success))
			return app.exit(error);
		const std::vector<std::string> rest = app.remaining();
		if (dynamic_cast<const CLI::RequiredError*>(&error) && !rest.empty() && rest.front().rfind('-', 0) != 0)
		{
			std::string commands;
			for (const CLI::App* command : app.get_subcommands({}))
				commands += (commands.empty() ? "" : ", ") + command->get_name();
			Quorvale::ProgramContext::printError("Unknown command '" + rest.front() + "'; the commands are " + commands + " (" +
			                                     helpHint(app) + ")");
			return 1;
		}
		Quorvale::ProgramContext::printError(std::string(error.what()) + " (" + helpHint(app) + ")");
		return 1;
	}

	/// "quorvale 0.1.0 (plug-ins built for host version 4.5.0)": the version of the program and the
	/// host version that the plug-ins it loads must be built for.
	std::string versionText()
	{
		const std::string compatibility = Quorvale::PluginDescriptor::hostCompatibilityText;
		const std::string key = "hostversion=";
		const size_t start = compatibility.find(key) + key.size();
		return std::string("quorvale ") + QUORVALE_VERSION + " (plug-ins built for host version " +
		       compatibility.substr(start, compatibility.find('|', start) - start) + ")";
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
		app.set_version_flag("--version", versionText(), "Print the program's version and exit");
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
		ProgramContext::printError(e.what());
	}
	catch (...)
	{
		ProgramContext::printError("unknown exception");
	}
	return 1;
}
