#pragma once

#include "host/lib/AlgorithmControllerFactory.h"

namespace Quorvale
{
	/// Gives the plug-in's algorithms their panels and registers the plug-in's data panel.
	class GraphPluginControllerFactory : public AlgorithmControllerFactory
	{
	public:
		GraphPluginControllerFactory();
		~GraphPluginControllerFactory() override;

		/// A new panel for one of the plug-in's algorithms (owned by the caller), or null.
		AlgorithmController* create(Algorithm* algorithm) const override;
	};
}
