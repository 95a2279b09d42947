#include "host/gl/ViewState.h"

#include <Eigen/Geometry>
#include <Eigen/LU>

#include <cmath>

namespace Quorvale::GL
{
	ViewState::ViewState(const Eigen::Matrix4d& view, const Eigen::Matrix4d& projection, const Eigen::Vector4i& viewport)
	    : m_view(view)
	    , m_projection(projection)
	    , m_viewProjection(projection * view)
	    , m_inverse((projection * view).inverse())
	    , m_viewport(viewport)
	{
	}

	Eigen::Vector3d ViewState::project(const Eigen::Vector3d& world) const
	{
		const Eigen::Vector4d clip = m_viewProjection * world.homogeneous();
		const Eigen::Vector3d ndc = clip.head<3>() / clip.w();
		return {m_viewport[0] + (ndc.x() + 1.0) * 0.5 * m_viewport[2], m_viewport[1] + (ndc.y() + 1.0) * 0.5 * m_viewport[3],
		        (ndc.z() + 1.0) * 0.5};
	}

	Eigen::Vector3d ViewState::unproject(const Eigen::Vector3d& window) const
	{
		const Eigen::Vector4d ndc(2.0 * (window.x() - m_viewport[0]) / m_viewport[2] - 1.0,
		                          2.0 * (window.y() - m_viewport[1]) / m_viewport[3] - 1.0, 2.0 * window.z() - 1.0, 1.0);
		const Eigen::Vector4d world = m_inverse * ndc;
		return world.head<3>() / world.w();
	}

	std::pair<Eigen::Vector3d, Eigen::Vector3d> ViewState::unprojectPixelIncrement(const Eigen::Vector3d& world) const
	{
		const Eigen::Vector3d window = project(world);
		const Eigen::Vector3d origin = unproject(window);
		return {unproject(window + Eigen::Vector3d::UnitX()) - origin, unproject(window + Eigen::Vector3d::UnitY()) - origin};
	}

	Eigen::Vector3d ViewState::zDir() const
	{
		return m_view.block<1, 3>(2, 0).transpose().normalized();
	}

	Eigen::Matrix4d ViewState::ortho(double left, double right, double bottom, double top, double near, double far)
	{
		Eigen::Matrix4d m = Eigen::Matrix4d::Identity();
		m(0, 0) = 2.0 / (right - left);
		m(1, 1) = 2.0 / (top - bottom);
		m(2, 2) = -2.0 / (far - near);
		m(0, 3) = -(right + left) / (right - left);
		m(1, 3) = -(top + bottom) / (top - bottom);
		m(2, 3) = -(far + near) / (far - near);
		return m;
	}

	Eigen::Matrix4d ViewState::perspective(double fovY, double aspect, double near, double far)
	{
		const double f = 1.0 / std::tan(fovY / 2.0);
		Eigen::Matrix4d m = Eigen::Matrix4d::Zero();
		m(0, 0) = f / aspect;
		m(1, 1) = f;
		m(2, 2) = (far + near) / (near - far);
		m(2, 3) = 2.0 * far * near / (near - far);
		m(3, 2) = -1.0;
		return m;
	}

	Eigen::Matrix4d ViewState::lookAt(const Eigen::Vector3d& eye, const Eigen::Vector3d& centre, const Eigen::Vector3d& up)
	{
		const Eigen::Vector3d f = (centre - eye).normalized();
		const Eigen::Vector3d s = f.cross(up).normalized();
		const Eigen::Vector3d u = s.cross(f);
		Eigen::Matrix4d m = Eigen::Matrix4d::Identity();
		m.block<1, 3>(0, 0) = s.transpose();
		m.block<1, 3>(1, 0) = u.transpose();
		m.block<1, 3>(2, 0) = -f.transpose();
		m(0, 3) = -s.dot(eye);
		m(1, 3) = -u.dot(eye);
		m(2, 3) = f.dot(eye);
		return m;
	}
}
