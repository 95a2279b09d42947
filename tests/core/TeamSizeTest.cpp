#include "host/core/TeamSize.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using Quorvale::Threading::TeamSize;

namespace
{
	struct RuleCase
	{
		const char* what;
		TeamSize::Load load;
		int limit;
		int expected;
	};

	class TeamSizeRuleTest : public testing::TestWithParam<RuleCase>
	{
	};

	struct LoadavgCase
	{
		std::string text;
		std::optional<int> expected;
	};

	class TeamSizeLoadavgTest : public testing::TestWithParam<LoadavgCase>
	{
	};

	struct StatCase
	{
		std::string text;
		bool running;
	};

	class TeamSizeStatTest : public testing::TestWithParam<StatCase>
	{
	};
}

TEST_P(TeamSizeRuleTest, TakesTheProcessorsNothingElseRuns)
{
	const RuleCase& c = GetParam();
	EXPECT_EQ(TeamSize::sizeFor(c.load, c.limit), c.expected) << c.what;
}

// Load: {cpus, runnable tasks of the system, of which this process's, threads held by other teams}.
INSTANTIATE_TEST_SUITE_P(Counts, TeamSizeRuleTest,
                         testing::Values(RuleCase{"quiet machine", {8, 1, 1, 0}, 8, 8},
                                         RuleCase{"three busy programs", {8, 4, 1, 0}, 8, 5},
                                         RuleCase{"six busy programs", {8, 7, 1, 0}, 8, 2},
                                         RuleCase{"overloaded machine", {8, 20, 1, 0}, 8, 1},
                                         RuleCase{"own spinning workers are not busy programs", {8, 11, 8, 0}, 8, 5},
                                         RuleCase{"the limit caps a quiet machine", {8, 1, 1, 0}, 4, 4},
                                         RuleCase{"the limit of a busy machine is not reached", {8, 6, 1, 0}, 4, 3},
                                         RuleCase{"threads held by other calls", {8, 1, 1, 5}, 8, 3},
                                         RuleCase{"own threads read after the system's", {8, 2, 5, 0}, 8, 8},
                                         RuleCase{"at least one thread", {8, 1, 1, 0}, 0, 1},
                                         RuleCase{"one processor", {1, 3, 1, 0}, 8, 1}));

TEST_P(TeamSizeLoadavgTest, ReadsTheRunnableTasks)
{
	EXPECT_EQ(TeamSize::runningTasksIn(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, TeamSizeLoadavgTest,
                         testing::Values(LoadavgCase{"0.52 0.58 0.59 3/467 12345\n", 3}, LoadavgCase{"13.50 13.52 9.70 16/204 11121", 16},
                                         LoadavgCase{"", std::nullopt}, LoadavgCase{"0.52 0.58 0.59", std::nullopt},
                                         LoadavgCase{"0.52 0.58 0.59 x/467 1", std::nullopt},
                                         LoadavgCase{"0.52 0.58 0.59 3 1", std::nullopt}, LoadavgCase{"0.52 0.58 0.59 -3/467 1", std::nullopt}));

TEST_P(TeamSizeStatTest, TellsARunnableThread)
{
	EXPECT_EQ(TeamSize::isRunning(GetParam().text), GetParam().running) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, TeamSizeStatTest,
                         testing::Values(StatCase{"1234 (bash) R 1 1234 1234 0 -1", true}, StatCase{"1234 (bash) S 1 1234 1234 0 -1", false},
                                         StatCase{"77 (a) R) S 1 2", false}, StatCase{"77 (b (x)) R 1 2", true},
                                         StatCase{"77 (bash)", false}, StatCase{"garbage", false}));

TEST(TeamSizeTest, ReadsTheLoadOfThisMachine)
{
	// A limit no machine reaches makes it look at the own threads too; the caller is one of them.
	const std::optional<TeamSize::Load> load = TeamSize::currentLoad(2, 1 << 20);
	ASSERT_TRUE(load.has_value());
	EXPECT_GE(load->cpus, 1);
	EXPECT_GE(load->runningTasks, 1);
	EXPECT_GE(load->ownRunningThreads, 1);
	EXPECT_EQ(load->heldByOtherTeams, 2);
}
