#include "host/core/TeamSize.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <tuple>

using Quorvale::Threading::TeamSize;

TEST(TeamSizeTest, TakesTheProcessorsNothingElseRuns)
{
	// Load: {cpus, runnable tasks of the system, of which this process's, threads held by other teams}.
	for (const auto& [what, load, limit, expected] : {
	         std::tuple<const char*, TeamSize::Load, int, int>{"quiet machine", {8, 1, 1, 0}, 8, 8},
	         {"three busy programs", {8, 4, 1, 0}, 8, 5},
	         {"six busy programs", {8, 7, 1, 0}, 8, 2},
	         {"overloaded machine", {8, 20, 1, 0}, 8, 1},
	         {"own spinning workers are not busy programs", {8, 11, 8, 0}, 8, 5},
	         {"the limit caps a quiet machine", {8, 1, 1, 0}, 4, 4},
	         {"the limit of a busy machine is not reached", {8, 6, 1, 0}, 4, 3},
	         {"threads held by other calls", {8, 1, 1, 5}, 8, 3},
	         {"own threads read after the system's", {8, 2, 5, 0}, 8, 8},
	         {"at least one thread", {8, 1, 1, 0}, 0, 1},
	         {"one processor", {1, 3, 1, 0}, 8, 1},
	     })
		EXPECT_EQ(TeamSize::sizeFor(load, limit), expected) << what;
}

TEST(TeamSizeTest, ReadsTheRunnableTasksAndTellsARunnableThread)
{
	for (const auto& [text, expected] : {std::pair<std::string, std::optional<int>>{"0.52 0.58 0.59 3/467 12345\n", 3},
	                                     {"13.50 13.52 9.70 16/204 11121", 16},
	                                     {"", std::nullopt},
	                                     {"0.52 0.58 0.59", std::nullopt},
	                                     {"0.52 0.58 0.59 x/467 1", std::nullopt},
	                                     {"0.52 0.58 0.59 3 1", std::nullopt},
	                                     {"0.52 0.58 0.59 -3/467 1", std::nullopt}})
		EXPECT_EQ(TeamSize::runningTasksIn(text), expected) << text;
	for (const auto& [stat, running] : {std::pair<std::string, bool>{"1234 (bash) R 1 1234 1234 0 -1", true},
	                                    {"1234 (bash) S 1 1234 1234 0 -1", false},
	                                    {"77 (a) R) S 1 2", false},
	                                    {"77 (b (x)) R 1 2", true},
	                                    {"77 (bash)", false},
	                                    {"garbage", false}})
		EXPECT_EQ(TeamSize::isRunning(stat), running) << stat;
}

TEST(TeamSizeTest, ReadsTheLoadOfThisMachine)
{
	// A limit no machine reaches makes it count the own running threads too; the caller is one of them.
	const std::optional<TeamSize::Load> load = TeamSize::currentLoad(2, 1 << 20);
	ASSERT_TRUE(load.has_value());
	EXPECT_GE(std::min({load->cpus, load->runningTasks, load->ownRunningThreads}), 1);
	EXPECT_EQ(load->heldByOtherTeams, 2);
}
