#include "src/graph/JoinStrings.h"

namespace Quorvale
{
	std::string joinStrings(const std::vector<std::string>& items, const std::string& separator)
	{
		std::string text;
		for (const auto& item : items)
		{
			text += item;
			text += separator;
		}
		if (!text.empty())
			text.resize(text.size() - separator.size());
		return text;
	}
}
