#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/app/ProgramTestSupport.h"

using namespace ProgramTestSupport;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(ProgramContextTest, CommandsThatNeedPlugInsSaySoWhenNoneWasLoaded)
{
	TemporaryFolder folder;
	const std::string empty = folder.file("plugins");
	std::filesystem::create_directory(empty);
	for (const std::string command : {"run Graph.ComputeFeatures in.graphml -o out.graphml", "algorithms Graph.ComputeFeatures", "demo"})
	{
		const auto run = runProgram(command, folder, empty);
		EXPECT_EQ(run.exitCode, 1) << command;
		EXPECT_THAT(run.err, HasSubstr("No plug-ins loaded from '" + empty + "'")) << command;
		EXPECT_THAT(run.err, Not(HasSubstr("Unknown file type"))) << command;
	}
}
