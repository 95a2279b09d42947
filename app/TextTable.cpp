#include "app/TextTable.h"

#include <algorithm>

namespace Quorvale::TextTable
{
	std::string format(const std::vector<std::vector<std::string>>& rows, const std::string& indent, const std::vector<std::string>& notes)
	{
		std::vector<size_t> widths;
		for (const auto& row : rows)
			for (size_t column = 0; column + 1 < row.size(); ++column)
			{
				widths.resize(std::max(widths.size(), column + 1));
				widths[column] = std::max(widths[column], row[column].size());
			}
		std::string out;
		for (size_t r = 0; r < rows.size(); ++r)
		{
			std::string line = indent;
			for (size_t column = 0; column < rows[r].size(); ++column)
			{
				line += rows[r][column];
				if (column + 1 < rows[r].size())
					line += std::string(widths[column] - rows[r][column].size() + 2, ' ');
			}
			// Trailing spaces of empty last cells help nobody.
			line.erase(line.find_last_not_of(' ') + 1);
			out += (r ? "\n" : "") + line;
			if (r < notes.size() && !notes[r].empty())
				out += "\n" + indent + "    " + notes[r];
		}
		return out;
	}
}
