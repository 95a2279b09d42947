#pragma once

#include "host/gui/GlSlice.h"
#include "host/gui/GlView.h"

namespace Quorvale
{
	/// A view of one axis-aligned slice: an orthographic camera looking along the slice's axis, framing
	/// the image (or the objects), the slice drawn under the objects, objects drawn without depth testing.
	/// The slice plane lies at depth 0.5. Kind 0 for a planar image, else 1.
	class GlSliceView : public GlView
	{
	public:
		/// `axis`: 0 sagittal (looks along x), 1 coronal (y), 2 axial (z).
		explicit GlSliceView(int axis);
		~GlSliceView() override;

		int kind() const override { return m_slice.showsVolume() ? VolumeSlice : Planar; }
		void setImage(SharedImageSet* image) override;
		GlSlice& slice() { return m_slice; }
		const GlSlice& slice() const { return m_slice; }

		bool wheel(int degrees) override;
		void resetCamera() override { m_zoom = 1.0; }

	protected:
		GL::ViewState computeViewState(int width, int height) const override;
		void drawBackground() override;
		bool depthTest() const override { return false; }

	private:
		GlSlice m_slice;
		double m_zoom = 1.0;
	};
}
