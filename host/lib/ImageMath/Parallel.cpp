#include "host/lib/ImageMath/Parallel.h"

#include <omp.h>

namespace Quorvale::ImageMath::internal
{
	void dispatchThread(std::unique_ptr<Threading::ThreadPool>& pool, std::function<void()> task)
	{
		if (!pool)
			pool = std::make_unique<Threading::ThreadPool>();
		pool->enqueue(std::move(task));
	}

	int maxThreadCount() { return omp_get_max_threads(); }
}
