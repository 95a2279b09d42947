#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// The numbers of text mesh files (PLY, OBJ, STL), read whole or refused: a word that is not
/// exactly one number is never read as a part of it or as 0.
namespace Quorvale::TextNumbers
{
	/// The number that `word` writes as C does: an optional sign, digits with an optional decimal
	/// point (or a point and digits), an optional exponent; "nan", "inf" and "infinity" in any
	/// case. A magnitude beyond the range of doubles is an infinity, one below it 0. Empty for
	/// anything else.
	std::optional<double> decimal(std::string_view word);

	/// The integer that `word` writes: digits after an optional sign (only when `withSign`), at
	/// most 19 digits; empty for anything else.
	std::optional<int64_t> integer(std::string_view word, bool withSign);

	/// `word` for a message: cut after 40 characters, with "..." when it was cut.
	std::string excerpt(std::string_view word);
}
