#include "host/core/MemoryLimit.h"

#include "tests/common/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

using namespace Quorvale;
using Quorvale::Testing::ScopedEnvironment;

TEST(MemoryLimitTest, TheVariableLowersTheLimitAndRefusalsSayWhatWasAsked)
{
	{
		ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", "64M");
		EXPECT_EQ(MemoryLimit::bytes(), 64u << 20);
		EXPECT_EQ(MemoryLimit::refusal(64u << 20, "A grid"), "");
		EXPECT_EQ(MemoryLimit::refusal(7.5e9, "A grid"), "A grid would need 7.5 GB of memory, more than the 67.1 MB available");
		EXPECT_EQ(MemoryLimit::refusal(std::nan(""), "A grid"), "A grid would need more memory than can be addressed");
		EXPECT_THROW(MemoryLimit::require(HUGE_VAL, "A grid"), std::length_error);
	}
	// A limit that cannot be read leaves the machine's.
	for (const char* text : {"lots", "12Q", ""})
	{
		ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", text);
		EXPECT_GT(MemoryLimit::bytes(), 64u << 20) << text;
	}
}

TEST(MemoryLimitTest, ASettingThatIsNoAmountOfMemoryIsNamed)
{
	for (const char* text : {"64M", "512", "2 G", "1GB", "3t", ""})
	{
		ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", text);
		EXPECT_EQ(MemoryLimit::settingProblem(), "") << text;
	}
	for (const char* text : {"abc", "1x", "-5", "12Q", "max", " 5M", "5MX"})
	{
		ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", text);
		EXPECT_EQ(MemoryLimit::settingProblem(), std::string("QUORVALE_MEMORY_LIMIT='") + text +
		                                             "' is not an amount of memory: give bytes, optionally with a K, M, G or T suffix (512M, 2G)");
	}
}
