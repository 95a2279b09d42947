#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Quorvale
{
	/// How much memory one allocation may ask for, and the check made before large allocations
	/// (images, working grids, objects a file describes): an absurd size is refused with a message
	/// that says how much it would need, instead of exhausting the machine.
	///
	/// The limit is the environment variable QUORVALE_MEMORY_LIMIT (bytes, optionally with a K, M,
	/// G or T suffix in powers of 1024), held to the physical memory and the memory limit of the
	/// process's control group (cgroup v2 `memory.max`, v1 `memory.limit_in_bytes`). Without the
	/// variable it is the memory `available` when the limit is first needed, so that one operation
	/// is refused before the system runs out and kills the process; a value that is no amount of
	/// memory counts as none here, and programs refuse it with `settingProblem`. The variable is
	/// read anew on every call, so tests may change it.
	class MemoryLimit
	{
	public:
		/// The limit in bytes.
		static std::uint64_t bytes();
		/// The memory available now: the smaller of MemAvailable in /proc/meminfo (the physical
		/// memory where it cannot be read) and what the control group and each group above it
		/// still allow (limit minus usage, cgroup v2 and v1). `root` is put before every path read,
		/// so that tests can give made-up files.
		static std::uint64_t available(const std::string& root = "");
		/// Why QUORVALE_MEMORY_LIMIT, when set and not empty, is not an amount of memory ("abc",
		/// "1x", "-5"); empty when it is one.
		static std::string settingProblem();

		/// Empty when `bytes` fit under the limit; otherwise the refusal, "<what> would need 7.5 GB
		/// of memory, more than the 4 GB available". `bytes` is a double so that sizes computed from
		/// untrusted counts cannot wrap around; NaN and infinities never fit.
		static std::string refusal(double bytes, std::string_view what);
		/// Throws std::length_error with `refusal`'s message when `bytes` do not fit.
		static void require(double bytes, std::string_view what);

		/// A byte count for messages: "512 bytes", "3.2 MB", "7.5 GB" (powers of 1000).
		static std::string format(double bytes);

		MemoryLimit() = delete;
	};
}
