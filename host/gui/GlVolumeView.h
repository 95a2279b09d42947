#pragma once

#include "host/gui/GlSlice.h"
#include "host/gui/GlView.h"

namespace Quorvale
{
	/// The 3-D view: a perspective camera orbiting the scene's centre, the image's three middle slices
	/// under the objects, objects drawn with depth testing. Dragging turns the scene, the wheel zooms.
	class GlVolumeView : public GlView
	{
	public:
		GlVolumeView();
		~GlVolumeView() override;

		int kind() const override { return Volume; }
		void setImage(SharedImageSet* image) override;

		bool mouseDrag(const QPoint& from, const QPoint& to, Qt::MouseButtons buttons) override;
		bool wheel(double degrees, Qt::KeyboardModifiers modifiers = Qt::NoModifier) override;
		void resetCamera() override;

		/// Camera angles in degrees (turn about the vertical, tilt) and the zoom factor.
		void setCamera(double turn, double tilt, double zoom);
		double turn() const { return m_turn; }
		double tilt() const { return m_tilt; }
		double zoom() const { return m_zoom; }

	protected:
		GL::ViewState computeViewState(int width, int height) const override;
		void drawBackground() override;
		bool depthTest() const override { return true; }
		/// Dark grey, so that the dark parts of the slices stand out.
		Eigen::Vector4f background() const override { return {0.18f, 0.18f, 0.22f, 1.f}; }

	private:
		GlSlice m_slices[3] = {GlSlice(0), GlSlice(1), GlSlice(2)};
		double m_turn = 0.0;
		double m_tilt = 0.0;
		double m_zoom = 1.0;
	};
}
