#pragma once

#include "src/graph/Graph.h"

#include <optional>
#include <string>
#include <vector>

namespace Quorvale
{
	class DataList;
	class SharedImageSet;

	/// The selections the graph algorithms accept.
	namespace AlgorithmInputs
	{
		/// A graph with an optional image set.
		struct GraphAndImage
		{
			Graph* graph = nullptr;
			SharedImageSet* image = nullptr; ///< null when the selection has none
		};

		/// The graph and image set of a selection of exactly one graph, at most one image set and
		/// nothing else; empty for any other selection.
		std::optional<GraphAndImage> graphWithOptionalImage(const DataList& data);

		/// The names of the features, in order, separated by commas: the "values" attribute of a
		/// parameter that names one of them.
		std::string featureNames(const std::vector<Graph::FeatureDescriptor>& descriptors);
	}
}
