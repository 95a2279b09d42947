#pragma once

#include "src/graph/Graph.h"

#include <stdexcept>
#include <string>

namespace Quorvale
{
	class SharedImageSet;

	/// Reading image values into the features of a graph.
	namespace GraphImageSampling
	{
		/// An image that cannot be sampled; `what()` is the message for the log.
		struct Error : std::invalid_argument
		{
			using std::invalid_argument::invalid_argument;
		};

		/// Samples the current image of `images` at the midpoint of every edge (graph coordinates →
		/// world → pixel, trilinear, channel 0, 0 outside the image) and stores twice the value in edge
		/// feature `featureName`, appended with default 0.0 when the graph has none of that name.
		/// Returns its index. Throws `Error`, changing nothing, "The image set holds no image to
		/// sample" without a current image and "The image holds no numeric values to sample" for one
		/// whose pixel type is not numeric.
		int sampleAtEdgeMidpoints(Graph& graph, const SharedImageSet& images, const std::string& featureName);
	}
}
