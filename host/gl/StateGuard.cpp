#include "host/gl/StateGuard.h"

#include "host/gl/ContextGuard.h"

#include <GL/gl.h>
#include <GL/glext.h>

namespace Quorvale::GL
{
	namespace
	{
		void restore(GLenum capability, unsigned char enabled)
		{
			if (enabled)
				glEnable(capability);
			else
				glDisable(capability);
		}
	}

	StateGuard::StateGuard(unsigned flags)
	    : m_flags(flags)
	{
		ContextGuard::requireActive("GL::StateGuard");
		if (m_flags & Capabilities)
		{
			m_blend = glIsEnabled(GL_BLEND);
			m_depthTest = glIsEnabled(GL_DEPTH_TEST);
			m_lineSmooth = glIsEnabled(GL_LINE_SMOOTH);
			m_programPointSize = glIsEnabled(GL_PROGRAM_POINT_SIZE);
			m_clipDistance = glIsEnabled(GL_CLIP_DISTANCE0);
			GLboolean mask = GL_TRUE;
			glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
			m_depthMask = mask;
			glGetIntegerv(GL_BLEND_SRC_RGB, &m_blendSrc);
			glGetIntegerv(GL_BLEND_DST_RGB, &m_blendDst);
		}
		if (m_flags & Viewport)
			glGetIntegerv(GL_VIEWPORT, m_viewport);
		if (m_flags & Bindings)
		{
			glGetIntegerv(GL_CURRENT_PROGRAM, &m_program);
			glGetIntegerv(GL_TEXTURE_BINDING_2D, &m_texture);
		}
		if (m_flags & Rasterisation)
			glGetFloatv(GL_LINE_WIDTH, &m_lineWidth);
	}

	StateGuard::~StateGuard()
	{
		if (m_flags & Capabilities)
		{
			restore(GL_BLEND, m_blend);
			restore(GL_DEPTH_TEST, m_depthTest);
			restore(GL_LINE_SMOOTH, m_lineSmooth);
			restore(GL_PROGRAM_POINT_SIZE, m_programPointSize);
			restore(GL_CLIP_DISTANCE0, m_clipDistance);
			glDepthMask(m_depthMask ? GL_TRUE : GL_FALSE);
			glBlendFunc(static_cast<GLenum>(m_blendSrc), static_cast<GLenum>(m_blendDst));
		}
		if (m_flags & Viewport)
			glViewport(m_viewport[0], m_viewport[1], m_viewport[2], m_viewport[3]);
		if (m_flags & Bindings)
		{
			glUseProgram(static_cast<GLuint>(m_program));
			glActiveTexture(GL_TEXTURE0);
			glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(m_texture));
		}
		if (m_flags & Rasterisation)
			glLineWidth(m_lineWidth);
	}

	void setDepthTest(bool enabled)
	{
		ContextGuard::requireActive("GL::setDepthTest");
		restore(GL_DEPTH_TEST, enabled);
		glDepthMask(enabled ? GL_TRUE : GL_FALSE);
	}
}
