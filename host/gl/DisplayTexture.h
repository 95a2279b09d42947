#pragma once

#include "host/gl/Texture.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Quorvale::GL
{
	/// A small four-channel image for display (colour maps, slices of images, text), kept in memory and
	/// uploaded into a 2-D texture when first drawn after a change. Elements are unsigned bytes (5121,
	/// normalised) or floats (5126).
	class DisplayTexture
	{
	public:
		/// A copy of `width` x `height` x `depth` pixels of `channels` (must be 4) elements of `type` from
		/// `data` (zeros when null). Only depth 1 is drawn. Throws std::invalid_argument for other types or
		/// channel counts and non-positive sizes.
		DisplayTexture(int type, int width, int height, int depth, int channels, const void* data);
		~DisplayTexture();

		int type() const { return m_type; }
		int width() const { return m_width; }
		int height() const { return m_height; }
		int depth() const { return m_depth; }
		/// The elements, x fastest, first row first.
		const void* data() const { return m_bytes.data(); }
		void* data() { return m_bytes.data(); }
		/// Marks the data as changed: the texture is refilled at its next use.
		void setDirty() { m_dirty = true; }

		/// The texture holding the current data (made or refilled now). Needs an open `ContextGuard`.
		const Texture& texture();

	private:
		int m_type;
		int m_width;
		int m_height;
		int m_depth;
		std::vector<std::uint8_t> m_bytes;
		std::unique_ptr<Texture> m_texture;
		bool m_dirty = true;
	};
}
