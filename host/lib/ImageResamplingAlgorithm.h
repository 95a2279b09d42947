#pragma once

#include "host/lib/Algorithm.h"
#include "host/lib/ImageDescriptorWorld.h"
#include "host/lib/SharedImageSet.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Quorvale
{
	/// Resamples the selected images of a set (every image for an empty selection) onto given
	/// grids with `ImageResampling::resampleMaximum`: each output voxel takes the largest source
	/// value whose voxel cell its own cell overlaps, 0 (stored) where it overlaps no source voxel.
	/// Element type, channels and storage mapping of each image are kept; the target descriptors
	/// give dimensions, spacing and placement only.
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
		/// The first reason the input, targets or mode cannot be used, or nothing.
		std::optional<std::string> invalidSettings() const;
		/// Image `i` of the input on its target grid; null with the status set and the reason logged.
		std::unique_ptr<SharedImage> resampleImage(int i);
		/// Logs `message` as an error, sets `status` and returns null.
		std::nullptr_t fail(int status, const std::string& message);

		const SharedImageSet& m_input;
		std::vector<ImageDescriptorWorld> m_targets;
		int m_reductionMode = Maximum;
		std::unique_ptr<SharedImageSet> m_output;
	};
}
