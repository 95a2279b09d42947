#pragma once

namespace Quorvale::GL
{
	/// Marks the calling thread, while the object lives, as one that works in the background (an
	/// algorithm run beside a window): its `GL::ContextGuard`s take the host's background context,
	/// which shares objects with the first one, instead of waiting for the first. Open no guard on
	/// the thread when making or ending it. Marks nest.
	class BackgroundThread
	{
	public:
		BackgroundThread();
		~BackgroundThread();
		BackgroundThread(const BackgroundThread&) = delete;
		BackgroundThread& operator=(const BackgroundThread&) = delete;

		/// True while the calling thread is marked.
		static bool isCurrentThread();
	};
}
