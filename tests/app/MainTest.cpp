#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/app/ProgramTestSupport.h"

using namespace ProgramTestSupport;
using ::testing::HasSubstr;

TEST(MainTest, AnUnknownCommandIsNamedWithTheCommandsThereAre)
{
	TemporaryFolder folder;
	const auto run = runProgram("frobnicate", folder);
	EXPECT_EQ(run.exitCode, 1);
	EXPECT_THAT(run.err, HasSubstr("Unknown command 'frobnicate'; the commands are plugins, algorithms, run, convert, demo, view"));
	EXPECT_THAT(runProgram("", folder).err, HasSubstr("A subcommand is required"));
}
