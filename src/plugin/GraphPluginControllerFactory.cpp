#include "src/plugin/GraphPluginControllerFactory.h"

namespace Quorvale
{
	GraphPluginControllerFactory::GraphPluginControllerFactory()
	    : AlgorithmControllerFactory("Graph")
	{
	}

	GraphPluginControllerFactory::~GraphPluginControllerFactory() = default;

	AlgorithmController* GraphPluginControllerFactory::create(Algorithm* algorithm) const
	{
		if (!algorithm)
			return nullptr;
		return nullptr;
	}
}
