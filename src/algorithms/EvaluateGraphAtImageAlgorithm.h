#pragma once

#include "host/core/Parameter.h"
#include "host/lib/Algorithm.h"
#include "src/graph/Graph.h"

#include <string>

namespace Quorvale
{
	class SharedImageSet;

	/// Samples an image at the midpoint of every edge (trilinear, channel 0, in the set's current
	/// image) and stores twice the value in the edge feature named by `edgeFeatureName`, which is
	/// created with default 0.0 when the graph has none of that name. Edits its input graph in place;
	/// a midpoint outside the image reads 0. The work is `GraphImageSampling::sampleAtEdgeMidpoints`.
	class EvaluateGraphAtImageAlgorithm : public Algorithm
	{
	public:
		/// Works on `graph` and `image`, which must outlive the algorithm.
		EvaluateGraphAtImageAlgorithm(Graph& graph, const SharedImageSet& image);
		~EvaluateGraphAtImageAlgorithm() override;

		/// True when `data` holds exactly two items, a graph and an image set (in either order); with
		/// `out`, stores a new algorithm on them there.
		static bool createCompatible(const DataList& data, Algorithm** out);

		/// Writes the feature; status 0. An empty `edgeFeatureName` is logged as an error and leaves
		/// graph and status as they were. An image set without images, or an image without numeric
		/// values, is logged as an error with status 2 and the graph unchanged.
		void compute() override;

		Parameter<std::string> edgeFeatureName{"edgeFeatureName", std::string(), this};

	private:
		Graph& m_graph;
		const SharedImageSet& m_image;
	};
}
