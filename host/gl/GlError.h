#pragma once

#include <stdexcept>
#include <string>

namespace Quorvale::GL
{
	/// An OpenGL call failed: the message names the call and the GL error.
	class Error : public std::runtime_error
	{
	public:
		/// The GL error flag `code` after `call`: "OpenGL error GL_OUT_OF_MEMORY after glBufferData".
		Error(const std::string& call, unsigned int code);
		/// A failure that sets no GL error flag (code 0); `message` names the call or object.
		explicit Error(const std::string& message);
		/// The GL error code (GL_OUT_OF_MEMORY, GL_INVALID_OPERATION, ...); 0 for a failure without one.
		unsigned int code() const { return m_code; }

	private:
		unsigned int m_code;
	};

	/// A program that cannot be built: its shader resource does not exist, or a shader does not
	/// compile or link (the message holds the driver's log).
	class ProgramError : public Error
	{
	public:
		using Error::Error;
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
