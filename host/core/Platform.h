#pragma once

#include <filesystem>
#include <string>

namespace Quorvale::Platform
{
	/// The platform's native path text for a UTF-8 path: the same bytes on Linux and macOS, wide
	/// characters on Windows. Pass it to file streams so that non-ASCII names open everywhere.
	inline std::filesystem::path::string_type widen(const std::string& path) { return std::filesystem::u8path(path).native(); }
}
