#include "host/core/MemoryLimit.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <optional>
#include <stdexcept>

#include <unistd.h>

#include <fmt/format.h>

namespace Quorvale
{
	namespace
	{
		constexpr std::uint64_t kUnlimited = std::numeric_limits<std::uint64_t>::max();

		/// A byte count with an optional binary suffix ("512", "64M", "2G"; one too large for 64 bits
		/// counts as unlimited); nothing for anything else ("max", empty, "-5", "1x").
		std::optional<std::uint64_t> parseBytes(const std::string& text)
		{
			if (text.empty() || !std::isdigit(static_cast<unsigned char>(text.front())))
				return std::nullopt;
			std::size_t end = 0;
			unsigned long long value = 0;
			try
			{
				value = std::stoull(text, &end);
			}
			catch (const std::out_of_range&)
			{
				return kUnlimited;
			}
			catch (const std::exception&)
			{
				return std::nullopt;
			}
			while (end < text.size() && std::isspace(static_cast<unsigned char>(text[end])))
				++end;
			int shift = 0;
			if (end < text.size())
			{
				switch (std::toupper(static_cast<unsigned char>(text[end])))
				{
					case 'K': shift = 10; break;
					case 'M': shift = 20; break;
					case 'G': shift = 30; break;
					case 'T': shift = 40; break;
					default: return std::nullopt;
				}
				++end;
				if (end < text.size() && std::toupper(static_cast<unsigned char>(text[end])) == 'B')
					++end;
				while (end < text.size() && std::isspace(static_cast<unsigned char>(text[end])))
					++end;
				if (end != text.size())
					return std::nullopt;
			}
			if (shift > 0 && value > (kUnlimited >> shift))
				return kUnlimited;
			return static_cast<std::uint64_t>(value) << shift;
		}

		std::optional<std::uint64_t> readBytesFile(const std::string& path)
		{
			std::ifstream in(path);
			std::string text;
			if (!(in >> text))
				return std::nullopt;
			return parseBytes(text);
		}

		std::uint64_t physicalMemory()
		{
			const long pages = ::sysconf(_SC_PHYS_PAGES);
			const long pageSize = ::sysconf(_SC_PAGESIZE);
			if (pages <= 0 || pageSize <= 0)
				return kUnlimited;
			return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
		}

		/// MemAvailable of /proc/meminfo ("MemAvailable:   20639896 kB").
		std::optional<std::uint64_t> memAvailable(const std::string& root)
		{
			std::ifstream meminfo(root + "/proc/meminfo");
			std::string name, unit;
			std::uint64_t amount = 0;
			while (meminfo >> name >> amount)
			{
				std::getline(meminfo, unit);
				if (name == "MemAvailable:")
					return amount > (kUnlimited >> 10) ? kUnlimited : amount << 10;
			}
			return std::nullopt;
		}

		/// What the control groups of this process allow: the lowest limit, and the least that any
		/// of them still allows (limit minus usage).
		struct GroupMemory
		{
			std::uint64_t limit = kUnlimited;
			std::uint64_t headroom = kUnlimited;
		};

		/// The memory limits of this process's control group and of every group above it, v2 and v1.
		GroupMemory cgroupMemory(const std::string& root)
		{
			GroupMemory memory;
			// Reads the limit and usage files of the group `dir` (relative to the mount `base`).
			const auto visit = [&](const std::string& base, const std::string& dir, const char* limitFile, const char* usageFile)
			{
				const std::optional<std::uint64_t> limit = readBytesFile(root + base + dir + "/" + limitFile);
				if (!limit)
					return;
				const std::uint64_t usage = readBytesFile(root + base + dir + "/" + usageFile).value_or(0);
				memory.limit = std::min(memory.limit, *limit);
				memory.headroom = std::min(memory.headroom, *limit > usage ? *limit - usage : 0);
			};
			std::ifstream groups(root + "/proc/self/cgroup");
			std::string line;
			while (std::getline(groups, line))
			{
				// "0::/path" for v2, "4:memory:/path" for v1.
				const auto first = line.find(':');
				const auto second = first == std::string::npos ? first : line.find(':', first + 1);
				if (second == std::string::npos)
					continue;
				const std::string controllers = line.substr(first + 1, second - first - 1);
				const bool v2 = controllers.empty();
				if (!v2 && controllers.find("memory") == std::string::npos)
					continue;
				std::string dir = line.substr(second + 1);
				while (!dir.empty() && dir.back() == '/')
					dir.pop_back();
				for (;;)
				{
					if (v2)
						visit("/sys/fs/cgroup", dir, "memory.max", "memory.current");
					else
						visit("/sys/fs/cgroup/memory", dir, "memory.limit_in_bytes", "memory.usage_in_bytes");
					if (dir.empty())
						break;
					const auto slash = dir.find_last_of('/');
					dir.erase(slash == std::string::npos ? 0 : slash);
				}
			}
			return memory;
		}
	}

	std::uint64_t MemoryLimit::bytes()
	{
		if (const char* variable = std::getenv("QUORVALE_MEMORY_LIMIT"))
			if (const std::optional<std::uint64_t> set = parseBytes(variable))
			{
				static const std::uint64_t machine = std::min(physicalMemory(), cgroupMemory("").limit);
				return std::min(machine, *set);
			}
		static const std::uint64_t atFirstNeed = available();
		return atFirstNeed;
	}

	std::uint64_t MemoryLimit::available(const std::string& root)
	{
		return std::min(memAvailable(root).value_or(physicalMemory()), cgroupMemory(root).headroom);
	}

	std::string MemoryLimit::settingProblem()
	{
		const char* variable = std::getenv("QUORVALE_MEMORY_LIMIT");
		if (!variable || !*variable || parseBytes(variable))
			return {};
		return fmt::format("QUORVALE_MEMORY_LIMIT='{}' is not an amount of memory: give bytes, optionally with a K, M, G or T suffix "
		                   "(512M, 2G)",
		                   variable);
	}

	std::string MemoryLimit::refusal(double bytes, std::string_view what)
	{
		const double limit = static_cast<double>(MemoryLimit::bytes());
		if (bytes >= 0.0 && bytes <= limit)
			return {};
		if (!std::isfinite(bytes))
			return fmt::format("{} would need more memory than can be addressed", what);
		return fmt::format("{} would need {} of memory, more than the {} available", what, format(bytes), format(limit));
	}

	void MemoryLimit::require(double bytes, std::string_view what)
	{
		std::string message = refusal(bytes, what);
		if (!message.empty())
			throw std::length_error(message);
	}

	std::string MemoryLimit::format(double bytes)
	{
		if (!(bytes >= 1000.0))
			return fmt::format("{} bytes", bytes >= 0.0 ? std::floor(bytes) : 0.0);
		static const char* const units[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
		int unit = -1;
		while (bytes >= 1000.0 && unit < 5)
		{
			bytes /= 1000.0;
			++unit;
		}
		return fmt::format("{:.3g} {}", bytes, units[unit]);
	}
}
