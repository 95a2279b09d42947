#pragma once

#include <optional>
#include <string_view>

namespace Quorvale::Threading
{
	/// How many threads one parallel call takes part with on a machine that other programs share.
	///
	/// A team larger than the processors nothing else is using loses more than it gains: its
	/// threads wait at every barrier for the one the system has taken a processor from, and its
	/// idle threads take processors from the serial work between its parallel loops. The rule is
	/// therefore the processors minus the tasks that run now elsewhere. The process's own running
	/// threads are not counted: idle OpenMP workers of an earlier loop keep spinning (runnable) for
	/// several milliseconds and would otherwise pass for a busy machine; threads that other calls of
	/// this process hold are counted instead (`heldByOtherTeams`). Linux only (/proc); elsewhere
	/// the load cannot be read and a call takes its whole limit.
	class TeamSize
	{
	public:
		/// What the machine is doing when a call starts.
		struct Load
		{
			/// Processors this process may run on.
			int cpus = 1;
			/// Runnable tasks of the whole system, the calling thread among them.
			int runningTasks = 1;
			/// Of `runningTasks`, the threads of this process.
			int ownRunningThreads = 1;
			/// Threads that teams of other calls of this process hold now.
			int heldByOtherTeams = 0;
		};

		/// cpus − (runningTasks − ownRunningThreads) − heldByOtherTeams, kept within [1, `limit`].
		static int sizeFor(const Load& load, int limit);

		/// The runnable tasks in the text of /proc/loadavg: the number before the '/' of its fourth
		/// field ("0.52 0.58 0.59 3/467 12345" gives 3); empty for any other text.
		static std::optional<int> runningTasksIn(std::string_view loadavg);
		/// True when the text of a /proc/<pid>/task/<tid>/stat file shows a runnable thread: the
		/// state after the closing parenthesis of the name (which may itself hold ") R") is 'R'.
		static bool isRunning(std::string_view stat);

		/// The load now, read from /proc (the runnable tasks as the fewest of three readings in a row);
		/// the process's own threads are counted only when the machine looks too busy for `limit`
		/// threads without them. Empty where /proc cannot be read.
		static std::optional<Load> currentLoad(int heldByOtherTeams, int limit);

		TeamSize() = delete;
	};
}
