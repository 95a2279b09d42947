#include <regex>
#include <string>
#include <utility>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/app/ProgramTestSupport.h"

using namespace ProgramTestSupport;

// Every refusal of the parser is one line with the program's prefix and where to read on.
TEST(MainTest, RefusedCommandLinesSayWhyAndWhereToReadOn)
{
	TemporaryFolder folder;
	for (const auto& [arguments, message] : std::initializer_list<std::pair<const char*, const char*>>{
	         {"frobnicate", "Unknown command 'frobnicate'; the commands are plugins, algorithms, run, convert, demo, view ('quorvale --help' "
	                        "describes the commands)"},
	         {"", "A subcommand is required ('quorvale --help' describes the commands)"},
	         {"demo --size abc", "Could not convert: --size = abc ('quorvale demo --help' describes its options)"},
	         {"plugins extra", "The following argument was not expected: extra ('quorvale plugins --help' describes its options)"},
	         // The commands' own refusals carry the same prefix.
	         {"view --screenshot shot.png --size 3x3", "--size must be WxH with both between 16 and 8192, not '3x3'"},
	     })
	{
		const auto run = runProgram(arguments, folder);
		EXPECT_EQ(run.exitCode, 1) << arguments;
		EXPECT_EQ(run.err, std::string("quorvale: error: ") + message + "\n") << arguments;
		EXPECT_EQ(run.out, "") << arguments;
	}
}

TEST(MainTest, VersionIsPrinted)
{
	TemporaryFolder folder;
	const auto run = runProgram("--version", folder);
	EXPECT_EQ(run.exitCode, 0);
	EXPECT_TRUE(std::regex_match(run.out, std::regex(R"(quorvale \d+\.\d+\.\d+ \(plug-ins built for host version 4\.5\.0\)\n)"))) << run.out;
	EXPECT_EQ(run.err, "");
}
