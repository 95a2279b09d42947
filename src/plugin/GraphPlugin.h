#pragma once

#include "host/lib/QuorvaleLibPlugin.h"

#include <string>

namespace Quorvale
{
	/// The plug-in object of the graph library: the host creates it through `quorvaleCreatePlugin`
	/// and calls `init`, which registers the library's services with the host.
	class GraphPlugin : public QuorvaleLibPlugin
	{
	public:
		GraphPlugin() = default;
		~GraphPlugin() override;

		/// The plug-in identifier "Quorvale.Graph" (static storage).
		static const char* id();

		std::string author() const override;
		/// "Plugin for working with graphs".
		std::string description() const override;
		/// Registers the library's services with the host, in this order: the algorithm, panel and
		/// data-annotation factories (one registry call), then the data file's block handler for
		/// graphs. Returns `Success`; exceptions of the host's registration calls propagate.
		Status init() override;
	};
}
