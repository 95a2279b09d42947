#pragma once

#include "host/lib/AlgorithmFactory.h"

namespace Quorvale
{
	/// The plug-in's algorithm registry: every graph algorithm under "Graph.<identifier>" with its
	/// menu name, in menu order.
	class GraphPluginFactory : public AlgorithmFactory
	{
	public:
		GraphPluginFactory();
		~GraphPluginFactory() override;
	};
}
