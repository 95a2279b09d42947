#pragma once

#include <csignal>

#include <sys/resource.h>

namespace Quorvale::Testing
{
	/// Limits the size of the files this process and its children write to `bytes` (writes beyond it
	/// fail with EFBIG, as on a full disk) for the lifetime of the object, and restores the limit.
	class ScopedFileSizeLimit
	{
	public:
		explicit ScopedFileSizeLimit(rlim_t bytes)
		    : m_previousHandler(std::signal(SIGXFSZ, SIG_IGN))
		{
			m_ok = ::getrlimit(RLIMIT_FSIZE, &m_saved) == 0;
			rlimit limited = m_saved;
			limited.rlim_cur = bytes;
			m_ok = m_ok && ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
		}
		~ScopedFileSizeLimit()
		{
			::setrlimit(RLIMIT_FSIZE, &m_saved);
			std::signal(SIGXFSZ, m_previousHandler);
		}
		ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
		ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

		/// False when the limit could not be set.
		bool ok() const { return m_ok; }

	private:
		void (*m_previousHandler)(int);
		rlimit m_saved{};
		bool m_ok = false;
	};
}
