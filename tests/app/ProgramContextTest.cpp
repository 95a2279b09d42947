#include <filesystem>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/lib/PluginManager.h"
#include "tests/app/ProgramTestSupport.h"
#include "tests/common/ScopedEnvironment.h"

using namespace Quorvale;
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

// A memory limit the program cannot read would silently mean none: it runs nothing.
TEST(ProgramContextTest, AMemoryLimitThatIsNoAmountIsRefused)
{
	TemporaryFolder folder;
	Testing::ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", "1x");
	const ProgramRun run = runProgram("plugins", folder, PluginManager::defaultPluginDirectory());
	EXPECT_EQ(run.exitCode, 1);
	EXPECT_EQ(run.out, "");
	EXPECT_THAT(run.err, HasSubstr("QUORVALE_MEMORY_LIMIT='1x' is not an amount of memory"));
}
