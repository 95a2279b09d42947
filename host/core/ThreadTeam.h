#pragma once

namespace Quorvale::Threading
{
	/// The threads one call of a parallel kernel takes part with: the `num_threads` of its OpenMP
	/// loops, or the tasks it gives a thread pool. Made on the calling thread when the call starts
	/// and kept until it returns; the loops themselves stay as they are, only their team adapts.
	///
	/// The size follows `TeamSize` with OpenMP's thread limit (`omp_get_max_threads`). When the
	/// environment sets OMP_NUM_THREADS, the user has chosen and that limit is used as it is.
	///
	/// Only the outermost team of a thread chooses: a team made while another is alive on the same
	/// thread (a kernel that calls another kernel) takes that team's size, and one made inside an
	/// OpenMP parallel region has size 1. While it lives, the outermost team's threads count as
	/// held for the teams of other threads of the process. When it ends after running with more
	/// than one thread, it ends OpenMP's idle workers (`omp_pause_resource_all`), which would
	/// otherwise spin for milliseconds through the serial work that follows the call.
	class ThreadTeam
	{
	public:
		/// `parallel` false: the call runs on the calling thread (size 1) and nothing is measured,
		/// as for work too small to share.
		explicit ThreadTeam(bool parallel = true);
		~ThreadTeam();
		ThreadTeam(const ThreadTeam&) = delete;
		ThreadTeam& operator=(const ThreadTeam&) = delete;

		/// Threads the call may use, at least 1.
		int size() const { return m_size; }

	private:
		int m_size = 1;
		bool m_outermost = false;
	};
}
