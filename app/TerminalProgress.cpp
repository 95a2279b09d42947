#include "app/TerminalProgress.h"

#include <algorithm>
#include <cmath>

namespace Quorvale
{
	TerminalProgress::TerminalProgress(std::FILE* stream)
	    : m_stream(stream)
	{
	}

	TerminalProgress::~TerminalProgress() { finish(); }

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
		if (m_shown.empty())
			return;
		std::fprintf(m_stream, "\r%s\r", std::string(m_shown.size(), ' ').c_str());
		std::fflush(m_stream);
		m_shown.clear();
	}
}
