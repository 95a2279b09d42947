#pragma once

#include "host/gl/ViewState.h"

#include <Eigen/Core>

#include <map>
#include <memory>
#include <string>

namespace Quorvale::GL
{
	class DisplayTexture;

	/// A font for `TextRenderer`: family, size in points and weight (1 normal, 2 bold).
	struct Font
	{
		std::string family = "DejaVu Sans";
		int size = 9;
		int weight = 1;
	};

	/// Draws text into the current framebuffer: Qt rasterises the glyphs into an image, which is drawn as
	/// a texture at the window position of a world point. Rasterised texts are cached.
	class TextRenderer
	{
	public:
		/// Horizontal alignment: 0 text starts at the anchor, 1 centred, 2 ends at the anchor.
		/// Vertical alignment: 0 text hangs below the anchor, 1 centred, 2 stands on it.
		static TextRenderer& instance();

		/// Draws `text` anchored at the window position of `world`, in `color`; with `pixelAligned` the
		/// anchor is rounded to whole pixels. Needs an open `GL::ContextGuard` and draws nothing behind
		/// the eye, outside the depth range, or where the pipeline's clip plane cuts `world` away.
		void renderTextWorld(const ViewState& viewState, const Eigen::Vector3d& world, const std::string& text, const Font& font,
		                     int horizontalAlignment, int verticalAlignment, bool pixelAligned,
		                     const Eigen::Vector4d& color = Eigen::Vector4d::Ones());

		/// Size in pixels of the rasterised text.
		Eigen::Vector2i textSize(const std::string& text, const Font& font);

	private:
		TextRenderer();
		~TextRenderer();
		DisplayTexture& rasterised(const std::string& text, const Font& font, const Eigen::Vector4d& color);

		std::map<std::string, std::unique_ptr<DisplayTexture>> m_cache;
	};
}
