#include "host/lib/TextNumbers.h"

namespace Quorvale::TextNumbers
{
	namespace
	{
		/// Digits of a whole part or an exponent that Assimp reads without overflow.
		constexpr size_t kMaxDigits = 19;

		size_t digitsAt(std::string_view word, size_t at)
		{
			size_t count = 0;
			while (at + count < word.size() && word[at + count] >= '0' && word[at + count] <= '9')
				++count;
			return count;
		}

		bool hasSign(std::string_view word) { return !word.empty() && (word[0] == '+' || word[0] == '-'); }

		bool equalIgnoringCase(std::string_view word, std::string_view lower)
		{
			if (word.size() != lower.size())
				return false;
			for (size_t i = 0; i < word.size(); ++i)
				if ((word[i] >= 'A' && word[i] <= 'Z' ? word[i] - 'A' + 'a' : word[i]) != lower[i])
					return false;
			return true;
		}

		bool isNanOrInfinity(std::string_view word)
		{
			return equalIgnoringCase(word, "nan") || equalIgnoringCase(word, "inf") || equalIgnoringCase(word, "infinity");
		}
	}

	bool isDecimal(std::string_view word)
	{
		size_t at = hasSign(word) ? 1 : 0;
		if (isNanOrInfinity(word.substr(at)))
			return true;
		const size_t whole = digitsAt(word, at);
		at += whole;
		size_t fraction = 0;
		if (at < word.size() && word[at] == '.')
		{
			fraction = digitsAt(word, at + 1);
			at += 1 + fraction;
		}
		if ((whole == 0 && fraction == 0) || whole > kMaxDigits)
			return false;
		if (at < word.size() && (word[at] == 'e' || word[at] == 'E'))
		{
			at += at + 1 < word.size() && (word[at + 1] == '+' || word[at + 1] == '-') ? 2 : 1;
			const size_t exponent = digitsAt(word, at);
			if (exponent == 0 || exponent > kMaxDigits)
				return false;
			at += exponent;
		}
		return at == word.size();
	}

	std::optional<int64_t> integer(std::string_view word, bool withSign)
	{
		const size_t at = withSign && hasSign(word) ? 1 : 0;
		const size_t digits = digitsAt(word, at);
		if (digits == 0 || at + digits != word.size() || digits > kMaxDigits)
			return std::nullopt;
		// 19 digits fit in an unsigned 64-bit value; larger magnitudes than int64 are refused.
		uint64_t value = 0;
		for (size_t i = at; i < word.size(); ++i)
			value = value * 10 + static_cast<uint64_t>(word[i] - '0');
		if (value > static_cast<uint64_t>(INT64_MAX))
			return std::nullopt;
		const auto magnitude = static_cast<int64_t>(value);
		return word[0] == '-' ? -magnitude : magnitude;
	}

	std::string excerpt(std::string_view word)
	{
		constexpr size_t shown = 40;
		return word.size() > shown ? std::string(word.substr(0, shown)) + "..." : std::string(word);
	}
}
