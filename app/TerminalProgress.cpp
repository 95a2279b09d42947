#include "app/TerminalProgress.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace Quorvale
{
	namespace
	{
		std::atomic<TerminalProgress*> g_shown{nullptr};
	}

	TerminalProgress::TerminalProgress(std::FILE* stream)
	    : m_stream(stream)
	    , m_previous(g_shown.exchange(this))
	{
	}

	TerminalProgress::~TerminalProgress()
	{
		g_shown.store(m_previous);
		finish();
	}

	TerminalProgress* TerminalProgress::shown() { return g_shown.load(); }

	std::string TerminalProgress::render(double fraction, const std::string& step, int width)
	{
		if (!(fraction >= 0)) // NaN included
			fraction = 0;
		fraction = std::min(fraction, 1.0);
		const int filled = static_cast<int>(std::floor(fraction * width));
		std::string line =
		    "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(width - filled), '-') + "] ";
		const std::string percent = std::to_string(static_cast<int>(std::floor(fraction * 100))) + "%";
		line += std::string(4 - std::min<size_t>(4, percent.size()), ' ') + percent;
		if (!step.empty())
			line += "  " + step;
		return line;
	}

	void TerminalProgress::update(double fraction, const std::string& step)
	{
		std::lock_guard lock(m_mutex);
		const std::string line = render(fraction, step);
		if (line == m_shown)
			return;
		// Blank out what is left of a longer previous line.
		const size_t tail = m_shown.size() > line.size() ? m_shown.size() - line.size() : 0;
		std::fprintf(m_stream, "\r%s%s", line.c_str(), std::string(tail, ' ').c_str());
		std::fflush(m_stream);
		m_shown = line;
	}

	void TerminalProgress::finish()
	{
		std::lock_guard lock(m_mutex);
		clearLine();
		m_shown.clear();
	}

	void TerminalProgress::printAbove(const std::string& line)
	{
		std::lock_guard lock(m_mutex);
		clearLine();
		std::fprintf(m_stream, "%s\n", line.c_str());
		if (!m_shown.empty())
			std::fprintf(m_stream, "\r%s", m_shown.c_str());
		std::fflush(m_stream);
	}

	void TerminalProgress::clearLine()
	{
		if (m_shown.empty())
			return;
		std::fprintf(m_stream, "\r%s\r", std::string(m_shown.size(), ' ').c_str());
		std::fflush(m_stream);
	}
}
