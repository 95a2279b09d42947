#include "host/gl/GlObject.h"

#include <Eigen/SVD>

namespace Quorvale
{
	GlObject::Sphere GlObject::boundsSpherical() const
	{
		const Geometry::AlignedBox box = bounds();
		if (box.isEmpty())
			return {};
		const Eigen::Matrix4d& m = matrix();
		// The largest singular value of the linear part bounds how far it stretches any vector.
		const double stretch = Eigen::JacobiSVD<Eigen::Matrix3d>(m.topLeftCorner<3, 3>()).singularValues()(0);
		Sphere sphere;
		sphere.center = m.topLeftCorner<3, 3>() * box.center() + m.topRightCorner<3, 1>();
		sphere.radius = 0.5 * box.size().norm() * stretch;
		return sphere;
	}

	bool GlObject::clippedAway() const
	{
		const Eigen::Vector3d normal = m_clipPlane.head<3>();
		const double length = normal.norm();
		// Without a plane nothing is clipped: the bounds, which may walk every vertex, are not needed.
		if (!(length > 0.0))
			return false;
		const Sphere sphere = boundsSpherical();
		if (sphere.radius < 0.0)
			return false;
		return (normal.dot(sphere.center) + m_clipPlane[3]) / length < -sphere.radius;
	}
}
