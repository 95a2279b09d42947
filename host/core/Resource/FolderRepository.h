#pragma once

#include "host/core/Resource/Repository.h"

#include <filesystem>
#include <string>

namespace Quorvale::Resource
{
	/// A repository serving the files below one folder: entry "a/b.comp" is the file
	/// <folder>/a/b.comp. Entries are relative paths without "." or ".." components; any other
	/// name (absolute, climbing out of the folder) is not an entry.
	class FolderRepository : public Repository
	{
	public:
		FolderRepository(std::string name, std::filesystem::path folder);

		std::string name() const override { return m_name; }
		bool has(std::string_view name) const override;
		/// The file's bytes; empty when it does not exist or cannot be read.
		std::optional<ByteBuffer> get(std::string_view name) const override;

		const std::filesystem::path& folder() const { return m_folder; }

	private:
		/// The file of an entry name; empty for a name that is not an entry.
		std::filesystem::path fileOf(std::string_view name) const;

		std::string m_name;
		std::filesystem::path m_folder;
	};
}
