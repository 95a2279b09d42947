#pragma once

#include "host/lib/Algorithm.h"
#include "host/lib/SharedImageSet.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace Quorvale
{
	/// Binary morphology on the non-zero voxels (stored values other than 0 and NaN) of the
	/// selected one-channel images of a set (every image for an empty selection).
	///
	/// - `Closing`: `Morphology::close` with a ball of radius `opSize` voxels (a disc in a 2-D
	///   image), as if the image went on with background beyond its border; so it never removes a
	///   voxel. Voxels it adds get the value 1, the others keep theirs.
	/// - `Skeletonization`: `Morphology::skeleton`, the curve skeleton of `Skeletonization::thin`,
	///   1 on the skeleton and 0 elsewhere.
	///
	/// In place, the images of the input set are changed (keeping their element type) and there is
	/// no output. Otherwise the output is a new set (the input's properties and matrix, see
	/// `SharedImageSet::clone` without images) with one result per selected image, keeping its
	/// name, matrix and modality: for the closing an image of the source's element type, for the
	/// skeleton an unsigned 8-bit one.
	class MorphologicalOperationsAlgorithm : public Algorithm
	{
	public:
		/// The operations; the other values of the host's numbering are not available.
		enum OpMode : int
		{
			Closing = 3,
			Skeletonization = 4
		};

		/// Works on `input`, which must outlive the algorithm.
		explicit MorphologicalOperationsAlgorithm(SharedImageSet& input);
		~MorphologicalOperationsAlgorithm() override;

		/// An `OpMode` value; any other makes `compute` fail with status 2.
		void setOpMode(int mode) { m_opMode = mode; }
		int opMode() const { return m_opMode; }
		/// Radius of the closing ball in voxels (0 changes nothing); a negative size makes the
		/// closing fail with status 2. The skeleton ignores it.
		void setOpSize(int size) { m_opSize = size; }
		int opSize() const { return m_opSize; }
		/// Whether to change the input images instead of making new ones (default false).
		void setInPlace(bool inPlace) { m_inPlace = inPlace; }
		bool inPlace() const { return m_inPlace; }

		/// Runs the operation. Status 0; 2 with a logged error for an empty set, an unknown mode, a
		/// negative closing size or an image that is untyped or has several channels; 1 when memory
		/// runs out.
		void compute() override;
		/// The new set when not in place; empty otherwise. The algorithm keeps nothing.
		OwningDataList takeOutput() override;

	private:
		/// The first reason the set, mode, size or a selected image cannot be used, or nothing.
		std::optional<std::string> invalidSettings() const;
		/// Runs the operation on `image`, the `n`th of `count` selected ones; the result as the
		/// `Morphology` functions return it.
		std::unique_ptr<MemImage> apply(SharedImage& image, std::size_t n, std::size_t count);

		SharedImageSet& m_input;
		int m_opMode = Closing;
		int m_opSize = 1;
		bool m_inPlace = false;
		std::unique_ptr<SharedImageSet> m_output;
	};
}
