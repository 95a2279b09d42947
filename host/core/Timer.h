#pragma once

#include <chrono>

namespace Quorvale
{
	/// Measures wall-clock time on a monotonic clock.
	class Timer
	{
	public:
		/// Starts at once when `start` is true; otherwise `elapsed` reports 0 until `restart`.
		explicit Timer(bool start = true);

		/// Seconds since construction with `start` or since the last `restart`.
		double elapsed() const;
		/// Starts measuring again from now.
		void restart();

	private:
		std::chrono::steady_clock::time_point m_start;
		bool m_running = false;
	};
}
