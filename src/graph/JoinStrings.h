#pragma once

#include <string>
#include <vector>

namespace Quorvale
{
	/// Each item followed by `separator`, without the last separator: {"a", "b"}, ", " gives "a, b".
	std::string joinStrings(const std::vector<std::string>& items, const std::string& separator);
}
