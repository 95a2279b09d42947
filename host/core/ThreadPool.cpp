#include "host/core/ThreadPool.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>

#include "host/core/Log.h"

namespace Quorvale::Threading
{
	namespace
	{
		const char* const kCategory = "Core.ThreadPool";
	}

	ThreadPool::ThreadPool(std::size_t threadCount)
	{
		if (threadCount == 0)
			threadCount = std::max(1u, std::thread::hardware_concurrency());
		m_threads.reserve(threadCount);
		for (std::size_t i = 0; i < threadCount; ++i)
			m_threads.emplace_back([this] { work(); });
	}

	ThreadPool::~ThreadPool() { stop(); }

	void ThreadPool::push(std::function<void()> job)
	{
		{
			std::lock_guard lock(m_mutex);
			if (m_stopped)
				throw std::runtime_error("Called enqueue() on stopped ThreadPool");
			m_queue.push(std::move(job));
			++m_unfinished;
		}
		m_workAvailable.notify_one();
	}

	void ThreadPool::work()
	{
		for (;;)
		{
			std::function<void()> job;
			{
				std::unique_lock lock(m_mutex);
				m_workAvailable.wait(lock, [this] { return m_stopped || !m_queue.empty(); });
				if (m_queue.empty())
					return;
				job = std::move(m_queue.front());
				m_queue.pop();
			}
			// The packaged task keeps the task's exception for its future; nothing escapes here.
			job();
			job = nullptr;
			std::lock_guard lock(m_mutex);
			if (--m_unfinished == 0)
				m_allFinished.notify_all();
		}
	}

	bool ThreadPool::waitUntilFinished(int timeoutMs)
	{
		std::unique_lock lock(m_mutex);
		const auto finished = [this] { return m_unfinished == 0; };
		if (timeoutMs <= 0)
		{
			m_allFinished.wait(lock, finished);
			return true;
		}
		return m_allFinished.wait_for(lock, std::chrono::milliseconds(timeoutMs), finished);
	}

	void ThreadPool::waitPolling(int intervalMs, const std::function<void()>& poll)
	{
		while (!waitUntilFinished(std::max(1, intervalMs)))
			poll();
	}

	void ThreadPool::stop()
	{
		{
			std::lock_guard lock(m_mutex);
			if (m_stopped)
				return;
			m_stopped = true;
		}
		m_workAvailable.notify_all();
		for (std::thread& thread : m_threads)
			thread.join();
	}

	void ThreadPool::logTaskFailure(std::exception_ptr failure)
	{
		try
		{
			std::rethrow_exception(failure);
		}
		catch (const std::exception& e)
		{
			Log::error(std::string("A thread pool task failed: ") + e.what(), kCategory);
		}
		catch (...)
		{
			Log::error("A thread pool task failed with an unknown exception", kCategory);
		}
	}
}
