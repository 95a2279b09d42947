#pragma once

#include <string_view>

namespace Quorvale
{
	/// The words of one line of a text file, separated by spaces and tabs.
	class LineWords
	{
	public:
		/// Reads `line`, which must outlive the object.
		explicit LineWords(std::string_view line)
		    : m_line(line)
		{
		}

		/// The next word; empty at the end of the line.
		std::string_view next()
		{
			while (m_at < m_line.size() && isBlank(m_line[m_at]))
				++m_at;
			const size_t start = m_at;
			while (m_at < m_line.size() && !isBlank(m_line[m_at]))
				++m_at;
			return m_line.substr(start, m_at - start);
		}

	private:
		static bool isBlank(char c) { return c == ' ' || c == '\t'; }

		std::string_view m_line;
		size_t m_at = 0;
	};
}
