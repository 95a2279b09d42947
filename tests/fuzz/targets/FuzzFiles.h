#pragma once

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include <unistd.h>

namespace Quorvale::Fuzz
{
	/// A file of this process for readers and writers that take paths; removed at exit. It lives in
	/// memory where the system offers a folder for that: writers sync their files, which on a disk
	/// would take most of each run's time. The process number in its name has a fixed width: code
	/// that handles the path branches on its length, and a replay must cover the same edges whatever
	/// number the system gave the process.
	class ScratchFile
	{
	public:
		explicit ScratchFile(const std::string& suffix)
		    : m_path(folder() + "/quorvale-fuzz-" + processNumber() + "-" + std::to_string(s_count++) + suffix)
		{
		}
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

	private:
		static std::string folder()
		{
			static const std::string chosen = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
			return chosen;
		}

		/// Seven digits hold every process number Linux gives (at most 2^22).
		static std::string processNumber()
		{
			char digits[16];
			std::snprintf(digits, sizeof digits, "%07ld", static_cast<long>(::getpid()));
			return digits;
		}

		static inline int s_count = 0;
		std::string m_path;
	};
}
