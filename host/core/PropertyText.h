#pragma once

#include "host/core/PropertyValue.h"

#include <optional>
#include <string>
#include <string_view>

/// The text form of single property values, shared by `PropertiesIO` and the text conversions of
/// `Properties`, so that a value written by one is read back exactly by the other.
///
/// bool `true`/`false`; integers in decimal; floating-point numbers in the shortest decimal form that
/// reads back to the same bits, `inf`, `-inf`, `nan` (the default quiet NaN) or `nan(0x<bits>)`;
/// strings in double quotes with `\\ \" \n \r \t \xHH` escapes; `unset` for a disengaged optional;
/// vectors, matrices (row by row) and lists as their elements separated by spaces.
namespace Quorvale::PropertyText
{
	/// The text of a value without its type name (see the namespace documentation).
	std::string formatValue(const PropertyValue& value);
	/// Appends the text of a value to `out`; the same text as `formatValue`.
	void appendValue(std::string& out, const PropertyValue& value);

	/// Parses the text of a value of the named type (the names of `PropertiesDetail::typeName`).
	/// Spaces and tabs around the text are ignored. Empty when the type name is unknown, the text is
	/// malformed, a number is out of range, or anything follows the value.
	std::optional<PropertyValue> parseValue(std::string_view text, std::string_view typeName);

	/// Appends `text` in double quotes with escapes: quote, backslash, control bytes and bytes that
	/// are not part of valid UTF-8 are escaped; valid UTF-8 is kept as it is.
	void appendQuoted(std::string& out, std::string_view text);
	/// Reads a quoted string at the start of `text` and removes it from `text`. Empty (and `text`
	/// unchanged) when there is no complete quoted string, an escape is unknown or a raw control byte occurs.
	std::optional<std::string> consumeQuoted(std::string_view& text);
}
