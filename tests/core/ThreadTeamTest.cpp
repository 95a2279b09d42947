#include "host/core/ThreadTeam.h"
#include "tests/common/FixedThreadCount.h"
#include "tests/common/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <omp.h>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <optional>
#include <thread>
#include <vector>

using namespace Quorvale;
using Threading::ThreadTeam;

TEST(ThreadTeamTest, AChosenThreadCountIsUsedAsItIs)
{
	const Testing::FixedThreadCount fixed(3);
	EXPECT_EQ(ThreadTeam().size(), 3);
	EXPECT_EQ(ThreadTeam(false).size(), 1);
	// Without OMP_NUM_THREADS the team adapts, within OpenMP's limit.
	const Testing::ScopedEnvironment unset("OMP_NUM_THREADS", "");
	const int adapted = ThreadTeam().size();
	EXPECT_GE(adapted, 1);
	EXPECT_LE(adapted, 3);
}

TEST(ThreadTeamTest, CallsInsideACallTakeItsTeam)
{
	std::optional<Testing::FixedThreadCount> fixed(std::in_place, 3);
	{
		const ThreadTeam outer;
		fixed.emplace(2);
		EXPECT_EQ(ThreadTeam().size(), 3);
		EXPECT_EQ(ThreadTeam(false).size(), 1);
		// Another thread chooses for itself.
		int elsewhere = 0;
		std::thread([&] { omp_set_num_threads(2), elsewhere = ThreadTeam().size(); }).join();
		EXPECT_EQ(elsewhere, 2);
		std::vector<int> inRegion(2, 0);
#pragma omp parallel num_threads(2)
		inRegion[static_cast<std::size_t>(omp_get_thread_num())] = ThreadTeam().size();
		EXPECT_EQ(inRegion, (std::vector<int>{1, 1}));
	}
	EXPECT_EQ(ThreadTeam().size(), 2);
}

TEST(ThreadTeamTest, IdleWorkersEndWithTheCall)
{
#if defined(__clang__)
	GTEST_SKIP() << "LLVM's OpenMP runtime keeps paused workers asleep instead of ending them";
#else
	const auto threadsOfThisProcess = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/task"), {}); };
	const Testing::FixedThreadCount fixed(4);
	// Ends the workers of earlier tests.
	ThreadTeam{};
	const auto before = threadsOfThisProcess();
	std::vector<int> seen(4, 0);
	{
		const ThreadTeam team;
#pragma omp parallel num_threads(team.size())
		seen[static_cast<std::size_t>(omp_get_thread_num())] = 1;
		EXPECT_EQ(threadsOfThisProcess(), before + 3);
	}
	EXPECT_EQ(seen, (std::vector<int>{1, 1, 1, 1}));
	// Ended workers leave the task list shortly after they return.
	const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
	while (threadsOfThisProcess() > before && std::chrono::steady_clock::now() < deadline)
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	EXPECT_EQ(threadsOfThisProcess(), before);
#endif
}
