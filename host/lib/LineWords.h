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

		/// True for a byte that no line of a text mesh file may hold: a control character other
		/// than a tab (a "\r", "\f" or "\v" would split or join lines differently for other readers).
		static bool isControl(char c) { return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f; }

	private:
		static bool isBlank(char c) { return c == ' ' || c == '\t'; }

		std::string_view m_line;
		size_t m_at = 0;
	};
}
