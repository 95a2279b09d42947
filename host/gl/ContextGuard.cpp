#include "host/gl/ContextGuard.h"

#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include <EGL/egl.h>

#include "host/core/Log.h"
#include "host/gl/Context.h"

namespace Quorvale::GL
{
	namespace
	{
		const char* const kCategory = "GL";

		std::recursive_mutex& contextMutex()
		{
			static std::recursive_mutex mutex;
			return mutex;
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
		std::recursive_mutex& mutex = contextMutex();
		if (mode == TryOnly)
		{
			if (!mutex.try_lock())
				return;
		}
		else
			mutex.lock();

		const EGLContext context = static_cast<EGLContext>(Context::eglContext());
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
		if (t_depth++ == 0)
			runPending();
	}

	ContextGuard::~ContextGuard()
	{
		if (!m_valid)
			return;
		--t_depth;
		if (m_madeCurrent)
		{
			if (m_previousContext != EGL_NO_CONTEXT)
				eglMakeCurrent(m_previousDisplay, m_previousDraw, m_previousRead, m_previousContext);
			else
				eglMakeCurrent(static_cast<EGLDisplay>(m_display), EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
		}
		if (m_previousApi != EGL_OPENGL_API)
			eglBindAPI(m_previousApi);
		contextMutex().unlock();
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
