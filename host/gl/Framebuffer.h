#pragma once

#include "host/gl/ObjectName.h"

#include <Eigen/Core>

#include <cstdint>
#include <vector>

namespace Quorvale::GL
{
	/// An off-screen render target: an RGBA8 colour buffer and a depth buffer of one size. GL objects
	/// are made at the first `begin`; deleting the framebuffer outside a guard queues their deletion.
	class Framebuffer
	{
	public:
		Framebuffer() = default;
		Framebuffer(Framebuffer&&) noexcept = default;
		Framebuffer& operator=(Framebuffer&&) noexcept = default;

		/// Makes the framebuffer `width` x `height` device pixels (reallocating on a change), binds it,
		/// sets the viewport to all of it and clears colour and depth. Throws `GL::Error` when the
		/// buffers cannot be made. Needs an open `GL::ContextGuard`; ends with `end`.
		void begin(int width, int height, const Eigen::Vector4f& clearColor);
		/// Binds the framebuffer that was bound before `begin`.
		void end();

		/// The colour buffer as RGBA bytes, top row first (a window's row order); alpha as drawn.
		/// Needs an open guard; call between `begin` and `end`.
		std::vector<std::uint8_t> readPixels() const;

		int width() const { return m_width; }
		int height() const { return m_height; }

	private:
		ObjectName m_framebuffer;
		ObjectName m_color;
		ObjectName m_depth;
		int m_width = 0;
		int m_height = 0;
		int m_previous = 0;
	};
}
