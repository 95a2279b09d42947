#pragma once

#include "host/gui/GlSlice.h"
#include "host/gui/GlView.h"

namespace Quorvale
{
	/// A view of one axis-aligned slice: an orthographic camera looking along the slice's axis, framing
	/// the image (or the objects), the slice drawn under the objects, objects drawn without depth testing.
	/// The slice plane lies at depth 0.5. Kind 0 for a planar image, else 1.
	///
	/// Navigation: the wheel steps through the slices (one per notch, away from the user towards higher
	/// indices), the arrow keys by one (Up and Right forward) and Page Up / Page Down by ten; Shift+wheel
	/// zooms; a middle drag pans. Ctrl+wheel is left to the manipulators. The view names its
	/// orientation and slice in its lower left corner.
	class GlSliceView : public GlView
	{
	public:
		/// `axis`: 0 sagittal (looks along x), 1 coronal (y), 2 axial (z).
		explicit GlSliceView(int axis);
		~GlSliceView() override;

		int kind() const override { return m_slice.showsVolume() ? VolumeSlice : Planar; }
		/// A new image starts at its middle slice with the camera reset.
		void setImage(SharedImageSet* image) override;
		GlSlice& slice() { return m_slice; }
		const GlSlice& slice() const { return m_slice; }

		bool mouseDrag(const QPoint& from, const QPoint& to, Qt::MouseButtons buttons) override;
		bool wheel(double degrees, Qt::KeyboardModifiers modifiers = Qt::NoModifier) override;
		bool key(int key, Qt::KeyboardModifiers modifiers) override;
		void resetCamera() override;

		double zoom() const { return m_zoom; }
		/// "Axial", "Coronal" or "Sagittal".
		std::string orientationName() const;
		/// What the corner label says: the orientation and, with an image, "slice i of n" (counted from 1).
		std::string label() const;

	protected:
		GL::ViewState computeViewState(int width, int height) const override;
		void drawBackground() override;
		bool depthTest() const override { return false; }
		void annotate(QPainter& painter, const QRect& rect, double scale) const override;

	private:
		GlSlice m_slice;
		double m_zoom = 1.0;
		/// World offset of the camera within the slice plane.
		Eigen::Vector3d m_pan = Eigen::Vector3d::Zero();
		/// Wheel degrees not yet worth a whole slice (high-resolution wheels send fractions of a notch).
		double m_wheelRest = 0.0;
	};
}
