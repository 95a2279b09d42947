#pragma once

#include <filesystem>
#include <string>

namespace Quorvale::Filesystem
{
	class File;

	/// A location in the file system, held in the platform's native form; texts are UTF-8.
	class Path
	{
	public:
		Path() = default;
		/// A path from its UTF-8 text.
		Path(const std::string& path);
		Path(const char* path);
		explicit Path(std::filesystem::path path);

		/// The path as UTF-8 text.
		std::string string() const;
		/// The extension with its leading dot (".graphml"), empty when there is none.
		std::string extension() const;
		/// The file at this location (whether or not it exists).
		File asFile() const;
		bool empty() const { return m_path.empty(); }

		const std::filesystem::path& native() const { return m_path; }

	private:
		std::filesystem::path m_path;
	};

	/// A file named by a path.
	class File
	{
	public:
		explicit File(Path path);

		const Path& path() const { return m_path; }
		/// True when something that is not a directory exists at the path (links are followed).
		bool exists() const;
		/// True when a regular file is at the path (links are followed): not a device, pipe or
		/// socket, whose reading may never end.
		bool isRegular() const;

	private:
		Path m_path;
	};
}
