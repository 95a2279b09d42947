#include "app/ConvertCommand.h"

#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/DataFiles.h"
#include "app/ProgramContext.h"
#include "host/lib/Data.h"

namespace Quorvale::ConvertCommand
{
	namespace
	{
		struct Options
		{
			std::string input;
			std::string output;
		};

		int convert(ProgramContext& context, const Options& options)
		{
			// Plug-ins bring the file types of their data.
			context.loadPlugins();
			DataFiles::requireFileTarget(options.output);
			if (!DataFiles::formatOf(options.output))
				throw std::runtime_error("Unknown file type of output '" + options.output + "'; known are " + DataFiles::knownExtensions());
			DataFiles::requireWritable(options.output);
			const std::vector<std::unique_ptr<Data>> content = DataFiles::load(options.input);
			std::vector<const Data*> objects;
			for (const auto& data : content)
				objects.push_back(data.get());
			DataFiles::saveAll(objects, options.output);
			for (const Data* data : objects)
				std::cout << "Wrote " << DataFiles::describeKind(*data) << " '" << data->name() << "' to " << options.output << '\n';
			return 0;
		}
	}

	void add(CLI::App& app, ProgramContext& context)
	{
		auto options = std::make_shared<Options>();
		CLI::App* command = app.add_subcommand("convert", "Read a data file and write its content in the format of another file name");
		command->add_option("INPUT", options->input, "The file to read")->required();
		command->add_option("OUTPUT", options->output, "The file to write; its extension chooses the format")->required();
		command->callback([&context, options] { context.setAction([&context, options] { return convert(context, *options); }); });
	}
}
