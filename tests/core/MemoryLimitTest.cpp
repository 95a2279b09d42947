#include "host/core/MemoryLimit.h"

#include "tests/common/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

using namespace Quorvale;
using Quorvale::Testing::ScopedEnvironment;
namespace fs = std::filesystem;

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
	// A limit that cannot be read leaves the default: what was available when first needed, which
	// is less than the whole machine.
	ScopedEnvironment unset("QUORVALE_MEMORY_LIMIT", "");
	const std::uint64_t fallback = MemoryLimit::bytes();
	EXPECT_LT(fallback, static_cast<std::uint64_t>(::sysconf(_SC_PHYS_PAGES)) * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE)));
	for (const char* text : {"lots", "12Q"})
	{
		ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", text);
		EXPECT_EQ(MemoryLimit::bytes(), fallback) << text;
	}
}

TEST(MemoryLimitTest, AvailableMemoryIsTheLeastThatTheMachineAndEveryControlGroupAboveThisOneAllow)
{
	struct Case
	{
		const char* name;
		const char* meminfo;
		const char* cgroup;
		/// Files under /sys/fs/cgroup and what they hold.
		std::vector<std::pair<const char*, const char*>> groupFiles;
		std::uint64_t available;
	};
	const char* const meminfo = "MemTotal:       8000 kB\nMemFree:         900 kB\nMemAvailable:   4000 kB\nHugePages_Total: 0\n";
	const Case cases[] = {
	    {"MemAvailable", meminfo, "", {}, 4000 << 10},
	    {"v2 group", meminfo, "0::/box/job\n", {{"box/job/memory.max", "3000000"}, {"box/job/memory.current", "1000000"}}, 2000000},
	    {"v2 group above", meminfo, "0::/box/job\n",
	     {{"box/job/memory.max", "max"}, {"box/memory.max", "3000000"}, {"box/memory.current", "2500000"}}, 500000},
	    {"v2 unlimited", meminfo, "0::/\n", {{"memory.max", "max"}}, 4000 << 10},
	    {"v2 full", meminfo, "0::/\n", {{"memory.max", "1000"}, {"memory.current", "5000"}}, 0},
	    {"v1 group", meminfo, "5:cpu:/other\n4:memory:/box\n0::/\n",
	     {{"memory/box/memory.limit_in_bytes", "3000000"}, {"memory/box/memory.usage_in_bytes", "1200000"},
	      {"memory/memory.limit_in_bytes", "9223372036854771712"}},
	     1800000},
	    {"without MemAvailable", "MemTotal: 8000 kB\n", "0::/\n", {{"memory.max", "65536"}}, 65536},
	};
	const fs::path root = fs::temp_directory_path() / ("quorvale-meminfo-" + std::to_string(::getpid()));
	for (const Case& c : cases)
	{
		fs::remove_all(root);
		fs::create_directories(root / "proc/self");
		std::ofstream(root / "proc/meminfo") << c.meminfo;
		std::ofstream(root / "proc/self/cgroup") << c.cgroup;
		for (const auto& [file, text] : c.groupFiles)
		{
			fs::create_directories((root / "sys/fs/cgroup" / file).parent_path());
			std::ofstream(root / "sys/fs/cgroup" / file) << text << "\n";
		}
		EXPECT_EQ(MemoryLimit::available(root.string()), c.available) << c.name;
	}
	fs::remove_all(root);
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
