#include "host/core/Timer.h"

namespace Quorvale
{
	Timer::Timer(bool start)
	{
		if (start)
			restart();
	}

	double Timer::elapsed() const
	{
		if (!m_running)
			return 0.0;
		return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
	}

	void Timer::restart()
	{
		m_start = std::chrono::steady_clock::now();
		m_running = true;
	}
}
