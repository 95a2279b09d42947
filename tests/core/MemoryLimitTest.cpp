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
		std::vector<std::pair<std::string, std::string>> files;
		std::uint64_t available;
	};
	const std::string meminfo = "MemTotal:       8000 kB\nMemFree:         900 kB\nMemAvailable:   4000 kB\nBuffers:  10 kB\n";
	const Case cases[] = {
	    {"MemAvailable", {{"proc/meminfo", meminfo}}, 4000 << 10},
	    {"v2 group", {{"proc/meminfo", meminfo}, {"proc/self/cgroup", "0::/box/job\n"}, {"sys/fs/cgroup/box/job/memory.max", "3000000\n"},
	                  {"sys/fs/cgroup/box/job/memory.current", "1000000\n"}}, 2000000},
	    {"v2 group above", {{"proc/meminfo", meminfo}, {"proc/self/cgroup", "0::/box/job\n"}, {"sys/fs/cgroup/box/job/memory.max", "max\n"},
	                        {"sys/fs/cgroup/box/memory.max", "3000000\n"}, {"sys/fs/cgroup/box/memory.current", "2500000\n"}}, 500000},
	    {"v2 unlimited", {{"proc/meminfo", meminfo}, {"proc/self/cgroup", "0::/\n"}, {"sys/fs/cgroup/memory.max", "max\n"}}, 4000 << 10},
	    {"v2 full", {{"proc/meminfo", meminfo}, {"proc/self/cgroup", "0::/\n"}, {"sys/fs/cgroup/memory.max", "1000\n"},
	                 {"sys/fs/cgroup/memory.current", "5000\n"}}, 0},
	    {"v1 group", {{"proc/meminfo", meminfo}, {"proc/self/cgroup", "5:cpu:/other\n4:memory:/box\n0::/\n"},
	                  {"sys/fs/cgroup/memory/box/memory.limit_in_bytes", "3000000\n"}, {"sys/fs/cgroup/memory/box/memory.usage_in_bytes", "1200000\n"},
	                  {"sys/fs/cgroup/memory/memory.limit_in_bytes", "9223372036854771712\n"}}, 1800000},
	    {"without MemAvailable", {{"proc/self/cgroup", "0::/\n"}, {"sys/fs/cgroup/memory.max", "65536\n"}}, 65536},
	};
	const fs::path root = fs::temp_directory_path() / ("quorvale-meminfo-" + std::to_string(::getpid()));
	for (const Case& c : cases)
	{
		fs::remove_all(root);
		for (const auto& [file, text] : c.files)
		{
			fs::create_directories((root / file).parent_path());
			std::ofstream(root / file) << text;
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
