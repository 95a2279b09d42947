#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// The numbers of text mesh files (PLY, OBJ, STL) as Assimp's readers take them. Those readers
/// parse what they can and read the rest as 0 without a word, so a file is checked against these
/// rules before Assimp reads it.
namespace Quorvale::TextNumbers
{
	/// True when `word` is a number as C writes it: an optional sign, digits with an optional
	/// decimal point (or a point and digits), an optional exponent; "nan", "inf" and "infinity" in
	/// any case. At most 19 digits before the point and in the exponent, which Assimp reads
	/// without overflow.
	bool isDecimal(std::string_view word);

	/// The integer that `word` writes: digits after an optional sign (only when `withSign`), at
	/// most 19 digits; empty for anything else.
	std::optional<int64_t> integer(std::string_view word, bool withSign);

	/// `word` for a message: cut after 40 characters, with "..." when it was cut.
	std::string excerpt(std::string_view word);
}
