#include "src/plugin/GraphPluginFactory.h"

#include "src/io/GraphMLIoAlgorithm.h"

namespace Quorvale
{
	GraphPluginFactory::GraphPluginFactory()
	    : AlgorithmFactory("Graph")
	{
		registerAlgorithm<GraphMLIoAlgorithm>("GraphMLIo", "IO;Graph (graphml)");
	}

	GraphPluginFactory::~GraphPluginFactory() = default;
}
