#pragma once

#include <Eigen/Core>

#include <utility>

namespace Quorvale::GL
{
	/// The camera of one rendering pass: view matrix (world to eye), projection (eye to clip) and the
	/// viewport in device pixels (x, y, width, height; y counts from the bottom row). Window coordinates
	/// are device pixels from the viewport's lower left corner plus a depth in [0, 1].
	class ViewState
	{
	public:
		ViewState() = default;
		ViewState(const Eigen::Matrix4d& view, const Eigen::Matrix4d& projection, const Eigen::Vector4i& viewport);

		const Eigen::Matrix4d& viewMatrix() const { return m_view; }
		const Eigen::Matrix4d& projectionMatrix() const { return m_projection; }
		const Eigen::Vector4i& viewport() const { return m_viewport; }
		/// projection * view.
		const Eigen::Matrix4d& viewProjection() const { return m_viewProjection; }

		/// Window coordinates (x, y in device pixels, depth in [0, 1]) of a world position.
		Eigen::Vector3d project(const Eigen::Vector3d& world) const;
		/// The world position at window coordinates (x, y, depth). In a slice view depth 0.5 lies on the
		/// slice plane.
		Eigen::Vector3d unproject(const Eigen::Vector3d& window) const;
		/// World vectors of one device pixel to the right and one up, at the depth of `world`.
		std::pair<Eigen::Vector3d, Eigen::Vector3d> unprojectPixelIncrement(const Eigen::Vector3d& world) const;
		/// Unit world direction from the scene towards the viewer (the eye's +z axis).
		Eigen::Vector3d zDir() const;

		/// Orthographic projection of the box [left, right] x [bottom, top] x [-far, -near] of eye space.
		static Eigen::Matrix4d ortho(double left, double right, double bottom, double top, double near, double far);
		/// Perspective projection with vertical field of view `fovY` (radians).
		static Eigen::Matrix4d perspective(double fovY, double aspect, double near, double far);
		/// View matrix of an eye at `eye` looking at `centre` with `up` pointing up.
		static Eigen::Matrix4d lookAt(const Eigen::Vector3d& eye, const Eigen::Vector3d& centre, const Eigen::Vector3d& up);

	private:
		Eigen::Matrix4d m_view = Eigen::Matrix4d::Identity();
		Eigen::Matrix4d m_projection = Eigen::Matrix4d::Identity();
		Eigen::Matrix4d m_viewProjection = Eigen::Matrix4d::Identity();
		Eigen::Matrix4d m_inverse = Eigen::Matrix4d::Identity();
		Eigen::Vector4i m_viewport = Eigen::Vector4i(0, 0, 1, 1);
	};
}
