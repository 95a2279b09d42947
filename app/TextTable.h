#pragma once

#include <string>
#include <vector>

namespace Quorvale
{
	/// Plain-text tables for listings on a terminal.
	namespace TextTable
	{
		/// One line per row, each starting with `indent`; every column but the last is padded to its
		/// widest cell plus two spaces. A row's note, when given and not empty, follows on a line of
		/// its own, indented four more. No final line break.
		std::string format(const std::vector<std::vector<std::string>>& rows, const std::string& indent = {},
		                   const std::vector<std::string>& notes = {});
	}
}
