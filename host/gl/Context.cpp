#include "host/gl/Context.h"

#include <memory>
#include <mutex>

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include "host/core/Log.h"
#include "host/gl/ContextGuard.h"
#include "host/gl/GlError.h"
#include "host/gl/Policy.h"

#ifndef EGL_PLATFORM_SURFACELESS_MESA
#define EGL_PLATFORM_SURFACELESS_MESA 0x31DD
#endif

namespace Quorvale::GL
{
	namespace
	{
		const char* const kCategory = "GL";

		struct State
		{
			EGLDisplay display = EGL_NO_DISPLAY;
			EGLContext context = EGL_NO_CONTEXT;
			EGLConfig config = nullptr;
			Utils::Version version;
			std::string renderer;
			std::string failure;
		};

		std::string eglFailure(const char* call) { return std::string(call) + " failed with EGL error " + std::to_string(eglGetError()); }

		EGLDisplay openDisplay()
		{
			// The surfaceless platform needs no window system; the default display needs X (or
			// EGL_PLATFORM set) and is only the fallback for drivers without it.
			EGLDisplay display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
			if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr))
				return display;
			display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
			if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr))
				return display;
			return EGL_NO_DISPLAY;
		}

		/// The first config for OpenGL rendering into pbuffers, or null (the failure in `state`).
		EGLConfig chooseConfig(State& state)
		{
			const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
			EGLConfig config = nullptr;
			EGLint configCount = 0;
			if (!eglChooseConfig(state.display, configAttributes, &config, 1, &configCount) || configCount < 1)
			{
				state.failure = eglFailure("eglChooseConfig");
				return nullptr;
			}
			return config;
		}

		/// An OpenGL 4.5, else 4.3, compatibility context of `config` sharing the objects of `share`
		/// (none for EGL_NO_CONTEXT), or EGL_NO_CONTEXT.
		EGLContext createContext(EGLDisplay display, EGLConfig config, EGLContext share = EGL_NO_CONTEXT)
		{
			// Newest first: compute shaders need 4.3; Mesa gives 4.5 when 4.3 is asked anyway.
			for (EGLint minor : {5, 3})
			{
				const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION,
				                                    4,
				                                    EGL_CONTEXT_MINOR_VERSION,
				                                    minor,
				                                    EGL_CONTEXT_OPENGL_PROFILE_MASK,
				                                    EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
				                                    EGL_NONE};
				const EGLContext context = eglCreateContext(display, config, share, contextAttributes);
				if (context != EGL_NO_CONTEXT)
					return context;
			}
			return EGL_NO_CONTEXT;
		}

		/// Reads the version and renderer of the state's context, on this thread, and leaves the
		/// thread as it was. False (the context destroyed, the failure in `state`) when the context
		/// cannot be made current.
		bool readStrings(State& state)
		{
			const EGLContext previousContext = eglGetCurrentContext();
			const EGLDisplay previousDisplay = eglGetCurrentDisplay();
			const EGLSurface previousDraw = eglGetCurrentSurface(EGL_DRAW);
			const EGLSurface previousRead = eglGetCurrentSurface(EGL_READ);
			if (!eglMakeCurrent(state.display, EGL_NO_SURFACE, EGL_NO_SURFACE, state.context))
			{
				state.failure = eglFailure("eglMakeCurrent");
				eglDestroyContext(state.display, state.context);
				state.context = EGL_NO_CONTEXT;
				return false;
			}
			const auto text = [](GLenum name)
			{
				const GLubyte* value = glGetString(name);
				return value ? std::string(reinterpret_cast<const char*>(value)) : std::string();
			};
			const Utils::Version full = Utils::Version::fromString(text(GL_VERSION));
			state.version = Utils::Version(full.major(), full.minor());
			state.renderer = text(GL_RENDERER);
			if (previousContext != EGL_NO_CONTEXT)
				eglMakeCurrent(previousDisplay, previousDraw, previousRead, previousContext);
			else
				eglMakeCurrent(state.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
			Log::log(Log::Debug, kCategory, "OpenGL " + text(GL_VERSION) + " on " + state.renderer);
			return true;
		}

		State create()
		{
			State state;
			state.display = openDisplay();
			if (state.display == EGL_NO_DISPLAY)
			{
				state.failure = eglFailure("eglInitialize");
				return state;
			}
			const EGLenum previousApi = eglQueryAPI();
			if (!eglBindAPI(EGL_OPENGL_API))
			{
				state.failure = eglFailure("eglBindAPI(EGL_OPENGL_API)");
				return state;
			}
			if (EGLConfig config = chooseConfig(state))
			{
				state.config = config;
				state.context = createContext(state.display, config);
				if (state.context == EGL_NO_CONTEXT)
					state.failure = eglFailure("eglCreateContext (OpenGL 4.3 compatibility profile)");
				else
					// Read the strings once, on this thread, and leave the thread as it was.
					readStrings(state);
			}
			eglBindAPI(previousApi);
			return state;
		}

		const State& state()
		{
			// Created once, when the policy first allows it.
			static std::mutex mutex;
			static std::unique_ptr<State> instance;
			std::lock_guard lock(mutex);
			if (!instance)
			{
				if (policy() == Policy::None)
				{
					static const State none = [] { State s; s.failure = "OpenGL is switched off (QUORVALE_GL=none)"; return s; }();
					return none;
				}
				instance = std::make_unique<State>(create());
				if (!instance->failure.empty())
					Log::warn("No OpenGL context: " + instance->failure, kCategory);
			}
			return *instance;
		}
	}

	bool Context::isAvailable() { return policy() != Policy::None && state().context != EGL_NO_CONTEXT; }

	std::string Context::failure()
	{
		if (policy() == Policy::None)
			return "OpenGL is switched off (QUORVALE_GL=none)";
		return state().failure;
	}

	Utils::Version Context::version() { return isAvailable() ? state().version : Utils::Version(); }

	std::string Context::renderer() { return isAvailable() ? state().renderer : std::string(); }

	bool Context::isSoftwareRenderer()
	{
		const std::string name = renderer();
		for (const char* software : {"llvmpipe", "softpipe", "swrast"})
			if (name.find(software) != std::string::npos)
				return true;
		return false;
	}

	void* Context::eglDisplay() { return isAvailable() ? state().display : nullptr; }

	void* Context::eglContext() { return isAvailable() ? state().context : nullptr; }

	void* Context::eglBackgroundContext()
	{
		if (!isAvailable())
			return nullptr;
		// Made once, on first request; a driver that refuses it is asked only once.
		static std::mutex mutex;
		static EGLContext context = EGL_NO_CONTEXT;
		static bool tried = false;
		std::lock_guard lock(mutex);
		if (!tried)
		{
			tried = true;
			const State& main = state();
			const EGLenum previousApi = eglQueryAPI();
			if (eglBindAPI(EGL_OPENGL_API))
				context = createContext(main.display, main.config, main.context);
			if (context == EGL_NO_CONTEXT)
				Log::log(Log::Debug, kCategory, eglFailure("eglCreateContext (background context)") + "; background work shares the context");
			eglBindAPI(previousApi);
		}
		return context;
	}

	Utils::Version versionInfo() { return Context::version(); }

	void finish()
	{
		ContextGuard::requireActive("glFinish");
		glFinish();
		checkError("glFinish");
	}
}
