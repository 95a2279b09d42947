#include "host/gui/GlSliceView.h"

#include <Eigen/Geometry>

#include <QFont>
#include <QGuiApplication>
#include <QPainter>

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

		/// Wheel degrees per slice: one notch of a common wheel.
		constexpr double DegreesPerSlice = 15.0;
		/// Slices per Page Up / Page Down.
		constexpr int PageSlices = 10;
	}

	GlSliceView::GlSliceView(int axis)
	    : m_slice(axis)
	{
	}

	GlSliceView::~GlSliceView() = default;

	void GlSliceView::setImage(SharedImageSet* image)
	{
		if (image != m_slice.image())
			m_slice.setIndex(-1);
		m_slice.setImage(image);
		GlView::setImage(image);
	}

	void GlSliceView::resetCamera()
	{
		m_zoom = 1.0;
		m_pan.setZero();
		m_wheelRest = 0.0;
	}

	bool GlSliceView::wheel(double degrees, Qt::KeyboardModifiers modifiers)
	{
		if (modifiers & Qt::ControlModifier)
			return false;
		if (modifiers & Qt::ShiftModifier)
		{
			m_zoom = std::clamp(m_zoom * std::pow(1.1, degrees / DegreesPerSlice), 0.05, 50.0);
			return true;
		}
		// A turn the other way starts afresh.
		m_wheelRest = m_wheelRest * degrees < 0.0 ? degrees : m_wheelRest + degrees;
		const double slices = std::trunc(m_wheelRest / DegreesPerSlice);
		m_wheelRest -= slices * DegreesPerSlice;
		return m_slice.step(static_cast<int>(slices));
	}

	bool GlSliceView::key(int key, Qt::KeyboardModifiers)
	{
		switch (key)
		{
			case Qt::Key_Up:
			case Qt::Key_Right: return m_slice.step(1);
			case Qt::Key_Down:
			case Qt::Key_Left: return m_slice.step(-1);
			case Qt::Key_PageUp: return m_slice.step(PageSlices);
			case Qt::Key_PageDown: return m_slice.step(-PageSlices);
			default: return false;
		}
	}

	bool GlSliceView::mouseDrag(const QPoint& from, const QPoint& to, Qt::MouseButtons buttons)
	{
		if (!(buttons & Qt::MiddleButton))
			return false;
		// The scene follows the cursor: the camera moves the other way. Widget y runs down.
		const auto [right, up] = viewState().unprojectPixelIncrement(viewState().unproject(Eigen::Vector3d(0.0, 0.0, 0.5)));
		const QPoint d = to - from;
		m_pan -= d.x() * right - d.y() * up;
		return d != QPoint();
	}

	std::string GlSliceView::orientationName() const
	{
		static const char* const names[] = {"Sagittal", "Coronal", "Axial"};
		return names[m_slice.axis()];
	}

	std::string GlSliceView::label() const
	{
		if (m_slice.count() == 0)
			return orientationName();
		return orientationName() + "  slice " + std::to_string(m_slice.index() + 1) + " of " + std::to_string(m_slice.count());
	}

	void GlSliceView::annotate(QPainter& painter, const QRect& rect, double scale) const
	{
		// Text needs the fonts of a GUI application; a render without one (a tool, a benchmark) goes without.
		if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
			return;
		painter.save();
		QFont font("DejaVu Sans");
		font.setPixelSize(static_cast<int>(std::lround(12 * scale)));
		painter.setFont(font);
		const QString text = QString::fromStdString(label());
		const int margin = static_cast<int>(std::lround(6 * scale));
		const QRect area = rect.adjusted(margin, margin, -margin, -margin);
		// A dark shadow keeps the text legible over bright slices.
		painter.setPen(Qt::black);
		painter.drawText(area.translated(1, 1), Qt::AlignLeft | Qt::AlignBottom, text);
		painter.setPen(QColor(255, 220, 120));
		painter.drawText(area, Qt::AlignLeft | Qt::AlignBottom, text);
		painter.restore();
	}

	GL::ViewState GlSliceView::computeViewState(int width, int height) const
	{
		Eigen::Vector3d right, up;
		screenAxes(m_slice.axis(), right, up);
		const Eigen::Vector3d back = right.cross(up);
		Geometry::AlignedBox box = sceneBounds();
		if (box.isEmpty())
			box = Geometry::AlignedBox(Eigen::Vector3d::Constant(-1.0), Eigen::Vector3d::Constant(1.0));
		Eigen::Vector3d eye = box.center() + m_pan;
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
		return {view, GL::ViewState::ortho(-halfWidth, halfWidth, -halfHeight, halfHeight, -depth, depth),
		        Eigen::Vector4i(0, 0, width, height)};
	}

	void GlSliceView::drawBackground()
	{
		m_slice.draw(viewState());
		if (m_slice.isWaiting())
			setIncomplete();
	}
}
