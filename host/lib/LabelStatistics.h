#pragma once

#include "host/lib/MemImage.h"

#include <Eigen/Core>

#include <map>

namespace Quorvale
{
	/// Measurements per label of a label image.
	namespace LabelStatistics
	{
		/// The voxel box of one label: inclusive integer pixel coordinates of its smallest and
		/// largest voxel per axis.
		struct Bounds
		{
			Eigen::Vector3i min;
			Eigen::Vector3i max;
		};

		/// The bounds of every label of channel 0, in ascending label order. Labels are the original
		/// values (storage mapping applied) other than 0 and NaN. Throws std::invalid_argument for an
		/// untyped image.
		std::map<double, Bounds> computeBounds(const MemImage& image);
	}
}
