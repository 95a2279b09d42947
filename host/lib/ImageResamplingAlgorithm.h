#pragma once

#include "host/lib/Algorithm.h"
#include "host/lib/ImageDescriptorWorld.h"
#include "host/lib/SharedImageSet.h"

#include <memory>
#include <vector>

namespace Quorvale
{
	/// Resamples the selected images of a set (every image for an empty selection) onto given
	/// grids. Each output voxel takes the largest source value whose voxel cell its own cell
	/// overlaps: a maximum over the covered voxels where the target is coarser, the nearest voxel
	/// where it is finer, and 0 (stored) where it overlaps no source voxel. Cells that merely touch
	/// do not overlap. Element type, channels and storage mapping of each image are kept; the
	/// target descriptors give dimensions, spacing and placement only.
	///
	/// When source and target axes are parallel (a scaling and shift between the grids, as between
	/// any two grids of one orientation) the maximum is taken axis by axis over the source voxels
	/// the target needs: linear in the voxel counts and parallel. For rotated grids every target
	/// cell takes the maximum over the source voxels overlapping its bounding box in source voxel
	/// coordinates.
	class ImageResamplingAlgorithm : public Algorithm
	{
	public:
		/// How several source values are reduced to one; only the maximum is available.
		enum ReductionMode : int
		{
			Maximum = 3
		};

		/// Resamples `input`, which must outlive the algorithm, onto `targets`: one descriptor for
		/// every image, or one per image of the set.
		ImageResamplingAlgorithm(const SharedImageSet& input, std::vector<ImageDescriptorWorld> targets);
		~ImageResamplingAlgorithm() override;

		/// A `ReductionMode` value; any other makes `compute` fail with status 2.
		void setReductionMode(int mode) { m_reductionMode = mode; }
		int reductionMode() const { return m_reductionMode; }

		/// Builds the output set: the input's properties and matrix (`SharedImageSet::clone` without
		/// images) with one resampled image per selected image, placed by its target's matrix and
		/// keeping the source image's name and modality. Status 0; 2 with a logged error for an
		/// empty set, a target count that fits neither rule, an invalid target grid, an untyped
		/// image or an unknown reduction mode; 1 when an image cannot be allocated.
		void compute() override;
		/// The resampled set; the algorithm keeps nothing.
		OwningDataList takeOutput() override;

	private:
		const SharedImageSet& m_input;
		std::vector<ImageDescriptorWorld> m_targets;
		int m_reductionMode = Maximum;
		std::unique_ptr<SharedImageSet> m_output;
	};
}
