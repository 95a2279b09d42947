#pragma once

#include <functional>

namespace Quorvale::GL
{
	/// Scoped access to the host's one OpenGL context (`GL::Context`). ALL GL work of the process
	/// runs inside such a guard.
	///
	/// Why: an EGL context can be current on one thread at a time (a second thread gets
	/// EGL_BAD_ACCESS while the first holds it), so the context is shared between threads by a
	/// process-wide mutex. A guard takes that mutex, makes the context current on its thread and,
	/// when it ends, restores whatever binding (EGL context and API) the thread had before and
	/// releases the mutex. Guards nest on one thread (the mutex is recursive); an inner guard
	/// finds the context current and changes nothing.
	///
	/// How to take the context:
	///
	///     GL::ContextGuard guard;                    // waits for other threads' GL work
	///     if (!guard)
	///         return cpuFallback();                  // no context: QUORVALE_GL=none or no driver
	///     GL::Texture texture(...);                  // GL objects, programs, dispatches ...
	///
	/// or `GL::ContextGuard guard(GL::ContextGuard::TryOnly)`, which does not wait: it is invalid
	/// when another thread holds the context. Optional GPU paths (image expressions) use TryOnly
	/// and decline, so that the CPU path runs instead of queueing behind another thread.
	///
	/// GL objects (`Texture`, `ShaderStorageBuffer`, `Program`) may be created and destroyed
	/// anywhere: created outside a guard they make their GL object at their first use, which must
	/// be inside a guard; destroyed outside a guard they queue the deletion, which the next guard
	/// of any thread performs. Every other GL call needs an open guard on the calling thread and
	/// throws std::logic_error without one.
	///
	/// Do not hold a guard while waiting for another thread that may open one.
	///
	/// On a thread marked by a `GL::BackgroundThread` the guard takes the background context
	/// instead (`Context::eglBackgroundContext`, with a lock of its own), which shares textures,
	/// buffers and programs with the first: such a thread's GPU work runs beside the first
	/// context's rendering. Its outermost guard waits for the GPU (glFinish) before it ends, so
	/// that another context sees the results whole. Queued work runs under guards of the first
	/// context only.
	class ContextGuard
	{
	public:
		enum Mode
		{
			/// Wait for the context while another thread holds it.
			Wait,
			/// Give up at once when another thread holds the context.
			TryOnly
		};

		explicit ContextGuard(Mode mode = Wait);
		~ContextGuard();
		ContextGuard(const ContextGuard&) = delete;
		ContextGuard& operator=(const ContextGuard&) = delete;

		/// True when the context is current on this thread for the guard's lifetime. False without
		/// a context (policy `None`, no driver), when it could not be made current, or for
		/// `TryOnly` when another thread held it.
		bool isValid() const { return m_valid; }
		explicit operator bool() const { return m_valid; }

		/// True when a valid guard is open on the calling thread.
		static bool isActive();
		/// Throws std::logic_error naming `call` unless a valid guard is open on this thread.
		static void requireActive(const char* call);
		/// Runs `work` now when a valid guard is open on this thread, otherwise queues it for the
		/// next guard of any thread (where it runs first). Exceptions of queued work are logged.
		static void runOrQueue(std::function<void()> work);

	private:
		bool m_valid = false;
		bool m_madeCurrent = false;
		bool m_background = false;
		unsigned int m_previousApi = 0;
		void* m_display = nullptr;
		void* m_previousDisplay = nullptr;
		void* m_previousDraw = nullptr;
		void* m_previousRead = nullptr;
		void* m_previousContext = nullptr;
	};
}
