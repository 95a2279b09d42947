#pragma once

#include "host/lib/QuorvaleLibPlugin.h"
#include "src/plugin/Repository_QuorvaleGraph.h"

#include <memory>
#include <string>

namespace Quorvale
{
	/// The plug-in object of the graph library: the host creates it through `quorvaleCreatePlugin`
	/// and calls `init`, which registers the library's services with the host.
	class GraphPlugin : public QuorvaleLibPlugin
	{
	public:
		GraphPlugin();
		/// Removes the repository from the host before destroying it.
		~GraphPlugin() override;

		/// The plug-in identifier "Quorvale.Graph" (static storage).
		static const char* id();

		std::string author() const override;
		/// "Plugin for working with graphs".
		std::string description() const override;
		/// Registers the library's services with the host, in this order: the algorithm, panel and
		/// data-annotation factories (one registry call), the resource repository (kept by this
		/// object), the display handler "Quorvale.GraphDisplayHandler", then the data file's block
		/// handler for graphs. A second `init` keeps the repository of the first, which the host still
		/// refers to, rather than replacing it. Returns `Success`; exceptions of the host's
		/// registration calls propagate.
		Status init() override;

	private:
		/// Registered with the host's resource service from `init` until this object goes.
		std::unique_ptr<Repository_QuorvaleGraph> m_repository;
	};
}
