#pragma once

#include "host/core/Properties.h"

#include <optional>
#include <string>

/// Saving and loading `Properties` as text (format 4, described in docs/properties-text-format.md).
/// The text keeps everything a `Properties` holds, exactly: names, values bit for bit, defaults,
/// type words, attributes and nested sub-properties in order.
namespace Quorvale::PropertiesIO
{
	/// The text format number this version reads and writes.
	constexpr int kTextFormat = 4;
	/// Deepest nesting of sub-properties below the top set that is saved or loaded.
	constexpr int kMaxDepth = 64;

	/// The text of `properties`; `comment`, when not empty, is written first as comment lines.
	/// Empty (with an error in the log) when `format` is not 4 or the nesting is deeper than `kMaxDepth`.
	std::optional<std::string> saveToString(const Properties& properties, int format, const std::string& comment = {});

	/// Reads a text written by `saveToString`. Empty (with the line and reason in the log) when
	/// `format` is not 4 or the text is malformed in any way; never a partial result.
	std::optional<Properties> loadFromString(const std::string& text, int format);
}
