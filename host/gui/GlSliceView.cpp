#include "host/gui/GlSliceView.h"

#include <Eigen/Geometry>

#include <algorithm>
#include <cmath>

namespace Quorvale
{
	namespace
	{
		/// Screen right, screen up and towards the viewer, as world axes, for a slice along `axis`.
		void screenAxes(int axis, Eigen::Vector3d& right, Eigen::Vector3d& up)
		{
			right = axis == 0 ? Eigen::Vector3d::UnitY() : Eigen::Vector3d::UnitX();
			up = axis == 2 ? Eigen::Vector3d::UnitY() : Eigen::Vector3d::UnitZ();
		}
	}

	GlSliceView::GlSliceView(int axis)
	    : m_slice(axis)
	{
	}

	GlSliceView::~GlSliceView() = default;

	void GlSliceView::setImage(SharedImageSet* image)
	{
		m_slice.setImage(image);
		GlView::setImage(image);
	}

	bool GlSliceView::wheel(int degrees)
	{
		m_zoom = std::clamp(m_zoom * std::pow(1.1, degrees / 15.0), 0.05, 50.0);
		return true;
	}

	GL::ViewState GlSliceView::computeViewState(int width, int height) const
	{
		Eigen::Vector3d right, up;
		screenAxes(m_slice.axis(), right, up);
		const Eigen::Vector3d back = right.cross(up);
		Geometry::AlignedBox box = sceneBounds();
		if (box.isEmpty())
			box = Geometry::AlignedBox(Eigen::Vector3d::Constant(-1.0), Eigen::Vector3d::Constant(1.0));
		Eigen::Vector3d eye = box.center();
		Eigen::Vector3d onPlane;
		if (m_slice.planePoint(onPlane))
			eye[m_slice.axis()] = onPlane[m_slice.axis()];
		const Eigen::Vector3d size = box.size();
		const double depth = size.norm() + 1.0;
		// Frame the box's extent on the screen axes with a small margin, keeping square pixels.
		double halfWidth = std::max(std::abs(size.dot(right)) * 0.55, 1e-6);
		double halfHeight = std::max(std::abs(size.dot(up)) * 0.55, 1e-6);
		const double aspect = static_cast<double>(width) / height;
		if (halfWidth / halfHeight < aspect)
			halfWidth = halfHeight * aspect;
		else
			halfHeight = halfWidth / aspect;
		halfWidth /= m_zoom;
		halfHeight /= m_zoom;
		Eigen::Matrix4d view = Eigen::Matrix4d::Identity();
		view.block<1, 3>(0, 0) = right.transpose();
		view.block<1, 3>(1, 0) = up.transpose();
		view.block<1, 3>(2, 0) = back.transpose();
		view.block<3, 1>(0, 3) = -(view.block<3, 3>(0, 0) * eye);
		return {view, GL::ViewState::ortho(-halfWidth, halfWidth, -halfHeight, halfHeight, -depth, depth), Eigen::Vector4i(0, 0, width, height)};
	}

	void GlSliceView::drawBackground() { m_slice.draw(viewState()); }
}
