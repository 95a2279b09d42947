#include "src/algorithms/AlgorithmInputs.h"

#include "host/lib/DataList.h"
#include "host/lib/SharedImageSet.h"
#include "src/graph/Graph.h"

namespace Quorvale::AlgorithmInputs
{
	std::optional<GraphAndImage> graphWithOptionalImage(const DataList& data)
	{
		const std::vector<Graph*> graphs = DataList::getGraphs(data);
		const std::vector<SharedImageSet*> images = data.getImages();
		if (graphs.size() != 1 || images.size() > 1 || static_cast<size_t>(data.size()) != graphs.size() + images.size())
			return std::nullopt;
		return GraphAndImage{graphs.front(), images.empty() ? nullptr : images.front()};
	}

	std::string featureNames(const std::vector<Graph::FeatureDescriptor>& descriptors)
	{
		std::vector<std::string> names;
		for (const Graph::FeatureDescriptor& descriptor : descriptors)
			names.push_back(descriptor.name);
		return joinStrings(names, ",");
	}
}
