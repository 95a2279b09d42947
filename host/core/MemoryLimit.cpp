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

		std::uint64_t readBytesFile(const std::string& path)
		{
			std::ifstream in(path);
			std::string text;
			if (!(in >> text))
				return kUnlimited;
			return parseBytes(text).value_or(kUnlimited);
		}

		std::uint64_t physicalMemory()
		{
			const long pages = ::sysconf(_SC_PHYS_PAGES);
			const long pageSize = ::sysconf(_SC_PAGESIZE);
			if (pages <= 0 || pageSize <= 0)
				return kUnlimited;
			return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
		}

		/// The memory limit of this process's control group, v2 or v1.
		std::uint64_t cgroupLimit()
		{
			std::uint64_t limit = kUnlimited;
			std::ifstream groups("/proc/self/cgroup");
			std::string line;
			while (std::getline(groups, line))
			{
				// "0::/path" for v2, "4:memory:/path" for v1.
				const auto first = line.find(':');
				const auto second = first == std::string::npos ? first : line.find(':', first + 1);
				if (second == std::string::npos)
					continue;
				const std::string controllers = line.substr(first + 1, second - first - 1);
				const std::string path = line.substr(second + 1);
				if (controllers.empty())
				{
					limit = std::min(limit, readBytesFile("/sys/fs/cgroup" + path + "/memory.max"));
					limit = std::min(limit, readBytesFile("/sys/fs/cgroup/memory.max"));
				}
				else if (controllers.find("memory") != std::string::npos)
				{
					limit = std::min(limit, readBytesFile("/sys/fs/cgroup/memory" + path + "/memory.limit_in_bytes"));
					limit = std::min(limit, readBytesFile("/sys/fs/cgroup/memory/memory.limit_in_bytes"));
				}
			}
			return limit;
		}
	}

	std::uint64_t MemoryLimit::bytes()
	{
		static const std::uint64_t machine = std::min(physicalMemory(), cgroupLimit());
		std::uint64_t limit = machine;
		if (const char* variable = std::getenv("QUORVALE_MEMORY_LIMIT"))
			if (const std::optional<std::uint64_t> set = parseBytes(variable))
				limit = std::min(limit, *set);
		return limit;
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
