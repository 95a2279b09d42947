#include "src/plugin/GraphDataAnnotationFactory.h"

#include <fmt/format.h>

#include "src/graph/Graph.h"

namespace Quorvale
{
	std::string GraphDataAnnotationFactory::dataDescription(const Data* data)
	{
		const auto* graph = dynamic_cast<const Graph*>(data);
		if (!graph)
			return {};
		return fmt::format("Graph with {} nodes and {} edges", graph->numNodes(), graph->numEdges());
	}

	std::unique_ptr<Data> GraphDataAnnotationFactory::cloneData(const Data* data)
	{
		const auto* graph = dynamic_cast<const Graph*>(data);
		if (!graph)
			return nullptr;
		return std::make_unique<Graph>(*graph);
	}
}
