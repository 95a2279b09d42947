#include "host/lib/PluginManager.h"
#include "tests/app/ProgramTestSupport.h"
#include "tests/common/ScopedEnvironment.h"

#include <gtest/gtest.h>

using namespace Quorvale;
using namespace ProgramTestSupport;

// A memory limit the program cannot read would silently mean none: it runs nothing.
TEST(ProgramContextTest, AMemoryLimitThatIsNoAmountIsRefused)
{
	TemporaryFolder folder;
	for (const char* text : {"abc", "1x"})
	{
		Testing::ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", text);
		const ProgramRun run = runProgram("plugins", folder, PluginManager::defaultPluginDirectory());
		EXPECT_EQ(run.exitCode, 1);
		EXPECT_EQ(run.out, "");
		EXPECT_NE(run.err.find(std::string("QUORVALE_MEMORY_LIMIT='") + text + "' is not an amount of memory"), std::string::npos) << run.err;
	}
}
