#include "src/plugin/GraphPluginFactory.h"

namespace Quorvale
{
	GraphPluginFactory::GraphPluginFactory()
	    : AlgorithmFactory("Graph")
	{
	}

	GraphPluginFactory::~GraphPluginFactory() = default;
}
