#pragma once

#include "src/graph/Graph.h"

#include <optional>

namespace Quorvale
{
	class SharedImage;

	/// Common features written into a graph in place: edge lengths, vessel diameters measured in a
	/// label image, cross-sectional areas and node degrees. Each returns the index of the feature it
	/// wrote, created with default 0.0 when the graph had none.
	///
	/// Diameters are measured in the plane through each edge's midpoint perpendicular to the edge,
	/// in the label image's pixel grid (graph coordinates → world → pixel): a sample counts as inside
	/// the vessel when the nearest voxel (channel 0) holds a value greater than `threshold`. Label
	/// images of unsigned 8-bit, unsigned 16-bit and float pixels can be measured; for any other the
	/// measuring functions return nullopt and change nothing. Edges are measured in parallel; the
	/// result does not depend on the thread count. With `averageZeroEdges`, an edge measured 0 then
	/// takes the mean of the positive diameters of the nearest edges around it.
	namespace GraphFeatures
	{
		/// Edge feature "length": the distance between the edge's two node positions, in graph
		/// coordinates.
		int computeEdgeLengths(Graph& graph);

		/// Edge feature "diameter" by circles of growing radius around the edge's midpoint: the radius
		/// where the first circle leaves the vessel, refined by bisection, doubled.
		std::optional<int> computeDiameters(Graph& graph, const SharedImage& labelImage, bool averageZeroEdges, double threshold);

		/// Edge feature "crossSection": π d² / 4 from the edge's "diameter". Throws
		/// std::bad_optional_access, changing nothing, when the graph has no "diameter" edge feature.
		int computeCrossSections(Graph& graph);

		/// Edge feature "diameter" by 36 rays with a trimmed mean, then clamped (with `clampEdges`)
		/// and median-smoothed (half window `slidingAverage`; disengaged or below 1 for none) along
		/// each linear segment, with factor 1.1.
		std::optional<int> computeVesselDiameters(Graph& graph, const SharedImage& labelImage, bool clampEdges,
		                                          std::optional<int> slidingAverage, bool averageZeroEdges, double threshold);

		/// Node feature "degree": the number of neighbour entries of each node.
		int computeDegrees(Graph& graph);
	}
}
