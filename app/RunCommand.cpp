#include "app/RunCommand.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>

#include <unistd.h>

#include <CLI/CLI.hpp>

#include "app/AlgorithmLookup.h"
#include "app/DataFiles.h"
#include "app/ParameterAssignment.h"
#include "app/ProgramContext.h"
#include "app/TerminalProgress.h"
#include "host/lib/Algorithm.h"
#include "host/lib/AlgorithmRunner.h"
#include "host/lib/Data.h"
#include "host/lib/DataList.h"

namespace Quorvale::RunCommand
{
	namespace
	{
		struct Options
		{
			std::string id;
			std::vector<std::string> inputs;
			std::vector<std::string> assignments;
			std::string output;
		};

		std::string statusMeaning(int status)
		{
			switch (status)
			{
				case Algorithm::Error: return "failed";
				case Algorithm::InvalidInput: return "invalid input";
				case Algorithm::IncompleteInput: return "incomplete input";
				default: return "unknown status";
			}
		}

		/// "image set 'a' (a.nii.gz), image set 'b' (b.nii.gz)"
		std::string describeInputs(const std::vector<std::unique_ptr<Data>>& inputs, const std::vector<std::string>& paths)
		{
			if (inputs.empty())
				return "no inputs";
			std::string out;
			for (size_t i = 0; i < inputs.size(); ++i)
				out += (i ? ", " : "") + DataFiles::describeKind(*inputs[i]) + " '" + inputs[i]->name() + "' (" + paths[i] + ")";
			return out;
		}

		/// A file-name-safe form of a data or algorithm name.
		std::string fileNamePart(const std::string& text)
		{
			std::string out;
			for (char c : text)
			{
				const bool safe =
				    (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
				out.push_back(safe ? c : '_');
			}
			return out;
		}

		const DataFiles::Format& requireFormat(const Data& data, const std::string& algorithmId)
		{
			const DataFiles::Format* format = DataFiles::formatFor(data);
			if (!format)
				throw std::runtime_error("Algorithm " + algorithmId + " produced " + DataFiles::describeKind(data) + " '" + data.name() +
				                         "', which no file format can hold (known: " + DataFiles::knownExtensions() + ")");
			return *format;
		}

		/// Turns every `--set name=value` into a parameter value of the algorithm.
		void setParameters(Algorithm& algorithm, const std::string& id, const std::vector<std::string>& assignments)
		{
			for (const std::string& text : assignments)
			{
				const auto assignment = ParameterAssignment::split(text);
				if (!assignment)
					throw std::runtime_error("--set expects name=value, got '" + text + "'. Parameters of " + id + ":\n" +
					                         ParameterAssignment::describeParameters(algorithm));
				try
				{
					ParameterAssignment::apply(algorithm, assignment->name, assignment->value);
				}
				catch (const std::runtime_error& e)
				{
					throw std::runtime_error(id + ": " + e.what());
				}
			}
		}

		int runAlgorithm(ProgramContext& context, const Options& options)
		{
			context.loadPlugins();
			// A wrong output name is cheaper to report before a long computation than after it. Plug-ins
			// bring file types of their own, so this comes after loading them.
			if (!options.output.empty() && !DataFiles::formatOf(options.output))
				throw std::runtime_error("Unknown file type of output '" + options.output + "'; known are " + DataFiles::knownExtensions());

			const AlgorithmFactory::Descriptor& descriptor = AlgorithmLookup::find(options.id);

			// Declared before the algorithm, so that the algorithm, which may refer to them, goes first.
			std::vector<std::unique_ptr<Data>> inputs;
			std::vector<std::string> inputPaths;
			DataList selection;
			for (const std::string& path : options.inputs)
				for (auto& data : DataFiles::load(path))
				{
					inputs.push_back(std::move(data));
					inputPaths.push_back(path);
					selection.add(inputs.back().get());
				}

			std::unique_ptr<Algorithm> algorithm = descriptor.create(selection);
			if (!algorithm)
				throw std::runtime_error("Algorithm " + descriptor.id +
				                         " does not accept the inputs given: " + describeInputs(inputs, inputPaths));

			setParameters(*algorithm, descriptor.id, options.assignments);

			compute(*algorithm, descriptor.id);

			OwningDataList handedOver = algorithm->takeOutput();
			std::vector<std::unique_ptr<Data>> outputs = handedOver.extractAll();
			std::vector<const Data*> results;
			for (const auto& data : outputs)
				if (data)
					results.push_back(data.get());
			// Nothing handed over: the algorithm worked on its input in place. That is the input the
			// output file's type holds (a painted mesh, not the graph that painted it), else the first
			// input that some file type holds.
			const DataFiles::Format* outputFormat = options.output.empty() ? nullptr : DataFiles::formatOf(options.output);
			if (results.empty() && outputFormat)
				for (const auto& input : inputs)
					if (outputFormat->holds(*input))
					{
						results.push_back(input.get());
						break;
					}
			if (results.empty())
				for (const auto& input : inputs)
					if (DataFiles::formatFor(*input))
					{
						results.push_back(input.get());
						break;
					}
			if (results.empty())
				throw std::runtime_error("Algorithm " + descriptor.id + " handed over no data and has no input that could be written");

			const auto paths = outputPaths(results, options.output, descriptor.id);
			// Check every result against its file's format first, so that a refusal leaves no partial output behind.
			for (size_t i = 0; i < results.size(); ++i)
			{
				const DataFiles::Format* format = DataFiles::formatOf(paths[i]);
				const std::string problem = format ? DataFiles::writeProblem(*format, *results[i]) : "unknown file type";
				if (!problem.empty())
					throw std::runtime_error("Cannot write " + DataFiles::describeKind(*results[i]) + " '" + results[i]->name() + "' to '" +
					                         paths[i] + "': " + problem);
			}
			for (size_t i = 0; i < results.size(); ++i)
			{
				DataFiles::save(*results[i], paths[i]);
				std::cout << "Wrote " << DataFiles::describeKind(*results[i]) << " '" << results[i]->name() << "' to " << paths[i] << '\n';
			}
			std::cout.flush();
			return 0;
		}
	}

