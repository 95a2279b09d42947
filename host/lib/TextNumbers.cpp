#include "host/lib/TextNumbers.h"

#include <charconv>
#include <cstdlib>
#include <system_error>

namespace Quorvale::TextNumbers
{
	namespace
	{
		/// Digits of an integer that fit in 64 bits whatever they are.
		constexpr size_t kMaxIntegerDigits = 19;

		bool hasSign(std::string_view word) { return !word.empty() && (word[0] == '+' || word[0] == '-'); }
	}

	std::optional<double> decimal(std::string_view word)
	{
		// from_chars reads the rest as C does, but takes no "+", and "nan(...)" too.
		const bool negative = !word.empty() && word[0] == '-';
		const std::string_view unsignedWord = word.substr(hasSign(word) ? 1 : 0);
		if (unsignedWord.empty() || hasSign(unsignedWord) || unsignedWord.back() == ')')
			return std::nullopt;
		double value = 0;
		const char* end = unsignedWord.data() + unsignedWord.size();
		const auto [stop, error] = std::from_chars(unsignedWord.data(), end, value);
		if (stop != end)
			return std::nullopt;
		if (error == std::errc::result_out_of_range)
			value = std::strtod(std::string(unsignedWord).c_str(), nullptr); // an infinity, or 0 and what is below
		else if (error != std::errc())
			return std::nullopt;
		return negative ? -value : value;
	}

	std::optional<int64_t> integer(std::string_view word, bool withSign)
	{
		const size_t at = withSign && hasSign(word) ? 1 : 0;
		const char* end = word.data() + word.size();
		if (at == word.size() || word[at] < '0' || word[at] > '9' || word.size() - at > kMaxIntegerDigits)
			return std::nullopt;
		uint64_t value = 0;
		const auto [stop, error] = std::from_chars(word.data() + at, end, value);
		if (stop != end || error != std::errc() || value > static_cast<uint64_t>(INT64_MAX))
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
