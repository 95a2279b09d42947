#include "host/gl/Framebuffer.h"

#include "host/gl/ContextGuard.h"
#include "host/gl/GlError.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>
#include <stdexcept>

namespace Quorvale::GL
{
	namespace
	{
		void deleteFramebuffer(unsigned int id) { glDeleteFramebuffers(1, &id); }
		void deleteRenderbuffer(unsigned int id) { glDeleteRenderbuffers(1, &id); }

		ObjectName renderbuffer(GLenum format, int width, int height)
		{
			GLuint id = 0;
			glGenRenderbuffers(1, &id);
			ObjectName name(id, deleteRenderbuffer);
			glBindRenderbuffer(GL_RENDERBUFFER, id);
			glRenderbufferStorage(GL_RENDERBUFFER, format, width, height);
			checkError("glRenderbufferStorage");
			return name;
		}
	}

	void Framebuffer::begin(int width, int height, const Eigen::Vector4f& clearColor)
	{
		ContextGuard::requireActive("GL::Framebuffer::begin");
		if (width <= 0 || height <= 0)
			throw std::invalid_argument("GL::Framebuffer: the size must be positive");
		glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &m_previous);
		if (!m_framebuffer || width != m_width || height != m_height)
		{
			m_framebuffer.reset();
			m_color = renderbuffer(GL_RGBA8, width, height);
			m_depth = renderbuffer(GL_DEPTH_COMPONENT24, width, height);
			GLuint id = 0;
			glGenFramebuffers(1, &id);
			m_framebuffer = ObjectName(id, deleteFramebuffer);
			glBindFramebuffer(GL_FRAMEBUFFER, id);
			glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_color.id());
			glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_depth.id());
			if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
				throw Error("GL::Framebuffer: the framebuffer is incomplete");
			m_width = width;
			m_height = height;
		}
		glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer.id());
		glViewport(0, 0, width, height);
		glClearColor(clearColor[0], clearColor[1], clearColor[2], clearColor[3]);
		glClearDepth(1.0);
		glDepthMask(GL_TRUE);
		glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
		checkError("GL::Framebuffer::begin");
	}

	void Framebuffer::end()
	{
		ContextGuard::requireActive("GL::Framebuffer::end");
		glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(m_previous));
	}

	std::vector<std::uint8_t> Framebuffer::readPixels() const
	{
		ContextGuard::requireActive("GL::Framebuffer::readPixels");
		const auto rowBytes = static_cast<size_t>(m_width) * 4;
		std::vector<std::uint8_t> bottomUp(rowBytes * static_cast<size_t>(m_height));
		glPixelStorei(GL_PACK_ALIGNMENT, 1);
		glReadPixels(0, 0, m_width, m_height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
		checkError("glReadPixels");
		// GL counts rows from the bottom; images start at the top.
		std::vector<std::uint8_t> topDown(bottomUp.size());
		for (int y = 0; y < m_height; ++y)
			std::memcpy(topDown.data() + static_cast<size_t>(y) * rowBytes,
			            bottomUp.data() + static_cast<size_t>(m_height - 1 - y) * rowBytes, rowBytes);
		return topDown;
	}
}
