#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/app/ProgramTestSupport.h"

using namespace ProgramTestSupport;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace
{
	std::vector<std::string> lines(const std::string& text)
	{
		std::vector<std::string> out;
		std::istringstream in(text);
		for (std::string line; std::getline(in, line);)
			out.push_back(line);
		return out;
	}

	/// The whitespace-separated columns of a listing line whose menu names have no double spaces.
	std::vector<std::string> columns(const std::string& line)
	{
		std::vector<std::string> out;
		size_t start = 0;
		while (start < line.size())
		{
			size_t end = line.find("  ", start);
			if (end == std::string::npos)
				end = line.size();
			out.push_back(line.substr(start, end - start));
			start = line.find_first_not_of(' ', end);
			if (start == std::string::npos)
				break;
		}
		return out;
	}
}

TEST(AlgorithmsCommandTest, ListsEveryAlgorithmInRegistrationOrderInAlignedColumns)
{
	TemporaryFolder folder;
	const auto run = runProgram("algorithms", folder);
	ASSERT_EQ(run.exitCode, 0) << run.err;

	auto listing = lines(run.out);
	ASSERT_EQ(listing.size(), 9u) << run.out;
	EXPECT_THAT(columns(listing[0]), ElementsAre("IDENTIFIER", "MENU NAME", "READS AND WRITES FILES"));
	EXPECT_THAT(columns(listing[1]), ElementsAre("Test.Threshold", "Test;Threshold", "no"));
	EXPECT_THAT(columns(listing[2]), ElementsAre("Test.Invert", "Test;Invert in place", "no"));
	EXPECT_THAT(columns(listing[3]), ElementsAre("Test.Copy", "Test;Copy", "no"));
	EXPECT_THAT(columns(listing[4]), ElementsAre("Test.BareData", "Test;Bare data", "no"));
	EXPECT_THAT(columns(listing[5]), ElementsAre("Test.Fail", "Test;Fail", "no"));
	EXPECT_THAT(columns(listing[6]), ElementsAre("Test.Reader", "IO;Test reader", "yes: .tst"));
	EXPECT_THAT(listing[8], HasSubstr("quorvale algorithms IDENTIFIER"));
	listing.resize(7);

	// Every column starts at the same place on every line.
	const size_t menuColumn = listing[0].find("MENU NAME");
	const size_t ioColumn = listing[0].find("READS");
	for (const auto& line : listing)
	{
		EXPECT_NE(line[menuColumn], ' ') << line;
		EXPECT_EQ(line.substr(menuColumn - 2, 2), "  ") << line;
		EXPECT_NE(line[ioColumn], ' ') << line;
		EXPECT_EQ(line.substr(ioColumn - 2, 2), "  ") << line;
	}
}

// Nothing is listed, not even a header; each reason is said once.
TEST(AlgorithmsCommandTest, FailsWhenThePluginFolderIsMissing)
{
	TemporaryFolder folder;
	std::filesystem::create_directory(folder.file("empty"));
	const std::string missing = folder.file("nothing-here"), empty = folder.file("empty");
	for (const char* command : {"algorithms", "plugins"})
		for (const auto& [plugins, message] :
		     {std::pair{missing, "not loaded: Plug-in folder '" + missing + "' does not exist\nquorvale: error: No plug-ins loaded from '" +
		                             missing + "'\n"},
		      std::pair{empty, "No plug-ins loaded from '" + empty + "': it holds no plug-in libraries (lib*.so)\n"}})
		{
			const auto run = runProgram(command, folder, plugins);
			EXPECT_EQ(run.exitCode, 1) << command << " " << plugins;
			EXPECT_EQ(run.out, "") << command << " " << plugins;
			EXPECT_EQ(run.err, "quorvale: error: " + message) << command << " " << plugins;
		}
}

TEST(AlgorithmsCommandTest, DescribesTheSelectionsAnAlgorithmAcceptsAndItsParameters)
{
	TemporaryFolder folder;
	auto run = runProgram("algorithms Invert", folder);
	ASSERT_EQ(run.exitCode, 0) << run.err;
	// Only float images: the 8-bit label map is refused.
	EXPECT_THAT(run.out, HasSubstr("Input:      one image set\nResult:     new data, or its input changed in place\n"));
	EXPECT_THAT(run.out, HasSubstr("Parameters (on one image set); set them with --set NAME=VALUE:\n  (none)"));

	run = runProgram("algorithms Test.Threshold", folder);
	EXPECT_THAT(run.out, HasSubstr("Input:      one image set; one label map (8-bit image set)"));
	EXPECT_THAT(run.out, HasSubstr("  NAME       TYPE         DEFAULT  ALLOWED\n"
	                               "  threshold  double       0\n"
	                               "  mode       enumeration  Above    Above, Below\n"
	                               "  label      optint       unset"));
	EXPECT_EQ(runProgram("algorithms Test.Treshold", folder).exitCode, 1);
}
