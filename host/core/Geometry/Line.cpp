#include "host/core/Geometry/Line.h"

#include <Eigen/Geometry>

namespace Quorvale::Geometry
{
	Line::Line(const Eigen::Vector3d& point, const Eigen::Vector3d& direction)
	    : m_point(point)
	    , m_direction(direction.squaredNorm() > 0.0 ? direction.normalized() : Eigen::Vector3d::Zero())
	{
	}

	Line Line::throughPoints(const Eigen::Vector3d& a, const Eigen::Vector3d& b) { return Line(a, b - a); }

	double Line::distanceToPoint(const Eigen::Vector3d& p) const
	{
		const Eigen::Vector3d offset = p - m_point;
		return (offset - offset.dot(m_direction) * m_direction).norm();
	}
}
