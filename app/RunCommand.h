#pragma once

#include <string>
#include <vector>

namespace CLI
{
	class App;
}

namespace Quorvale
{
	class Algorithm;
	class Data;
	class ProgramContext;

	/// The `run` subcommand: `run ID INPUT... [--set name=value]... [-o OUTPUT]` creates the algorithm
	/// on the loaded inputs as the host would, sets its parameters, runs it and writes what it made
	/// (named after its file when it has no name), or the input it changed in place (of the kind
	/// `AlgorithmTraits::resultKind` names, when known). An input/output algorithm reads its one input
	/// file and the result is written like `convert` writes. Exits 1 and writes nothing when no plug-in
	/// was loaded, the output cannot be written or cannot hold what the algorithm gives (both checked
	/// before computing), the algorithm fails or logs an error, or it builds new data and made none.
	/// `run ID --help` also lists the algorithm's inputs and parameters.
	namespace RunCommand
	{
		/// Adds the subcommand to the program's command line.
		void add(CLI::App& app, ProgramContext& context);

		/// Runs the algorithm through the host's runner, with a progress bar when standard error is a
		/// terminal. Throws std::runtime_error "Algorithm <id> failed with status N (meaning): <last
		/// error>" unless it finished, and "Algorithm <id> reported an error: <last error>" when it
		/// finished but logged an error; the program's hint (`AlgorithmTraits::failureHint`) follows the
		/// error in parentheses, or stands in for it. Returns the last warning it logged, or empty.
		std::string compute(Algorithm& algorithm, const std::string& id);

		/// The files the results of algorithm `algorithmId` are written to. With `output`: that path for
		/// one result, for several its stem with "-1", "-2", ... and its extension. Without:
		/// "<identifier without factory>-<data name>" plus the extension of the first format that holds
		/// the data, in the current folder (numbered when names repeat). Throws std::runtime_error when
		/// no format holds a result.
		std::vector<std::string> outputPaths(const std::vector<const Data*>& results, const std::string& output,
		                                     const std::string& algorithmId);
	}
}
