#pragma once

#include <optional>

namespace Quorvale
{
	class DataList;
	class Graph;
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
	}
}
