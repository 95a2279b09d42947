#include "host/gl/GlError.h"

#include <cstdio>

#include <GL/gl.h>

namespace Quorvale::GL
{
	Error::Error(const std::string& call, unsigned int code)
	    : std::runtime_error("OpenGL error " + errorName(code) + " after " + call)
	    , m_code(code)
	{
	}

	Error::Error(const std::string& message)
	    : std::runtime_error(message)
	    , m_code(0)
	{
	}

	std::string errorName(unsigned int code)
	{
		switch (code)
		{
			case GL_INVALID_ENUM: return "GL_INVALID_ENUM";
			case GL_INVALID_VALUE: return "GL_INVALID_VALUE";
			case GL_INVALID_OPERATION: return "GL_INVALID_OPERATION";
			case GL_STACK_OVERFLOW: return "GL_STACK_OVERFLOW";
			case GL_STACK_UNDERFLOW: return "GL_STACK_UNDERFLOW";
			case GL_OUT_OF_MEMORY: return "GL_OUT_OF_MEMORY";
			case GL_INVALID_FRAMEBUFFER_OPERATION: return "GL_INVALID_FRAMEBUFFER_OPERATION";
			default:
			{
				char text[16];
				std::snprintf(text, sizeof text, "0x%04X", code);
				return text;
			}
		}
	}

	void checkError(const char* call)
	{
		const GLenum first = glGetError();
		if (first == GL_NO_ERROR)
			return;
		// A lost context keeps reporting errors; a bounded drain keeps this from spinning.
		for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i)
		{
		}
		throw Error(call, first);
	}

	void clearErrors()
	{
		for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i)
		{
		}
	}
}
