#pragma once

#include <memory>

namespace Quorvale
{
	class MemImage;
	class Progress;
}

/// Binary morphology on the non-zero voxels (stored values other than 0 and NaN) of one-channel
/// CPU images. Both operations work on the image in place (and return null) or on a copy (and
/// return the result); both throw std::invalid_argument for an untyped image.
namespace Quorvale::Morphology
{
	/// The closing with a ball of `radius` voxels (a disc in a 2-D image; 0 changes nothing),
	/// computed exactly through two Euclidean distance transforms, as if the image went on with
	/// background beyond its border; so it never removes a voxel. Voxels it adds get the value 1,
	/// the others keep theirs; a copy keeps the element type. The grid is padded by the radius
	/// while it works: throws std::length_error when that grid cannot be indexed or its distance
	/// field does not fit in memory (`MemoryLimit`).
	std::unique_ptr<MemImage> close(MemImage& image, int radius, bool inPlace);

	/// The curve skeleton of `Skeletonization::thin`, 1 on the skeleton and 0 elsewhere: written
	/// into the image (keeping its element type) in place, else a new unsigned 8-bit image of the
	/// same grid. `progress` (may be null) receives the thinning's progress.
	std::unique_ptr<MemImage> skeleton(MemImage& image, bool inPlace, Progress* progress);
}
