#include "host/core/Resource/FolderRepository.h"

#include <fstream>
#include <iterator>
#include <system_error>

namespace Quorvale::Resource
{
	FolderRepository::FolderRepository(std::string name, std::filesystem::path folder)
	    : m_name(std::move(name))
	    , m_folder(std::move(folder))
	{
	}

	std::filesystem::path FolderRepository::fileOf(std::string_view name) const
	{
		const std::filesystem::path relative(name);
		if (name.empty() || relative.is_absolute() || relative.has_root_name() || relative.has_root_directory())
			return {};
		for (const auto& part : relative)
			if (part == "." || part == ".." || part.empty())
				return {};
		return m_folder / relative;
	}

	bool FolderRepository::has(std::string_view name) const
	{
		const std::filesystem::path file = fileOf(name);
		std::error_code error;
		return !file.empty() && std::filesystem::is_regular_file(file, error);
	}

	std::optional<ByteBuffer> FolderRepository::get(std::string_view name) const
	{
		if (!has(name))
			return std::nullopt;
		std::ifstream in(fileOf(name), std::ios::binary);
		if (!in)
			return std::nullopt;
		const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
		if (in.bad())
			return std::nullopt;
		return ByteBuffer::fromString(bytes);
	}
}
