#pragma once

#include <Eigen/Core>

namespace Quorvale
{
	class MemImage;
}

/// Resampling of CPU images onto other grids by the largest overlapping value.
namespace Quorvale::ImageResampling
{
	/// Fills `target` so that each of its voxels takes the largest `source` value whose voxel cell
	/// its own cell overlaps: a maximum over the covered voxels where the target is coarser, the
	/// nearest voxel where it is finer, and 0 (stored) where it overlaps no source voxel. Cells that
	/// merely touch do not overlap; NaN gives way to any number. Channel by channel.
	///
	/// `target` must have the element type and channel count of `source` (its dimensions are the
	/// grid to fill). `targetToSource` maps target voxel indices to source voxel indices (pixel
	/// coordinates, voxel centres at integers). When it is a scaling and shift (the axes parallel,
	/// as between any two grids of one orientation) the maximum is taken axis by axis over the
	/// source voxels the target needs: linear in the voxel counts and parallel. Otherwise every
	/// target cell takes the maximum over the source voxels overlapping its bounding box in source
	/// voxel coordinates. Throws std::invalid_argument for an untyped image.
	void resampleMaximum(const MemImage& source, MemImage& target, const Eigen::Matrix4d& targetToSource);
}
