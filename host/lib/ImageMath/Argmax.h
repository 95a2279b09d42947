#pragma once

#include <Eigen/Core>

#include <vector>

namespace Quorvale::ImageMath::internal
{
	/// Keeps, entry by entry, the vector with the larger fourth component: `best[i]` becomes
	/// `candidates[i]` when the candidate's fourth component is strictly larger, so of equal values
	/// the first one stays and a NaN candidate never replaces a value. Throws
	/// std::invalid_argument when the lists differ in length.
	void vec4argmax(std::vector<Eigen::Vector4d>& best, const std::vector<Eigen::Vector4d>& candidates);
}
