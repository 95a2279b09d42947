#pragma once

#include <string>

namespace Quorvale::AlgorithmUtils
{
	/// Parses a menu name "Category;Sub;Name" into its last piece ("Name"), trimmed. When `path` is
	/// given it receives the pieces before it joined with ";" (empty for a plain name).
	std::string parseAlgorithmName(const std::string& menuName, std::string* path);
}
