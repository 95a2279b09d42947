#include "app/RunCommand.h"

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>

#include <unistd.h>

#include <CLI/CLI.hpp>

#include "app/AlgorithmLookup.h"
#include "app/AlgorithmTraits.h"
#include "app/AlgorithmsCommand.h"
#include "app/ConsoleLogSink.h"
#include "app/DataFingerprint.h"
#include "app/DataFiles.h"
#include "app/ParameterAssignment.h"
#include "app/ProgramContext.h"
#include "app/TerminalProgress.h"
#include "host/core/Log.h"
#include "host/core/String.h"
#include "host/lib/Algorithm.h"
#include "host/lib/AlgorithmRunner.h"
#include "host/lib/Data.h"
#include "host/lib/DataList.h"
#include "host/lib/IoAlgorithm.h"

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
			bool help = false;
			CLI::App* command = nullptr;
			CLI::Option* inputOption = nullptr;
		};

		/// "Input files, ... (.nii.gz (NIfTI), ...)": the file types known once plug-ins are loaded.
		std::string inputHelp()
		{
			return "Input files, handed to the algorithm in this order (" + DataFiles::knownExtensions() + ")";
		}

		/// `run [ID] --help`: the subcommand's help, then what the algorithm takes and its parameters.
		int printHelp(const Options& options)
		{
			options.inputOption->description(inputHelp());
			std::cout << options.command->help("quorvale");
			if (!options.id.empty())
				std::cout << '\n' << AlgorithmsCommand::describe(AlgorithmLookup::find(options.id)) << '\n';
			std::cout.flush();
			return 0;
		}

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

		/// The algorithm's parameters as they stand, for messages.
		std::string parameterList(const Algorithm& algorithm, const std::string& id)
		{
			return "Parameters of " + id + ":\n" +
			       ParameterAssignment::describeParameters(algorithm, ParameterAssignment::ValueHeading::Current,
			                                               {AlgorithmsCommand::listingNotes(id).descriptions, {}});
		}

		/// Turns every `--set name=value` into a parameter value of the algorithm, created on the inputs
		/// `given` (described for messages). A value that the algorithm offers only on other inputs is
		/// refused with what it needs; other refusals list the parameters.
		void setParameters(Algorithm& algorithm, const std::string& id, const std::vector<std::string>& assignments,
		                   const std::string& given)
		{
			for (const std::string& text : assignments)
			{
				const auto assignment = ParameterAssignment::split(text);
				if (!assignment)
					throw std::runtime_error("--set expects name=value, got '" + text + "'. " + parameterList(algorithm, id));
				try
				{
					ParameterAssignment::apply(algorithm, assignment->name, assignment->value);
				}
				catch (const std::runtime_error& e)
				{
					if (const std::string needs = AlgorithmTraits::valueNeeds(id, assignment->name, assignment->value); !needs.empty())
						throw std::runtime_error(id + ": " + needs + "; given: " + given);
					const std::string hint = AlgorithmTraits::parameterHint(id, assignment->name);
					throw std::runtime_error(id + ": " + e.what() + ". " + parameterList(algorithm, id) +
					                         (hint.empty() ? std::string() : "\n" + hint));
				}
			}
		}

		/// Refuses, before anything is computed, an output that cannot be written: an unknown extension,
		/// a folder that is missing, not a folder or not writable (with the system's reason), a folder
		/// in place of the file. Without `output` the current folder must be writable.
		void checkOutputTarget(const std::string& output)
		{
			namespace fs = std::filesystem;
			std::error_code error;
			if (!output.empty())
			{
				DataFiles::requireFileTarget(output);
				if (!DataFiles::formatOf(output))
					throw std::runtime_error("Unknown file type of output '" + output + "'; known are " + DataFiles::knownExtensions());
				DataFiles::requireWritable(output);
			}
			fs::path folder = fs::path(output).parent_path();
			if (folder.empty())
				folder = ".";
			if (!fs::exists(folder, error))
				throw std::runtime_error("The output folder '" + folder.string() + "' does not exist");
			if (!fs::is_directory(folder, error))
				throw std::runtime_error("The output folder '" + folder.string() + "' is not a folder");
			// Creating a file says what permissions alone do not (a read-only file system, a full table).
			std::string probe = (folder / ".quorvale-write-test-XXXXXX").string();
			const int fd = mkstemp(probe.data());
			if (fd < 0)
				throw std::runtime_error("Cannot write into the output folder '" + folder.string() + "': " + std::strerror(errno));
			close(fd);
			fs::remove(probe, error);
		}

		/// "graph 'Graph' (g.graphml)"
		std::string describeInput(const Data& data, const std::string& path)
		{
			return DataFiles::describeKind(data) + " '" + data.name() + "' (" + path + ")";
		}

		/// Writes each result to its path, checking all of them first so that a refusal leaves no
		/// partial output behind.
		void writeResults(const std::vector<const Data*>& results, const std::vector<std::string>& paths,
		                  const std::function<bool(const Data&, const std::string&)>& writeOwn = {})
		{
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
				if (!writeOwn || !writeOwn(*results[i], paths[i]))
					DataFiles::save(*results[i], paths[i]);
				std::cout << "Wrote " << DataFiles::describeKind(*results[i]) << " '" << results[i]->name() << "' to " << paths[i] << '\n';
			}
			std::cout.flush();
		}

		/// The data that is there (not null) among what an algorithm handed over.
		std::vector<const Data*> present(const std::vector<std::unique_ptr<Data>>& handedOver)
		{
			std::vector<const Data*> results;
			for (const auto& data : handedOver)
				if (data)
					results.push_back(data.get());
			return results;
		}

		/// `run` of an input/output algorithm: reads the one input file with it, then writes what it read
		/// like `convert` does; a file of the algorithm's own type is written by it, with the same settings.
		int runIoAlgorithm(const AlgorithmFactory::Descriptor& descriptor, const Options& options)
		{
			auto created = descriptor.create(DataList());
			auto* reader = dynamic_cast<IoAlgorithm*>(created.get());
			if (!reader || reader->ioMode() != IoAlgorithm::IoMode::Read)
				throw std::runtime_error("Algorithm " + descriptor.id + " reads no files");
			std::string extensions;
			for (const std::string& extension : reader->supportedFileExtensions())
				extensions += (extensions.empty() ? "." : ", .") + extension;
			if (options.inputs.size() != 1)
				throw std::runtime_error("Algorithm " + descriptor.id + " reads one file (" + extensions + "); " +
				                         std::to_string(options.inputs.size()) + " given");
			const std::string& input = options.inputs.front();
			if (!reader->canLoad(input))
				throw std::runtime_error("Algorithm " + descriptor.id + " reads " + extensions + " files, not '" + input + "'");
			std::error_code error;
			if (!std::filesystem::is_regular_file(input, error))
				throw std::runtime_error("Input file not found: " + input);
			setParameters(*reader, descriptor.id, options.assignments, "'" + input + "'");

			reader->setLocation(input);
			compute(*reader, descriptor.id);
			std::vector<std::unique_ptr<Data>> read = reader->takeOutput().extractAll();
			std::vector<const Data*> results = present(read);
			if (results.empty())
				throw std::runtime_error("Algorithm " + descriptor.id + " read nothing from '" + input + "'; nothing was written");

			const auto ownType = [&](const std::string& path)
			{
				for (const std::string& extension : reader->supportedFileExtensions())
					if (DataFiles::extensionOf(path) == "." + String::toLowerCopy(extension))
						return true;
				return false;
			};
			writeResults(results, outputPaths(results, options.output, descriptor.id),
			             [&](const Data& data, const std::string& path)
			             {
				             if (!ownType(path))
					             return false;
				             auto writer = std::unique_ptr<Algorithm>(descriptor.create(DataList{const_cast<Data*>(&data)}));
				             auto* io = dynamic_cast<IoAlgorithm*>(writer.get());
				             if (!io || io->ioMode() != IoAlgorithm::IoMode::Write)
					             return false;
				             setParameters(*io, descriptor.id, options.assignments, "'" + input + "'");
				             io->setLocation(path);
				             compute(*io, descriptor.id);
				             return true;
			             });
			return 0;
		}

		/// The input files' data in the order given, each with the path it came from, and the
		/// selection handed to the algorithm.
		struct Inputs
		{
			std::vector<std::unique_ptr<Data>> data;
			std::vector<std::string> paths;
			DataList selection;
		};

		Inputs loadInputs(const std::vector<std::string>& files)
		{
			Inputs inputs;
			for (const std::string& path : files)
				for (auto& data : DataFiles::load(path))
				{
					inputs.data.push_back(std::move(data));
					inputs.paths.push_back(path);
					inputs.selection.add(inputs.data.back().get());
				}
			return inputs;
		}

		/// Whether `format` holds data of `kind`, by the kinds its description names ("mesh or point
		/// cloud"); the data file holds every kind.
		bool holdsKind(const DataFiles::Format& format, const std::string& kind)
		{
			if (format.holdsSeveral)
				return true;
			const std::string& kinds = format.dataKind;
			for (size_t start = 0; start <= kinds.size();)
			{
				const size_t end = std::min(kinds.find(" or ", start), kinds.size());
				if (kinds.compare(start, end - start, kind) == 0)
					return true;
				start = end + 4;
			}
			return false;
		}

		/// The inputs an in-place run may write: those of the kind the algorithm changes, when the
		/// program's table knows it, else all.
		std::vector<size_t> inPlaceCandidates(const std::string& kind, const Inputs& inputs)
		{
			std::vector<size_t> candidates;
			for (size_t i = 0; i < inputs.data.size(); ++i)
				if (kind.empty() || DataFiles::describeKind(*inputs.data[i]) == kind)
					candidates.push_back(i);
			return candidates;
		}

		/// Refuses, before anything is computed, an output whose file type cannot hold what the
		/// algorithm gives: the data it makes, or the input it changes in place.
		void checkOutputType(const std::string& id, const Algorithm& algorithm, const Inputs& inputs, const std::string& output)
		{
			const AlgorithmTraits::Result expected = AlgorithmTraits::result(id, algorithm);
			const std::string kind = AlgorithmTraits::resultKind(id);
			if (output.empty() || expected == AlgorithmTraits::Result::Unknown)
				return;
			const DataFiles::Format& format = *DataFiles::formatOf(output);
			const std::vector<size_t> candidates = inPlaceCandidates(kind, inputs);
			// Without such an input (a new graph to draw) it hands over what it made.
			if (expected == AlgorithmTraits::Result::NewData || candidates.empty())
			{
				if (!kind.empty() && !holdsKind(format, kind))
					throw std::runtime_error("Algorithm " + id + " makes " + (kind.front() == 'i' ? "an " : "a ") + kind +
					                         ", which cannot be written to '" + output + "': the " + format.name + " format holds " +
					                         format.dataKind + " data only");
				return;
			}
			std::string problem;
			for (size_t i : candidates)
				if ((problem = DataFiles::writeProblem(format, *inputs.data[i])).empty())
					return;
			throw std::runtime_error("Algorithm " + id + " changes its " + (kind.empty() ? "input" : kind + " input") +
			                         " in place, which cannot be written to '" + output + "': " + problem);
		}

		/// What an in-place run writes: its changed inputs, or one left as it was.
		struct InPlaceOutcome
		{
			std::vector<size_t> inputs;
			bool changed = false;
		};

		/// Worked in place: the changed inputs (of the kind the algorithm changes) are the result; when
		/// none changed, the first one that can be written, as it stands.
		InPlaceOutcome inPlaceResults(const std::string& kind, const Inputs& inputs, const std::vector<std::optional<std::uint64_t>>& before)
		{
			const std::vector<size_t> candidates = inPlaceCandidates(kind, inputs);
			InPlaceOutcome outcome;
			for (size_t i : candidates)
				if (DataFiles::formatFor(*inputs.data[i]) && (!before[i] || DataFingerprint::of(*inputs.data[i]) != before[i]))
					outcome.inputs.push_back(i);
			outcome.changed = !outcome.inputs.empty();
			for (size_t k = 0; k < candidates.size() && outcome.inputs.empty(); ++k)
				if (DataFiles::formatFor(*inputs.data[candidates[k]]))
					outcome.inputs.push_back(candidates[k]);
			return outcome;
		}

		/// Says what became of the inputs written: changed (in their own file only when written back
		/// to it) or left as they were.
		void reportInPlace(const InPlaceOutcome& outcome, const Inputs& inputs, const std::vector<std::string>& paths, const std::string& warning)
		{
			for (size_t k = 0; k < outcome.inputs.size(); ++k)
			{
				const size_t i = outcome.inputs[k];
				std::error_code error;
				if (!outcome.changed)
					std::cout << "Left " << describeInput(*inputs.data[i], inputs.paths[i]) << " unchanged"
					          << (warning.empty() ? std::string() : " (last warning: " + warning + ")") << '\n';
				else if (std::filesystem::equivalent(paths[k], inputs.paths[i], error))
					std::cout << "Changed " << describeInput(*inputs.data[i], inputs.paths[i]) << " in place\n";
				else
					std::cout << "Changed " << DataFiles::describeKind(*inputs.data[i]) << " '" << inputs.data[i]->name() << "' read from "
					          << inputs.paths[i] << " (that file is left as it was)\n";
			}
		}

		/// Data without a name is named after the file it is written to.
		void nameAfterFiles(const std::vector<std::unique_ptr<Data>>& outputs, const std::vector<const Data*>& results,
		                    const std::vector<std::string>& paths)
		{
			for (const auto& data : outputs)
				for (size_t k = 0; k < results.size(); ++k)
					if (data.get() == results[k] && data->name().empty())
					{
						const std::string file = std::filesystem::path(paths[k]).filename().string();
						data->setName(file.substr(0, file.size() - DataFiles::extensionOf(file).size()));
					}
		}

		/// Computes the configured algorithm and writes what it made, or the input it changed in place.
		int computeAndWrite(Algorithm& algorithm, const std::string& id, const Inputs& inputs, const std::string& output)
		{
			std::vector<std::optional<std::uint64_t>> before;
			for (const auto& input : inputs.data)
				before.push_back(DataFingerprint::of(*input));

			const std::string warning = compute(algorithm, id);

			OwningDataList handedOver = algorithm.takeOutput();
			std::vector<std::unique_ptr<Data>> outputs = handedOver.extractAll();
			std::vector<const Data*> results = present(outputs);
			if (results.empty() && AlgorithmTraits::result(id, algorithm) == AlgorithmTraits::Result::NewData)
				throw std::runtime_error("Algorithm " + id + " made no data from " + describeInputs(inputs.data, inputs.paths) +
				                         "; nothing was written" + (warning.empty() ? std::string() : " (last warning: " + warning + ")"));
			if (!results.empty())
			{
				const std::vector<std::string> paths = outputPaths(results, output, id);
				nameAfterFiles(outputs, results, paths);
				writeResults(results, paths);
				return 0;
			}
			const InPlaceOutcome outcome = inPlaceResults(AlgorithmTraits::resultKind(id), inputs, before);
			if (outcome.inputs.empty())
				throw std::runtime_error("Algorithm " + id + " handed over no data and has no input that could be written");
			for (size_t i : outcome.inputs)
				results.push_back(inputs.data[i].get());
			const std::vector<std::string> paths = outputPaths(results, output, id);
			reportInPlace(outcome, inputs, paths, warning);
			writeResults(results, paths);
			return 0;
		}

		int runAlgorithm(ProgramContext& context, const Options& options)
		{
			if (options.help && options.id.empty())
			{
				context.loadPlugins();
				return printHelp(options);
			}
			context.requirePlugins();
			if (options.help)
				return printHelp(options);
			if (options.id.empty())
				throw std::runtime_error("run: the algorithm identifier is missing; 'quorvale algorithms' lists them");
			// An output that cannot be written is cheaper to report before a long computation than after
			// it. Plug-ins bring file types of their own, so this comes after loading them.
			checkOutputTarget(options.output);

			const AlgorithmFactory::Descriptor& descriptor = AlgorithmLookup::find(options.id);
			if (descriptor.isIo)
				return runIoAlgorithm(descriptor, options);

			// Declared before the algorithm, so that the algorithm, which may refer to them, goes first.
			Inputs inputs = loadInputs(options.inputs);
			std::unique_ptr<Algorithm> algorithm = descriptor.create(inputs.selection);
			const std::string given = describeInputs(inputs.data, inputs.paths);
			if (!algorithm)
				throw std::runtime_error("Algorithm " + descriptor.id + " does not accept the inputs given: " + given + ". It takes " +
				                         AlgorithmsCommand::inputs(descriptor));

			setParameters(*algorithm, descriptor.id, options.assignments, given);
			checkOutputType(descriptor.id, *algorithm, inputs, options.output);
			return computeAndWrite(*algorithm, descriptor.id, inputs, options.output);
		}
	}

	std::string compute(Algorithm& algorithm, const std::string& id)
	{
		std::optional<TerminalProgress> progress;
		if (isatty(STDERR_FILENO))
			progress.emplace(stderr);
		Log::ScopedCapture log;
		// The failure line below names the last error: the console holds it back rather than print it twice.
		ConsoleLogSink::ErrorHold held;
		const int status = AlgorithmRunner::run(algorithm, progress ? &*progress : nullptr);
		if (progress)
			progress->finish();
		const auto lastAt = [&log](int level)
		{
			const auto messages = log->messages(level);
			return messages.empty() ? std::string() : messages.back();
		};
		const std::string error = lastAt(Log::Error);
		if (status == Algorithm::Success && error.empty())
			return lastAt(Log::Warning);
		// The program's hint goes on the same line, after the algorithm's own message.
		const std::string hint = AlgorithmTraits::failureHint(id, algorithm, error);
		const std::string reason = error.empty() ? hint : hint.empty() ? error : error + " (" + hint + ")";
		held.drop(error);
		if (status != Algorithm::Success)
			throw std::runtime_error("Algorithm " + id + " failed with status " + std::to_string(status) + " (" + statusMeaning(status) + ")" +
			                         (reason.empty() ? std::string() : ": " + reason));
		throw std::runtime_error("Algorithm " + id + " reported an error: " + reason);
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
		options->command = command;
		// Help is printed after the plug-ins are loaded, with the algorithm's inputs and parameters.
		command->set_help_flag();
		command->add_flag("-h,--help", options->help, "Print this help; with ID also the algorithm's inputs and parameters");
		command->add_option("ID", options->id,
		                    "Algorithm identifier, required (Factory.Name, or Name when only one factory has it)");
		options->inputOption = command->add_option("INPUT", options->inputs, inputHelp());
		command->add_option("--set", options->assignments,
		                    "Set a parameter: name=value (repeatable); values outside the parameter's range are refused")
		    ->allow_extra_args(false)
		    ->type_name("NAME=VALUE");
		command->add_option("-o,--output", options->output,
		                    "Output file, whose extension chooses the format; several results get -1, -2, ... before the "
		                    "extension (default: named after the algorithm and the result, in the current folder)");
		command->footer("The results are written when the algorithm finished without error: the data it made, or the input it "
		                "changed in place (an unchanged input is written as it is, and said to be unchanged). An algorithm that "
		                "builds new data but made none, failed or logged an error ends the program with status 1 and writes nothing.");
		command->callback([&context, options] { context.setAction([&context, options] { return runAlgorithm(context, *options); }); });
	}
}
