#pragma once

#include "src/graph/Graph.h"

#include <stdexcept>

namespace Quorvale
{
	class SharedImage;
	class SharedImageSet;

	/// Removing spurious terminal branches from a graph, in place. A terminal branch is the chain
	/// walked from a terminal node (exactly one neighbour entry) towards the first junction (more
	/// than two entries); the junction itself is never removed. Removal is a single pass: a node
	/// that becomes terminal through it is not examined again.
	namespace GraphPruning
	{
		/// A distance image that cannot be used; `what()` is the message for the log.
		struct Error : std::invalid_argument
		{
			using std::invalid_argument::invalid_argument;
		};

		/// The current image of `distanceImage` when it can serve as a distance image. Throws `Error`
		/// "Distance image not set." for null, "No valid distance image: require PixelType::Float."
		/// when the current image is missing or not 32-bit float.
		const SharedImage& distanceImageOf(const SharedImageSet* distanceImage);

		/// Removes every terminal branch strictly shorter than `threshold` (graph coordinates).
		void removeShortTerminalPaths(Graph& graph, double threshold);

		/// Removes every terminal branch strictly shorter than `sensitivity` times the largest value
		/// of `distanceImage` sampled along it: at the midpoint of each step, mapped through the
		/// graph's matrix to world and the image's world-to-pixel matrix, interpolated, 0 outside the
		/// image. Throws `Error` "No valid distance image: require PixelType::Float.", changing
		/// nothing, when the image is not 32-bit float.
		void removePathsDistanceBased(Graph& graph, const SharedImage& distanceImage, double sensitivity);

		/// Removes the nodes of terminal branches whose edge towards the junction has a "diameter"
		/// below `threshold`. Throws std::bad_optional_access, changing nothing, when the graph has
		/// terminal edges but no "diameter" edge feature.
		void removeThinTerminalEdges(Graph& graph, double threshold);
	}
}
