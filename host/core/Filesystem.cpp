#include "host/core/Filesystem.h"

#include <system_error>
#include <utility>

namespace Quorvale::Filesystem
{
	Path::Path(const std::string& path)
	    : m_path(std::filesystem::u8path(path))
	{
	}

	Path::Path(const char* path)
	    : Path(std::string(path))
	{
	}

	Path::Path(std::filesystem::path path)
	    : m_path(std::move(path))
	{
	}

	std::string Path::string() const { return m_path.u8string(); }

	std::string Path::extension() const { return m_path.extension().u8string(); }

	File Path::asFile() const { return File(*this); }

	File::File(Path path)
	    : m_path(std::move(path))
	{
	}

	bool File::exists() const
	{
		std::error_code error;
		const auto status = std::filesystem::status(m_path.native(), error);
		return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
	}

	bool File::isRegular() const
	{
		std::error_code error;
		return std::filesystem::is_regular_file(std::filesystem::status(m_path.native(), error));
	}
}
