#pragma once

#include <csignal>

#include <sys/resource.h>

namespace Quorvale::Testing
{
	/// Limits the size of the files this process and its children write to `bytes` (writes beyond it
	/// fail with EFBIG, as on a full disk) for the lifetime of the object.
	class ScopedFileSizeLimit
	{
	public:
		explicit ScopedFileSizeLimit(rlim_t bytes)
		    : m_previousHandler(std::signal(SIGXFSZ, SIG_IGN))
		{
			::getrlimit(RLIMIT_FSIZE, &m_saved);
			const rlimit limited{bytes, m_saved.rlim_max};
			::setrlimit(RLIMIT_FSIZE, &limited);
		}
		~ScopedFileSizeLimit()
		{
			::setrlimit(RLIMIT_FSIZE, &m_saved);
			std::signal(SIGXFSZ, m_previousHandler);
		}
		ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
		ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

	private:
		void (*m_previousHandler)(int);
		rlimit m_saved{};
	};
}
