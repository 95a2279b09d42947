#include "host/core/String.h"

#include <cctype>

namespace Quorvale::String
{
	std::vector<std::string> split(const std::string& text, const std::string& delimiters)
	{
		std::vector<std::string> pieces;
		std::string current;
		for (char c : text)
		{
			if (delimiters.find(c) != std::string::npos)
			{
				if (!current.empty())
					pieces.push_back(std::move(current));
				current.clear();
			}
			else
				current.push_back(c);
		}
		if (!current.empty())
			pieces.push_back(std::move(current));
		return pieces;
	}

	std::string toLowerCopy(const std::string& text)
	{
		std::string out = text;
		for (char& c : out)
			c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
		return out;
	}

	std::string trimCopy(const std::string& text)
	{
		const auto first = text.find_first_not_of(" \t\r\n");
		if (first == std::string::npos)
			return {};
		const auto last = text.find_last_not_of(" \t\r\n");
		return text.substr(first, last - first + 1);
	}

	std::string splitCamelCase(const std::string& text)
	{
		std::string out;
		for (size_t i = 0; i < text.size(); ++i)
		{
			const unsigned char c = static_cast<unsigned char>(text[i]);
			if (i == 0)
				out.push_back(static_cast<char>(std::toupper(c)));
			else if (std::isupper(c) && !std::isupper(static_cast<unsigned char>(text[i - 1])))
			{
				out.push_back(' ');
				out.push_back(static_cast<char>(std::tolower(c)));
			}
			else
				out.push_back(static_cast<char>(c));
		}
		return out;
	}
}
