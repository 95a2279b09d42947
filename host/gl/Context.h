#pragma once

#include "host/core/Utils/Version.h"

#include <string>

namespace Quorvale::GL
{
	/// The process-wide OpenGL context: one EGL display on Mesa's surfaceless platform (no window
	/// system needed) and one compatibility-profile context (4.5 where the driver offers it, at
	/// least 4.3). It is created on first use and never destroyed (terminating the display leaks
	/// inside Mesa).
	///
	/// Code never makes the context current itself: it opens a `GL::ContextGuard` (see there).
	///
	/// A second context, the background context, shares textures, buffers and programs with the
	/// first; threads that work in the background (`GL::BackgroundThread`) take it, so that their
	/// long GPU work neither waits for nor holds up the first context's rendering.
	class Context
	{
	public:
		/// True when the policy allows OpenGL and the context exists (creating it on first call).
		static bool isAvailable();
		/// Why there is no context ("" when there is one).
		static std::string failure();
		/// The context's version; 0.0.0 without a context.
		static Utils::Version version();
		/// GL_RENDERER ("llvmpipe (LLVM 15.0.6, 256 bits)"); empty without a context.
		static std::string renderer();
		/// True for Mesa's software renderers (llvmpipe, softpipe, swrast).
		static bool isSoftwareRenderer();

		/// The EGL display and context (EGLDisplay, EGLContext); null without a context.
		static void* eglDisplay();
		static void* eglContext();
		/// The background context (made on first call, sharing the objects of `eglContext`); null
		/// without a context or when the driver cannot make it.
		static void* eglBackgroundContext();
	};

	/// The version of the host's context as major.minor, or 0.0 without one.
	Utils::Version versionInfo();

	/// Waits until the GPU has finished all submitted work (glFinish); needs an open guard.
	void finish();
}
