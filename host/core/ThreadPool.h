#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <queue>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace Quorvale::Threading
{
	/// A fixed number of worker threads that run queued tasks in the order they were queued.
	///
	/// A task's exception reaches its future and is also logged as an error (category
	/// "Core.ThreadPool"), because callers that only wait for the whole pool drop the futures.
	/// Destroying the pool stops it: the queued tasks still run, then the workers end.
	class ThreadPool
	{
	public:
		/// Starts `threadCount` workers; 0 starts one per hardware thread (at least one).
		explicit ThreadPool(std::size_t threadCount = 0);
		/// Stops the pool (see `stop`).
		~ThreadPool();
		ThreadPool(const ThreadPool&) = delete;
		ThreadPool& operator=(const ThreadPool&) = delete;

		/// Number of worker threads.
		std::size_t numThreads() const { return m_threads.size(); }

		/// Queues `task` (callable without arguments) and returns the future of its result. Throws
		/// std::runtime_error "Called enqueue() on stopped ThreadPool" once the pool is stopped.
		template <typename F>
		std::future<std::invoke_result_t<std::decay_t<F>&>> enqueue(F&& task);

		/// Blocks until every task queued so far has finished. `timeoutMs` 0 (or less) waits without
		/// time-out; a positive value gives up after that many milliseconds. Returns true when all tasks have
		/// finished. Must not be called from a task of this pool.
		bool waitUntilFinished(int timeoutMs = 0);
		/// Blocks like `waitUntilFinished(0)`, and while tasks remain calls `poll` on the calling
		/// thread every `intervalMs` milliseconds (at least 1): the caller reports progress from its
		/// own thread (a user interface's progress bar processes events there), never from a worker.
		/// Must not be called from a task of this pool.
		void waitPolling(int intervalMs, const std::function<void()>& poll);

		/// Lets the queued tasks finish, then ends the workers; later `enqueue` calls throw. Calling
		/// it again does nothing. Must not be called from a task of this pool.
		void stop();

	private:
		void push(std::function<void()> job);
		void work();
		static void logTaskFailure(std::exception_ptr failure);

		std::mutex m_mutex;
		std::condition_variable m_workAvailable;
		std::condition_variable m_allFinished;
		std::queue<std::function<void()>> m_queue;
		/// Tasks queued or running.
		std::size_t m_unfinished = 0;
		bool m_stopped = false;
		std::vector<std::thread> m_threads;
	};

	template <typename F>
	std::future<std::invoke_result_t<std::decay_t<F>&>> ThreadPool::enqueue(F&& task)
	{
		using Result = std::invoke_result_t<std::decay_t<F>&>;
		// std::function needs a copyable target, a packaged task is move-only: share it.
		auto job = std::make_shared<std::packaged_task<Result()>>(
		    [function = std::forward<F>(task)]() mutable -> Result
		    {
			    try
			    {
				    return function();
			    }
			    catch (...)
			    {
				    logTaskFailure(std::current_exception());
				    throw;
			    }
		    });
		std::future<Result> future = job->get_future();
		push([job] { (*job)(); });
		return future;
	}
}
