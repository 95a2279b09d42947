#include "host/gl/ContextGuard.h"

#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include <EGL/egl.h>
#include <GL/gl.h>

#include "host/core/Log.h"
#include "host/gl/BackgroundThread.h"
#include "host/gl/Context.h"

namespace Quorvale::GL
{
	namespace
	{
		const char* const kCategory = "GL";

		/// One lock per context: the first one (0) and the background one (1).
		std::recursive_mutex& contextMutex(bool background)
		{
			static std::recursive_mutex mutexes[2];
			return mutexes[background ? 1 : 0];
		}

		struct PendingWork
		{
			std::mutex mutex;
			std::vector<std::function<void()>> work;
		};

		PendingWork& pending()
		{
			// Never destroyed: GL objects held by other static objects queue their deletion at exit.
			static PendingWork* const instance = new PendingWork;
			return *instance;
		}

		/// Valid guards open on this thread.
		thread_local int t_depth = 0;

		void runPending()
		{
			std::vector<std::function<void()>> work;
			{
				PendingWork& queue = pending();
				std::lock_guard lock(queue.mutex);
				work.swap(queue.work);
			}
			for (auto& item : work)
			{
				try
				{
					item();
				}
				catch (const std::exception& e)
				{
					Log::error(std::string("Queued OpenGL work failed: ") + e.what(), kCategory);
				}
			}
		}
	}

	ContextGuard::ContextGuard(Mode mode)
	{
		if (!Context::isAvailable())
			return;
		m_background = BackgroundThread::isCurrentThread() && Context::eglBackgroundContext();
		std::recursive_mutex& mutex = contextMutex(m_background);
		if (mode == TryOnly)
		{
			if (!mutex.try_lock())
				return;
		}
		else
			mutex.lock();

		const EGLContext context = static_cast<EGLContext>(m_background ? Context::eglBackgroundContext() : Context::eglContext());
		const EGLDisplay display = static_cast<EGLDisplay>(Context::eglDisplay());
		m_display = display;
		m_previousApi = eglQueryAPI();
		if (m_previousApi != EGL_OPENGL_API)
			eglBindAPI(EGL_OPENGL_API);
		m_previousContext = eglGetCurrentContext();
		if (m_previousContext != context)
		{
			m_previousDisplay = eglGetCurrentDisplay();
			m_previousDraw = eglGetCurrentSurface(EGL_DRAW);
			m_previousRead = eglGetCurrentSurface(EGL_READ);
			if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context))
			{
				Log::log(Log::Debug, kCategory, "eglMakeCurrent failed with EGL error " + std::to_string(eglGetError()));
				if (m_previousApi != EGL_OPENGL_API)
					eglBindAPI(m_previousApi);
				mutex.unlock();
				return;
			}
			m_madeCurrent = true;
		}
		m_valid = true;
		// Queued deletions run on the first context: the objects they name are shared with the
		// background context, framebuffers are made on the first one only.
		if (t_depth++ == 0 && !m_background)
			runPending();
	}

	ContextGuard::~ContextGuard()
	{
		if (!m_valid)
			return;
		// What the background context wrote is complete before another context reads it.
		if (--t_depth == 0 && m_background)
			glFinish();
		if (m_madeCurrent)
		{
			if (m_previousContext != EGL_NO_CONTEXT)
				eglMakeCurrent(m_previousDisplay, m_previousDraw, m_previousRead, m_previousContext);
			else
				eglMakeCurrent(static_cast<EGLDisplay>(m_display), EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
		}
		if (m_previousApi != EGL_OPENGL_API)
			eglBindAPI(m_previousApi);
		contextMutex(m_background).unlock();
	}

	bool ContextGuard::isActive() { return t_depth > 0; }

	void ContextGuard::requireActive(const char* call)
	{
		if (!isActive())
			throw std::logic_error(std::string(call) + " needs an open GL::ContextGuard on the calling thread");
	}

	void ContextGuard::runOrQueue(std::function<void()> work)
	{
		if (isActive())
		{
			work();
			return;
		}
		PendingWork& queue = pending();
		std::lock_guard lock(queue.mutex);
		queue.work.push_back(std::move(work));
	}
}
