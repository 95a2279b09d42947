#pragma once

#include "host/core/Geometry/AlignedBox.h"
#include "host/lib/ImageDescriptorWorld.h"

#include <Eigen/Core>

#include <memory>
#include <optional>

namespace Quorvale
{
	class SharedImage;
	class SharedImageSet;

	/// A label image as the centreline extraction and the curve shortening use it: its mask, a grid
	/// around its labels that the mask is resampled onto, and the distance image of the resampled
	/// mask. Pixel coordinates are those of the label image; spacings in its units (millimetres for
	/// a metric image).
	namespace LabelVolume
	{
		/// The mask of the set's current image in a clone of the set without its images (name,
		/// components, modality and matrix kept): an unsigned 8-bit image is copied as it is (label
		/// values kept), any other numeric type becomes 1 where its original value is above 0.5 and 0
		/// elsewhere. The mask has the image's matrix and the label-map modality. The set must hold an
		/// image; throws std::invalid_argument for one without typed elements.
		std::unique_ptr<SharedImageSet> binarise(const SharedImageSet& labels);

		/// The box, in pixel coordinates of `image`, over the smallest and largest voxel of every
		/// label of its channel 0 (0 and NaN are not labels); empty when there is no label.
		std::optional<Geometry::AlignedBox> labelBounds(const SharedImage& image);

		/// Samples per axis that cover `bounds` at `target` spacing: ceil(spacing · extent / target),
		/// with the descriptor's spacing and the box extent in pixels. Infinite or NaN where the
		/// product is; the caller decides which sizes it accepts.
		Eigen::Vector3d samplesAcross(const ImageDescriptorWorld& descriptor, const Geometry::AlignedBox& bounds, double target);

		/// How `gridAround` lays a grid out around the labels.
		struct GridLayout
		{
			/// Voxels beyond the labels' samples on each side of every axis.
			int margin = 1;
			/// An axis whose size would be even gets one more voxel, at its end.
			bool oddSizes = false;
			/// The grid is centred on the voxel nearest to the box centre (halves rounded away from
			/// zero) instead of on the box centre itself.
			bool centreOnVoxel = false;
		};

		/// The grid with the orientation and element type of `descriptor`, `target` spacing on every
		/// axis and `samples` + 2 `margin` voxels per axis (one more where `oddSizes` asks), centred on
		/// `bounds` as `layout` says. A 2-D descriptor gets one sample and spacing 1.0 in z. The
		/// samples must be whole numbers for which the sizes fit an int (z of a 2-D grid excepted);
		/// the metric flag of the descriptor is kept.
		ImageDescriptorWorld gridAround(const ImageDescriptorWorld& descriptor, const Geometry::AlignedBox& bounds,
		                                const Eigen::Vector3d& samples, double target, const GridLayout& layout);

		/// The set's current image resampled onto `grid`, each voxel the largest value its cell
		/// covers; null when the resampling gives no image.
		std::unique_ptr<SharedImageSet> resample(const SharedImageSet& set, const ImageDescriptorWorld& grid);

		/// The distance image of image 0 of `mask` (unsigned 8-bit): every voxel whose value is not 0
		/// gets the distance in spacing units to the nearest 0 voxel, voxels outside the image counting
		/// as 0, and 0 voxels get 0. One float image with the mask's grid, spacing and matrix.
		/// Distances are squared in single precision: see `finestSpacing` and `longestDistance`.
		std::unique_ptr<SharedImageSet> distanceImage(const SharedImageSet& mask);

		/// The finest spacing whose distances `distanceImage` resolves: the square root of the smallest
		/// normal float (about 1.08e-19). Finer spacings square into subnormal floats or 0.
		double finestSpacing();
		/// The longest distance that `distanceImage` holds: the square root of the largest float (about
		/// 1.84e19). Longer distances square into infinity.
		double longestDistance();
	}
}
