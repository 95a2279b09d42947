#pragma once

#include "host/core/ThreadPool.h"

#include <functional>
#include <memory>

namespace Quorvale::ImageMath::internal
{
	/// Queues `task` on the pool held by `pool`, first creating the pool (one thread per hardware
	/// thread) when the holder is empty. The caller waits with `waitUntilFinished(0)` and then
	/// destroys the pool. The task's future is dropped; the pool logs a task's exception.
	void dispatchThread(std::unique_ptr<Threading::ThreadPool>& pool, std::function<void()> task);

	/// The number of threads an OpenMP parallel loop started on the calling thread may use.
	int maxThreadCount();
}
