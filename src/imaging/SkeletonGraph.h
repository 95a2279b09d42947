#pragma once

#include "host/lib/ImageDescriptorWorld.h"
#include "host/lib/TypedImage.h"
#include "src/imaging/RawSkeletonGraph.h"

#include <Eigen/Core>

#include <cstdint>
#include <memory>

namespace Quorvale
{
	class Graph;
	class SharedImage;

	/// Turning a one-voxel-thin skeleton image into a graph: first a raw voxel graph (one node per
	/// connected skeleton voxel, edges to its 26 neighbours), thinned to the edges a path along the
	/// skeleton needs, then a `Graph` with the voxels' image coordinates as node positions.
	namespace SkeletonGraph
	{
		/// The raw voxel graph of channel 0 of `image`, read as its CPU elements: unsigned 8-bit,
		/// signed and unsigned 16-bit and float images are scanned by `buildRawSkeletonGraph`; any
		/// other element type gives an empty graph. With `simplify`, `simplifyRawSkeletonGraph` runs
		/// on the result.
		RawSkeletonGraph skeletonAsRawGraph(const SharedImage& image, bool simplify);

		/// The scan: every voxel whose value is not zero is linked to each of its 26 neighbours whose
		/// value is greater than 0.5, looking from each voxel only at the half of its neighbourhood
		/// ahead of it in scan order: the nine voxels of the next slice and, in its own slice, the
		/// offsets (dx, dy) = (0, -1), (-1, -1), (+1, -1), (+1, 0), (+1, +1). So a pair of voxels is
		/// linked when the voxel looking at the other is non-zero and the other above 0.5 (from
		/// either end for the same-slice diagonal (+1, +1)). The weight is |dx| + |dy| + |dz|.
		/// Nodes are the voxels with at least one edge. Stored values are compared, as double for the
		/// integer types and as float for float. Slices are scanned in parallel.
		template <typename T>
		RawSkeletonGraph buildRawSkeletonGraph(const TypedImage<T>& image);

		/// Removes the redundant heavier edges of the raw graph in place. For each node u in
		/// ascending order and each of its entries (v, w) with w >= 2, in ascending order on the graph
		/// as it stands, the edge u–v goes when some entry (x, wx) of v with wx <= w and x != u starts
		/// a detour to u (`hasAlternativePath(x, u, v, w, w - 1)`). Nodes that lose all their
		/// entries stay.
		void simplifyRawSkeletonGraph(RawSkeletonGraph& graph);

		/// True when some path of at most `depth` steps, each of weight at most `maxWeight`, leads
		/// from `current` to `target` and its last step does not start at `excluded`. Paths may
		/// revisit nodes; the depth bounds the search. Throws std::out_of_range ("invalid map<K, T>
		/// key") when a node it has to visit is missing.
		bool hasAlternativePath(const RawSkeletonGraph& graph, std::uint64_t current, std::uint64_t target, std::uint64_t excluded,
		                        int maxWeight, int depth);

		/// A new undirected `Graph` (two-dimensional when `descriptor` is): one node per raw node in
		/// ascending key order, numbered from 1, at the voxel's image coordinates (the descriptor's
		/// `pixelToImageMatrix`; z = 0 in a 2-D graph), and one edge without features per raw edge.
		/// The graph's matrix is the descriptor's `matrixToWorld`.
		///
		/// With a `potential` image (float, on the skeleton's grid) every position is moved down the
		/// potential by `refineNodeOnPotential`, with the potential's gradient in image units.
		/// A potential of another element type logs "Expected potential image to be of type float"
		/// and gives null.
		std::unique_ptr<Graph> rawSkeletonGraphToGraph(const RawSkeletonGraph& graph, const ImageDescriptorWorld& descriptor,
		                                               const SharedImage* potential);

		/// Moves `position` (image coordinates of `potential`) in steps of the smallest spacing
		/// against the gradient read at its starting voxel (`gradient`: three float channels in
		/// image units on the potential's grid), at most 100 steps, each kept only while the
		/// potential at the voxel reached is lower than before; a step whose voxel is outside the
		/// image, or that does not lower the potential, is undone and ends the descent. A starting
		/// voxel outside the image leaves the position as it is. Voxels are found by truncating the
		/// continuous pixel coordinates towards zero.
		void refineNodeOnPotential(Eigen::Vector3d& position, const SharedImage& potential, const SharedImage& gradient);
	}
}
