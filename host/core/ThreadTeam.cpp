#include "host/core/ThreadTeam.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <optional>

#include <omp.h>

#include "host/core/TeamSize.h"

namespace Quorvale::Threading
{
	namespace
	{
		/// The size of the outermost team alive on this thread; 0 when there is none.
		thread_local int t_outermostSize = 0;
		/// Threads that the outermost teams of all threads hold now.
		std::atomic<int> s_held{0};

		bool threadCountChosen()
		{
			const char* chosen = std::getenv("OMP_NUM_THREADS");
			return chosen && *chosen;
		}

		int chosenSize()
		{
			const int limit = std::max(1, omp_get_max_threads());
			if (threadCountChosen())
				return limit;
			const std::optional<TeamSize::Load> load = TeamSize::currentLoad(s_held.load(std::memory_order_relaxed), limit);
			return load ? TeamSize::sizeFor(*load, limit) : limit;
		}
	}

	ThreadTeam::ThreadTeam(bool parallel)
	{
		if (!parallel || omp_get_level() > 0)
			return;
		if (t_outermostSize > 0)
		{
			m_size = t_outermostSize;
			return;
		}
		m_size = chosenSize();
		m_outermost = true;
		t_outermostSize = m_size;
		s_held.fetch_add(m_size, std::memory_order_relaxed);
	}

	ThreadTeam::~ThreadTeam()
	{
		if (!m_outermost)
			return;
		t_outermostSize = 0;
		s_held.fetch_sub(m_size, std::memory_order_relaxed);
		// Idle OpenMP workers spin before they sleep; ended now, they leave the processors to the
		// serial work after the call (and to other programs). The next parallel loop starts them anew.
		if (m_size > 1)
			omp_pause_resource_all(omp_pause_soft);
	}
}
