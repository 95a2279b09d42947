#pragma once

#include "host/lib/TypedImage.h"

#include <Eigen/Core>

#include <memory>

namespace Quorvale
{
	/// Exact Euclidean distance transforms: separable lower envelopes of parabolas, one pass per
	/// axis, each run in parallel over the lines of that axis. Linear in the voxel count. An axis of
	/// one voxel (z of a 2-D image) takes no part.
	namespace DistanceTransform
	{
		/// A float image of the grid and spacing of `image`: with `inside`, every voxel whose
		/// channel `channel` is non-zero gets the distance to the nearest zero voxel, voxels outside
		/// the image counting as zero voxels, and zero voxels get 0. Without `inside`, every zero
		/// voxel gets the distance to the nearest non-zero voxel and non-zero voxels get 0
		/// (+infinity everywhere when there is none). With `useSpacing` the distance is in
		/// millimetres between voxel centres, each axis weighted by its spacing; otherwise in voxel
		/// steps. Throws std::out_of_range for a channel the image does not have.
		std::unique_ptr<TypedImage<float>> computeChamfer(const TypedImage<unsigned char>& image, bool inside, bool useSpacing,
		                                                  int channel);

		/// The generalised transform in place on a grid of `dimensions` (x fastest, all positive):
		/// each entry f(p) of `field` (non-negative, +infinity allowed) becomes the smallest
		/// f(q) + |p - q|^2 over the voxels q, with each axis of p - q scaled by `spacing`. Started
		/// from 0 at the sites and +infinity elsewhere it gives the squared distance to the nearest
		/// site. With `outsideIsSite` every voxel outside the grid counts as a site (f = 0).
		void computeSquared(float* field, const Eigen::Vector3i& dimensions, const Eigen::Vector3d& spacing, bool outsideIsSite);
	}
}
