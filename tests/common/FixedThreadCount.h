#pragma once

#include "tests/common/ScopedEnvironment.h"

#include <omp.h>

#include <string>

namespace Quorvale::Testing
{
	/// Makes parallel calls use exactly `threads` threads while it lives, however busy the machine
	/// is: OpenMP's limit is set, and OMP_NUM_THREADS tells the calls that it was chosen. Not
	/// copyable, as its environment is not.
	class FixedThreadCount
	{
	public:
		explicit FixedThreadCount(int threads)
		    : m_environment("OMP_NUM_THREADS", std::to_string(threads))
		    , m_saved(omp_get_max_threads())
		{
			omp_set_num_threads(threads);
		}
		~FixedThreadCount() { omp_set_num_threads(m_saved); }

	private:
		ScopedEnvironment m_environment;
		int m_saved;
	};
}
