#pragma once

#include <Eigen/Core>

namespace Quorvale::Geometry
{
	/// An infinite straight line in 3-D through a point along a direction.
	class Line
	{
	public:
		/// `direction` need not be unit length; a zero direction makes a line that is only its point.
		Line(const Eigen::Vector3d& point, const Eigen::Vector3d& direction);
		/// The line through two points.
		static Line throughPoints(const Eigen::Vector3d& a, const Eigen::Vector3d& b);

		const Eigen::Vector3d& point() const { return m_point; }
		/// Unit direction (zero for a degenerate line).
		const Eigen::Vector3d& direction() const { return m_direction; }

		/// Euclidean distance of `p` from the line.
		double distanceToPoint(const Eigen::Vector3d& p) const;

	private:
		Eigen::Vector3d m_point;
		Eigen::Vector3d m_direction;
	};
}
