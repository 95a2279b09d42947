#include "host/core/TeamSize.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace Quorvale::Threading
{
	namespace
	{
		/// The first bytes of a small file (a /proc entry), or nothing when it cannot be read.
		std::optional<std::string> readHead(const std::string& path)
		{
			const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
			if (fd < 0)
				return std::nullopt;
			char buffer[256];
			const ssize_t size = ::read(fd, buffer, sizeof buffer);
			::close(fd);
			if (size <= 0)
				return std::nullopt;
			return std::string(buffer, static_cast<std::size_t>(size));
		}

		int usableCpus()
		{
			cpu_set_t set;
			if (sched_getaffinity(0, sizeof set, &set) == 0)
				return std::max(1, CPU_COUNT(&set));
			return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
		}

		/// The runnable tasks of the system, or nothing without /proc. The fewest of a few readings in
		/// a row: a busy program is runnable in each of them, while the short tasks of a quiet system
		/// (kernel workers, a shell) come and go and would cost a whole thread of the team.
		std::optional<int> runningTasks()
		{
			std::optional<int> fewest;
			for (int reading = 0; reading < 3; ++reading)
			{
				const std::optional<std::string> loadavg = readHead("/proc/loadavg");
				const std::optional<int> running = loadavg ? TeamSize::runningTasksIn(*loadavg) : std::nullopt;
				if (!running)
					return std::nullopt;
				fewest = std::min(fewest.value_or(*running), *running);
			}
			return fewest;
		}

		/// The threads of this process that are runnable now, or nothing without /proc.
		std::optional<int> ownRunningThreads()
		{
			DIR* tasks = ::opendir("/proc/self/task");
			if (!tasks)
				return std::nullopt;
			int running = 0;
			while (const dirent* entry = ::readdir(tasks))
			{
				if (entry->d_name[0] == '.')
					continue;
				const std::optional<std::string> stat = readHead(std::string("/proc/self/task/") + entry->d_name + "/stat");
				if (stat && TeamSize::isRunning(*stat))
					++running;
			}
			::closedir(tasks);
			return running;
		}
	}

	int TeamSize::sizeFor(const Load& load, int limit)
	{
		const int elsewhere = std::max(0, load.runningTasks - load.ownRunningThreads);
		const int free = load.cpus - elsewhere - std::max(0, load.heldByOtherTeams);
		return std::clamp(free, 1, std::max(1, limit));
	}

	std::optional<int> TeamSize::runningTasksIn(std::string_view loadavg)
	{
		std::size_t at = 0;
		for (int field = 0; field < 3; ++field)
		{
			at = loadavg.find(' ', at);
			if (at == std::string_view::npos)
				return std::nullopt;
			++at;
		}
		int running = 0;
		const char* end = loadavg.data() + loadavg.size();
		const auto [next, error] = std::from_chars(loadavg.data() + at, end, running);
		if (error != std::errc() || next == end || *next != '/' || running < 0)
			return std::nullopt;
		return running;
	}

	bool TeamSize::isRunning(std::string_view stat)
	{
		const std::size_t close = stat.rfind(')');
		return close != std::string_view::npos && close + 2 < stat.size() && stat[close + 1] == ' ' && stat[close + 2] == 'R';
	}

	std::optional<TeamSize::Load> TeamSize::currentLoad(int heldByOtherTeams, int limit)
	{
		const std::optional<int> running = runningTasks();
		if (!running)
			return std::nullopt;
		Load load{usableCpus(), *running, 1, heldByOtherTeams};
		// Counting every runnable task but the caller as busy elsewhere still leaves room for the
		// whole team: the own threads need not be looked at (one read instead of one per thread).
		if (sizeFor(load, limit) >= limit)
			return load;
		const std::optional<int> own = ownRunningThreads();
		if (!own)
			return std::nullopt;
		load.ownRunningThreads = std::max(1, *own);
		return load;
	}
}
