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

	namespace
	{
		bool isUpper(char c) { return std::isupper(static_cast<unsigned char>(c)) != 0; }
		bool isLower(char c) { return std::islower(static_cast<unsigned char>(c)) != 0; }

		/// The words of a camel-case name: a capital after a small letter starts a word, and so does the
		/// last capital of a run that a small letter follows ("parseXMLFile": parse, XML, File).
		std::vector<std::string> camelCaseWords(const std::string& text)
		{
			std::vector<std::string> words;
			for (size_t i = 0; i < text.size(); ++i)
			{
				const bool afterSmall = i > 0 && !isUpper(text[i - 1]);
				const bool endsRun = i > 0 && isUpper(text[i - 1]) && i + 1 < text.size() && isLower(text[i + 1]);
				if (words.empty() || (isUpper(text[i]) && (afterSmall || endsRun)))
					words.emplace_back();
				words.back().push_back(text[i]);
			}
			return words;
		}
	}

	std::string splitCamelCase(const std::string& text)
	{
		std::string out;
		for (std::string word : camelCaseWords(text))
		{
			// An acronym (two capitals in a row) stays as it is; other words after the first are lower case.
			const bool acronym = word.size() > 1 && isUpper(word[0]) && isUpper(word[1]);
			if (out.empty())
				word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
			else if (!acronym)
				word[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(word[0])));
			out += out.empty() ? word : " " + word;
		}
		return out;
	}
}
