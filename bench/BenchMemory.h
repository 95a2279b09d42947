#pragma once

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <type_traits>

/// Peak resident memory of a piece of work, measured in a child process so that what the benchmark
/// holds itself does not count.
namespace Quorvale::BenchMemory
{
	/// A field of /proc/self/status in kilobytes ("VmRSS:", "VmHWM:"); -1 when it is missing.
	inline long statusKilobytes(const char* field)
	{
		std::ifstream status("/proc/self/status");
		std::string line;
		while (std::getline(status, line))
			if (line.rfind(field, 0) == 0)
				return std::atol(line.c_str() + std::string(field).size());
		return -1;
	}

	/// Returns free memory to the system (else allocations would reuse it without raising the peak),
	/// resets the peak and gives the resident memory now, in kilobytes.
	inline long resetPeak()
	{
		malloc_trim(0);
		std::ofstream("/proc/self/clear_refs") << "5";
		return statusKilobytes("VmRSS:");
	}

	/// Bytes the peak resident memory rose above `residentKilobytes` (from `resetPeak`); -1 when unknown.
	inline double peakAbove(long residentKilobytes)
	{
		const long peak = statusKilobytes("VmHWM:");
		return residentKilobytes >= 0 && peak >= 0 ? double(peak - residentKilobytes) * 1024.0 : -1.0;
	}

	/// Runs `work` in a child process and gives what it returned (a value of plain bytes), or `failed`
	/// when the child returned nothing.
	template <typename Result, typename Work>
	Result inChild(const Work& work, Result failed)
	{
		static_assert(std::is_trivially_copyable_v<Result>, "the result crosses a pipe as bytes");
		int channel[2];
		if (pipe(channel) != 0)
			return failed;
		const pid_t child = fork();
		if (child == 0)
		{
			const Result result = work();
			(void)!write(channel[1], &result, sizeof result);
			_exit(0);
		}
		close(channel[1]);
		Result result = failed;
		if (child < 0 || read(channel[0], &result, sizeof result) != sizeof result)
			result = failed;
		close(channel[0]);
		if (child > 0)
			waitpid(child, nullptr, 0);
		return result;
	}
}
