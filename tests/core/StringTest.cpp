#include "host/core/String.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

using namespace Quorvale;

TEST(StringTest, SplitCamelCaseKeepsAcronymsWhole)
{
	const std::pair<std::string, std::string> cases[] = {
	    {"searchRange", "Search range"},  {"forceCPU", "Force CPU"},    {"addLabelID", "Add label ID"},
	    {"parseXMLFile", "Parse XML file"}, {"CPUThreads", "CPU threads"}, {"vesselWidth", "Vessel width"},
	    {"level2Count", "Level2 count"},  {"x", "X"},                    {"", ""},
	};
	for (const auto& [name, words] : cases)
		EXPECT_EQ(String::splitCamelCase(name), words) << name;
}
