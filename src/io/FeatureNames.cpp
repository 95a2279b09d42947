#include "src/io/FeatureNames.h"

#include <cstdint>

#include <fmt/format.h>

#include "host/core/PropertyText.h"

namespace Quorvale::FeatureNames
{
	namespace
	{
		/// The code point of the valid UTF-8 sequence at `at`, which moves past it; -1 when the bytes
		/// there are not valid UTF-8 (overlong forms, surrogates and code points above U+10FFFF are not).
		int32_t nextCodePoint(std::string_view text, size_t& at)
		{
			const auto byte = [&](size_t k) { return at + k < text.size() ? static_cast<unsigned char>(text[at + k]) : 0u; };
			const unsigned lead = byte(0);
			size_t length = 0;
			int32_t point = 0;
			int32_t smallest = 0;
			if (lead < 0x80)
				length = 1, point = static_cast<int32_t>(lead);
			else if (lead >= 0xc2 && lead <= 0xdf)
				length = 2, point = static_cast<int32_t>(lead & 0x1f), smallest = 0x80;
			else if (lead >= 0xe0 && lead <= 0xef)
				length = 3, point = static_cast<int32_t>(lead & 0x0f), smallest = 0x800;
			else if (lead >= 0xf0 && lead <= 0xf4)
				length = 4, point = static_cast<int32_t>(lead & 0x07), smallest = 0x10000;
			else
				return -1;
			for (size_t k = 1; k < length; ++k)
			{
				if ((byte(k) & 0xc0) != 0x80)
					return -1;
				point = (point << 6) | static_cast<int32_t>(byte(k) & 0x3f);
			}
			if (point < smallest || point > 0x10ffff || (point >= 0xd800 && point <= 0xdfff))
				return -1;
			at += length;
			return point;
		}
	}

	std::string problem(std::string_view name)
	{
		if (name.empty())
			return "it is empty";
		for (size_t at = 0; at < name.size();)
		{
			const int32_t point = nextCodePoint(name, at);
			if (point < 0)
				return "it is not valid UTF-8";
			if (point < 0x20 || (point >= 0x7f && point <= 0x9f))
				return fmt::format("it holds the control character U+{:04X}", point);
			if (point == 0xfffe || point == 0xffff)
				return fmt::format("it holds U+{:04X}, which is no character", point);
		}
		return {};
	}

	std::string quoted(std::string_view name, size_t shown)
	{
		std::string text;
		PropertyText::appendQuoted(text, name.substr(0, shown));
		if (name.size() > shown)
			text += "...";
		return text;
	}
}
