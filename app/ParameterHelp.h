#pragma once

#include <map>
#include <string>

namespace Quorvale
{
	/// The program's own one-line descriptions of the graph plug-in's parameters, with their units,
	/// for listings: the plug-in gives a tooltip to few of them. A tooltip, where there is one, is
	/// the plug-in's own word and comes first (see `ParameterAssignment::describeParameters`).
	namespace ParameterHelp
	{
		/// The descriptions of the parameters of the algorithm `id` (full identifier), by parameter
		/// name; empty for an algorithm the program does not know.
		const std::map<std::string, std::string>& of(const std::string& id);
	}
}
