#pragma once

#include <string>
#include <vector>

namespace Quorvale::String
{
	/// Splits `text` at every occurrence of any character of `delimiters`, dropping empty pieces.
	std::vector<std::string> split(const std::string& text, const std::string& delimiters);
	/// Lower-case copy (ASCII letters only).
	std::string toLowerCopy(const std::string& text);
	/// Copy without leading and trailing white space.
	std::string trimCopy(const std::string& text);
	/// Splits "camelCaseName" into "Camel case name"; acronyms stay whole ("forceCPU" as "Force CPU",
	/// "parseXMLFile" as "Parse XML file").
	std::string splitCamelCase(const std::string& text);
}
