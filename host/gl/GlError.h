#pragma once

#include <stdexcept>
#include <string>

namespace Quorvale::GL
{
	/// An OpenGL call failed: the message names the call and the GL error.
	class Error : public std::runtime_error
	{
	public:
		Error(const std::string& call, unsigned int code);
		/// The GL error code (GL_OUT_OF_MEMORY, GL_INVALID_OPERATION, ...).
		unsigned int code() const { return m_code; }

	private:
		unsigned int m_code;
	};

	/// The name of a GL error code ("GL_OUT_OF_MEMORY"), or its number in hexadecimal.
	std::string errorName(unsigned int code);

	/// Throws `Error` naming `call` when the GL error flag is set (reading all pending flags, so
	/// the next check starts clean). Needs an open guard.
	void checkError(const char* call);
	/// Clears pending GL error flags, so that a following `checkError` reports only what comes
	/// after.
	void clearErrors();
}
