#include "host/gui/GlVolumeView.h"

#include <Eigen/Geometry>

#include <algorithm>
#include <cmath>

namespace Quorvale
{
	namespace
	{
		constexpr double FieldOfView = 30.0 * 3.14159265358979323846 / 180.0;
		constexpr double StartTurn = -30.0;
		constexpr double StartTilt = 25.0;
	}

	GlVolumeView::GlVolumeView() { resetCamera(); }

	GlVolumeView::~GlVolumeView() = default;

	void GlVolumeView::setImage(SharedImageSet* image)
	{
		for (GlSlice& slice : m_slices)
			slice.setImage(image);
		GlView::setImage(image);
	}

	void GlVolumeView::resetCamera() { setCamera(StartTurn, StartTilt, 1.0); }

	void GlVolumeView::setCamera(double turn, double tilt, double zoom)
	{
		m_turn = std::fmod(turn, 360.0);
		m_tilt = std::clamp(tilt, -89.0, 89.0);
		m_zoom = std::clamp(zoom, 0.05, 50.0);
	}

	bool GlVolumeView::mouseDrag(const QPoint& from, const QPoint& to, Qt::MouseButtons buttons)
	{
		if (!(buttons & Qt::LeftButton))
			return false;
		const QPoint d = to - from;
		setCamera(m_turn - 0.5 * d.x(), m_tilt + 0.5 * d.y(), m_zoom);
		return true;
	}

	bool GlVolumeView::wheel(double degrees, Qt::KeyboardModifiers)
	{
		setCamera(m_turn, m_tilt, m_zoom * std::pow(1.1, degrees / 15.0));
		return true;
	}

	GL::ViewState GlVolumeView::computeViewState(int width, int height) const
	{
		Geometry::AlignedBox box = sceneBounds();
		if (box.isEmpty())
			box = Geometry::AlignedBox(Eigen::Vector3d::Constant(-1.0), Eigen::Vector3d::Constant(1.0));
		const Eigen::Vector3d centre = box.center();
		const double radius = std::max(box.size().norm() / 2.0, 1e-6);
		const double aspect = static_cast<double>(width) / height;
		// Far enough that the bounding sphere fits the narrower field of view.
		const double fit = std::min(FieldOfView, 2.0 * std::atan(std::tan(FieldOfView / 2.0) * aspect));
		const double distance = radius / std::sin(fit / 2.0) / m_zoom;
		const double turn = m_turn * 3.14159265358979323846 / 180.0;
		const double tilt = m_tilt * 3.14159265358979323846 / 180.0;
		// The scene's z axis points up; the camera starts in front of it (looking along +y).
		const Eigen::Vector3d direction(std::sin(turn) * std::cos(tilt), -std::cos(turn) * std::cos(tilt), std::sin(tilt));
		const Eigen::Vector3d eye = centre + distance * direction;
		const double near = std::max(distance - 2.0 * radius, distance * 0.01);
		const double far = distance + 2.0 * radius;
		return {GL::ViewState::lookAt(eye, centre, Eigen::Vector3d::UnitZ()), GL::ViewState::perspective(FieldOfView, aspect, near, far),
		        Eigen::Vector4i(0, 0, width, height)};
	}

	void GlVolumeView::drawBackground()
	{
		for (GlSlice& slice : m_slices)
		{
			slice.draw(viewState());
			if (slice.isWaiting())
				setIncomplete();
		}
	}
}
