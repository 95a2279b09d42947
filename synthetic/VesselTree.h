#pragma once

#include <Eigen/Core>

#include <cstdint>
#include <memory>
#include <vector>

namespace Quorvale
{
	class SharedImageSet;

	/// Synthetic vessel trees whose true centreline is known: the input of the demo, of the
	/// centreline tests and of the benchmarks.
	namespace SyntheticVessels
	{
		/// What `createVesselTree` builds.
		struct TreeSettings
		{
			/// Voxels per axis of the label volume; at least 32 on every axis.
			Eigen::Vector3i dimensions = Eigen::Vector3i::Constant(128);
			/// Voxel size in millimetres; anisotropic spacing is allowed.
			Eigen::Vector3d spacing = Eigen::Vector3d::Ones();
			/// The same seed with the same settings gives the same tree, voxel for voxel.
			std::uint64_t seed = 1;
			/// Anastomoses to add: tubes joining two branches, each closing a loop. Fewer are
			/// placed when no pair of branches leaves room for one (see `VesselTree::loops`).
			int loops = 2;
			/// Tiny bumps on the vessel walls, whose skeleton spurs a pruning step should remove.
			int spurs = 4;
		};

		/// A piece of the true centreline between two nodes of the tree (branch points or free
		/// ends), with no branch point inside. Segments of the tree run away from the root, so their
		/// radius never grows from `from` to `to`.
		struct Segment
		{
			/// Indices into `VesselTree::nodes`: `points.front()` is node `from`, `points.back()` node `to`.
			int from = 0;
			int to = 0;
			/// The centreline in world millimetres, at least two points.
			std::vector<Eigen::Vector3d> points;
			/// The vessel radius in millimetres at each point.
			std::vector<double> radii;
			/// True for an anastomosis, the tube that closes a loop.
			bool connector = false;
		};

		/// A bump on a vessel wall: a ball not on the true centreline.
		struct Bump
		{
			Eigen::Vector3d centre;
			double radius = 0.0;
		};

		/// A synthetic vessel tree: the label volume and its true centreline.
		struct VesselTree
		{
			/// One unsigned 8-bit image (1 inside a vessel, 0 outside), modality `Data::LabelMap`, the
			/// volume centred on the world origin with an identity matrix.
			std::unique_ptr<SharedImageSet> labels;
			/// Branch points and free ends of the centreline, in world millimetres.
			std::vector<Eigen::Vector3d> nodes;
			/// The centreline as segments between those nodes; together they form one connected
			/// graph with `loops` independent cycles.
			std::vector<Segment> segments;
			/// Indices of the nodes where three or more segments meet.
			std::vector<int> branchPoints;
			/// Indices of the nodes where exactly one segment ends.
			std::vector<int> freeEnds;
			/// The bumps painted onto the vessel walls; they have no centreline.
			std::vector<Bump> spurs;
			/// Anastomoses actually placed.
			int loops = 0;
			/// Levels of branching below the root segment.
			int generations = 0;

			/// Number of segment ends at node `node`.
			int degree(int node) const;
			/// Summed length of all segments in millimetres.
			double totalLength() const;
		};

		/// A deterministic vessel tree in a label volume of `settings.dimensions` voxels. The root
		/// (radius 4% of the shortest extent, at least three and at most ten coarsest voxels) enters near the
		/// middle of the lowest z slice and runs up; every branch bends gently and splits in two
		/// thinner (radius × 0.79), shorter branches at 30° to 45° on either side, for up to six
		/// generations and as long as the radius stays at least 1.5 voxels of the coarsest spacing.
		/// Vessels that are not joined keep about six coarsest voxels of clearance, and a child is
		/// long enough to show beyond that clearance from its sibling, so the tree grows with the
		/// volume's extent in coarsest voxels: about 2 branch points at 64, 6 at 96, 15 to 20 at
		/// 128 and 30 at 256, with loops from about 128 on (not for every seed). An anastomosis
		/// joins two branches away from their ends, its length between their walls at least two
		/// clearances, six of its radii and three of theirs, and the loop it closes leaves an open
		/// hole. Branches that would leave the volume (with a margin) or meet another vessel are
		/// cut short, and every tube has rounded ends.
		/// Throws std::invalid_argument for fewer than 32 voxels on an axis, a spacing that is not
		/// positive and finite, or negative loop or spur counts.
		VesselTree createVesselTree(const TreeSettings& settings);
	}
}
