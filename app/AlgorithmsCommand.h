#pragma once

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

		/// What a user needs to run the algorithm: identifier, menu name, what it does and the inputs it
		/// takes (from the program's table for the graph plug-in's algorithms, `AlgorithmTraits`; else
		/// found by offering it typical selections: image sets, a label map, a mesh, graphs when a
		/// plug-in reads GraphML; an input/output algorithm states its file types), what it hands over,
		/// and its parameters with type, default, allowed values and tooltip, as the algorithm shows them
		/// on the fullest typical selection it takes. Several lines, no final line break.
		std::string describe(const AlgorithmFactory::Descriptor& descriptor);
	}
}
