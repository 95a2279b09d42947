#pragma once

#include <string>
#include <string_view>

/// What a feature name must be so that every file format of the graph carries it faithfully: the
/// data file stores its bytes and GraphML writes it as an XML attribute value, which cannot hold
/// control characters, non-characters or bytes that are not UTF-8.
namespace Quorvale::FeatureNames
{
	/// Why `name` cannot be a feature name ("it is empty", "it holds the control character U+000A",
	/// "it is not valid UTF-8", "it holds U+FFFE, which is no character"); empty when it can.
	std::string problem(std::string_view name);

	/// `name` in double quotes for messages, control characters and bytes that are not UTF-8
	/// escaped (as the properties text writes strings), at most `shown` bytes of it followed by "...".
	std::string quoted(std::string_view name, size_t shown = 80);
}