	void compute(Algorithm& algorithm, const std::string& id)
	{
		std::optional<TerminalProgress> progress;
		if (isatty(STDERR_FILENO))
			progress.emplace(stderr);
		const int status = AlgorithmRunner::run(algorithm, progress ? &*progress : nullptr);
		if (progress)
			progress->finish();
		if (status != Algorithm::Success)
			throw std::runtime_error("Algorithm " + id + " failed with status " + std::to_string(status) + " (" + statusMeaning(status) + ")");
	}

	std::vector<std::string> outputPaths(const std::vector<const Data*>& results, const std::string& output, const std::string& algorithmId)
	{
		std::vector<std::string> paths;
		if (!output.empty())
		{
			if (results.size() == 1)
				return {output};
			const std::string extension = DataFiles::extensionOf(output);
			const std::string stem = output.substr(0, output.size() - extension.size());
			for (size_t i = 0; i < results.size(); ++i)
				paths.push_back(stem + "-" + std::to_string(i + 1) + extension);
			return paths;
		}

		const std::string algorithmName = algorithmId.substr(algorithmId.rfind('.') + 1);
		std::map<std::string, int> uses;
		std::vector<std::string> stems;
		for (const Data* data : results)
		{
			const std::string& name = data->name();
			stems.push_back(fileNamePart(algorithmName) + (name.empty() ? std::string() : "-" + fileNamePart(name)));
			++uses[stems.back()];
		}
		std::map<std::string, int> numbered;
		for (size_t i = 0; i < results.size(); ++i)
		{
			const std::string extension = requireFormat(*results[i], algorithmId).extensions.front();
			std::string stem = stems[i];
			if (uses[stem] > 1)
				stem += "-" + std::to_string(++numbered[stem]);
			paths.push_back(stem + extension);
		}
		return paths;
	}

	void add(CLI::App& app, ProgramContext& context)
	{
		auto options = std::make_shared<Options>();
		CLI::App* command = app.add_subcommand("run", "Run an algorithm on data files and write its results");
		command->add_option("ID", options->id, "Algorithm identifier (Factory.Name, or Name when only one factory has it)")->required();
		command->add_option("INPUT", options->inputs,
		                    "Input files, handed to the algorithm in this order (" + DataFiles::knownExtensions() + ")");
		command->add_option("--set", options->assignments, "Set a parameter: name=value (repeatable)")
		    ->allow_extra_args(false)
		    ->type_name("NAME=VALUE");
		command->add_option("-o,--output", options->output,
		                    "Output file; several results get -1, -2, ... before the extension (default: named after the algorithm and "
		                    "the result, in the current folder)");
		command->callback([&context, options] { context.setAction([&context, options] { return runAlgorithm(context, *options); }); });
	}
}
