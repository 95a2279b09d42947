#pragma once

#include "app/ParameterAssignment.h"
#include "host/lib/AlgorithmFactory.h"

#include <string>

namespace CLI
{
	class App;
}

namespace Quorvale
{
	class ProgramContext;

	/// The `algorithms` subcommand: loads the plug-ins and lists every registered algorithm, or with
	/// an identifier describes that one.
	namespace AlgorithmsCommand
	{
		/// Adds the subcommand to the program's command line.
		void add(CLI::App& app, ProgramContext& context);

		/// What the algorithm takes, as `describe` says it on its "Input:" line.
		std::string inputs(const AlgorithmFactory::Descriptor& descriptor);

		/// What listings of the algorithm `id`'s parameters add to the parameters' own attributes: the
		/// program's descriptions (`ParameterHelp`) and the limits it knows in words (`AlgorithmTraits`).
		ParameterAssignment::ListingNotes listingNotes(const std::string& id);

		/// What a user needs to run the algorithm: identifier, menu name, what it does and the inputs it
		/// takes (from the program's table for the graph plug-in's algorithms, `AlgorithmTraits`; else
		/// found by offering it typical selections: image sets, a label map, a mesh, graphs when a
		/// plug-in reads GraphML; an input/output algorithm states its file types), what it hands over,
		/// and its parameters with type, default, allowed values and description, as the algorithm shows
		/// them on the fullest typical selection it takes (named by the smallest selection that shows them
		/// so). Several lines, no final line break.
		std::string describe(const AlgorithmFactory::Descriptor& descriptor);
	}
}
