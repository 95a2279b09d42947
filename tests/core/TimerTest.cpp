#include "host/core/Timer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace Quorvale;

TEST(TimerTest, MeasuresFromStartAndRestart)
{
	Timer timer(true);
	std::this_thread::sleep_for(std::chrono::milliseconds(30));
	const double first = timer.elapsed();
	EXPECT_GE(first, 0.029);
	EXPECT_GE(timer.elapsed(), first) << "a monotonic clock never runs backwards";

	timer.restart();
	EXPECT_LT(timer.elapsed(), first);
}

TEST(TimerTest, UnstartedTimerReportsZeroUntilRestarted)
{
	Timer timer(false);
	std::this_thread::sleep_for(std::chrono::milliseconds(5));
	EXPECT_EQ(timer.elapsed(), 0.0);
	timer.restart();
	std::this_thread::sleep_for(std::chrono::milliseconds(5));
	EXPECT_GT(timer.elapsed(), 0.0);
}
