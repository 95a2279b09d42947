#include "host/core/Log.h"
#include "host/core/ThreadPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

using namespace Quorvale;
using Threading::ThreadPool;

TEST(ThreadPoolTest, RunsTasksOnItsWorkersAndDeliversResults)
{
	ThreadPool pool(3);
	EXPECT_EQ(pool.numThreads(), 3u);
	EXPECT_GE(ThreadPool().numThreads(), 1u);

	std::future<int> answer = pool.enqueue([] { return 6 * 7; });
	std::future<std::thread::id> where = pool.enqueue([] { return std::this_thread::get_id(); });
	EXPECT_EQ(answer.get(), 42);
	EXPECT_NE(where.get(), std::this_thread::get_id());

	// A move-only task is accepted.
	auto owned = std::make_unique<int>(5);
	EXPECT_EQ(pool.enqueue([p = std::move(owned)] { return *p; }).get(), 5);
}

TEST(ThreadPoolTest, WaitUntilFinishedWaitsForEveryQueuedTask)
{
	ThreadPool pool(4);
	std::atomic<int> done{0};
	for (int i = 0; i < 200; ++i)
		pool.enqueue(
		    [&]
		    {
			    std::this_thread::sleep_for(std::chrono::microseconds(200));
			    ++done;
		    });
	EXPECT_TRUE(pool.waitUntilFinished(0));
	EXPECT_EQ(done.load(), 200);
	// Nothing queued: returns at once, also with a time-out.
	EXPECT_TRUE(pool.waitUntilFinished(1));
}

TEST(ThreadPoolTest, WaitWithTimeOutGivesUpOnALongTask)
{
	ThreadPool pool(1);
	std::promise<void> release;
	std::shared_future<void> gate = release.get_future().share();
	pool.enqueue([gate] { gate.wait(); });
	EXPECT_FALSE(pool.waitUntilFinished(20));
	release.set_value();
	EXPECT_TRUE(pool.waitUntilFinished(0));
}

TEST(ThreadPoolTest, WaitPollingCallsBackOnTheWaitingThreadWhileTasksRun)
{
	ThreadPool pool(2);
	// Nothing queued: no call.
	int calls = 0;
	pool.waitPolling(1, [&] { ++calls; });
	EXPECT_EQ(calls, 0);

	std::promise<void> release;
	std::shared_future<void> gate = release.get_future().share();
	std::atomic<int> done{0};
	for (int i = 0; i < 4; ++i)
		pool.enqueue(
		    [gate, &done]
		    {
			    gate.wait();
			    ++done;
		    });
	const std::thread::id caller = std::this_thread::get_id();
	std::set<std::thread::id> pollers;
	int doneWhenPolled = -1;
	// The tasks cannot finish before the second call opens the gate: both calls come while they run.
	pool.waitPolling(5,
	                 [&]
	                 {
		                 pollers.insert(std::this_thread::get_id());
		                 if (++calls == 2)
		                 {
			                 doneWhenPolled = done.load();
			                 release.set_value();
		                 }
	                 });
	EXPECT_GE(calls, 2);
	EXPECT_EQ(doneWhenPolled, 0);
	EXPECT_EQ(pollers, std::set<std::thread::id>{caller});
	EXPECT_EQ(done.load(), 4);
}

TEST(ThreadPoolTest, StoppedPoolRefusesNewTasksButFinishesQueuedOnes)
{
	ThreadPool pool(1);
	std::atomic<int> done{0};
	for (int i = 0; i < 20; ++i)
		pool.enqueue([&] { ++done; });
	pool.stop();
	EXPECT_EQ(done.load(), 20);
	try
	{
		pool.enqueue([] {});
		FAIL() << "enqueue on a stopped pool must throw";
	}
	catch (const std::runtime_error& e)
	{
		EXPECT_EQ(std::string(e.what()), "Called enqueue() on stopped ThreadPool");
	}
	pool.stop();
	EXPECT_TRUE(pool.waitUntilFinished(0));
}

TEST(ThreadPoolTest, TaskExceptionsReachTheFutureAndTheLog)
{
	Log::ScopedCapture log;
	ThreadPool pool(2);
	std::future<int> failed = pool.enqueue([]() -> int { throw std::invalid_argument("bad voxel"); });
	pool.enqueue([] { throw 7; });
	std::future<int> fine = pool.enqueue([] { return 1; });
	EXPECT_TRUE(pool.waitUntilFinished(0));
	EXPECT_THROW(failed.get(), std::invalid_argument);
	EXPECT_EQ(fine.get(), 1);

	const auto records = log.sink().records();
	ASSERT_EQ(records.size(), 2u);
	std::set<std::string> messages;
	for (const auto& record : records)
	{
		EXPECT_EQ(record.level, Log::Error);
		EXPECT_EQ(record.category, "Core.ThreadPool");
		messages.insert(record.message);
	}
	EXPECT_EQ(messages,
	          (std::set<std::string>{"A thread pool task failed: bad voxel", "A thread pool task failed with an unknown exception"}));
}
