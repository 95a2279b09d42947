#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

#include <unistd.h>

namespace Quorvale::Fuzz
{
	/// A file of this process for readers and writers that take paths; removed when it goes. Every
	/// such file lives in one folder of this process, made empty at the first file and removed at
	/// exit, in memory where the system offers a place for that: writers sync their files, which on
	/// a disk would take most of each run's time. The folder is private because code that writes
	/// files looks at the other entries beside them (stale temporaries are swept), and a replay must
	/// cover the same edges whatever other programs leave in a shared folder. Its name has a fixed
	/// width, and the files' names depend only on how many came before them in this process.
	class ScratchFile
	{
	public:
		explicit ScratchFile(const std::string& suffix) : m_path(folder() + "/" + std::to_string(s_count++) + suffix) {}
		~ScratchFile() { ::unlink(m_path.c_str()); }
		ScratchFile(const ScratchFile&) = delete;
		ScratchFile& operator=(const ScratchFile&) = delete;

		const std::string& path() const { return m_path; }
		void write(std::string_view bytes) const
		{
			std::ofstream(m_path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
		}
		std::string read() const
		{
			std::ifstream in(m_path, std::ios::binary);
			return std::string(std::istreambuf_iterator<char>(in), {});
		}

		/// The folder of this process's scratch files, made on first use.
		static const std::string& folder()
		{
			static const Folder made;
			return made.path;
		}

	private:
		struct Folder
		{
			Folder()
			{
				std::string pattern = std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/quorvale-fuzz-XXXXXX";
				if (!::mkdtemp(pattern.data()))
				{
					std::perror(("Cannot make a scratch folder " + pattern).c_str());
					std::abort();
				}
				path = pattern;
			}
			~Folder()
			{
				std::error_code ignored;
				std::filesystem::remove_all(path, ignored);
			}
			std::string path;
		};

		static inline int s_count = 0;
		std::string m_path;
	};
}
