#include "host/core/SafeSave.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

namespace fs = std::filesystem;

namespace Quorvale
{
	namespace
	{
		[[noreturn]] void failWrite(const std::string& path, const std::string& what)
		{
			throw std::runtime_error("Cannot write '" + path + "': " + what);
		}

		void writeAll(int fd, const std::string& bytes, const std::string& path)
		{
			const char* data = bytes.data();
			size_t left = bytes.size();
			while (left > 0)
			{
				const ssize_t written = ::write(fd, data, left);
				if (written < 0 && errno == EINTR)
					continue;
				if (written <= 0)
					failWrite(path, std::strerror(written < 0 ? errno : EIO));
				data += written;
				left -= static_cast<size_t>(written);
			}
		}

		/// ".NAME." : the start of every temporary file name of the target NAME; the process id,
		/// a dash and a counter follow, then ".tmp" and the suffix.
		std::string temporaryPrefix(const fs::path& target) { return "." + target.filename().string() + "."; }

		/// Removes the temporary files of `target` whose writing process no longer runs.
		void removeStaleTemporaries(const fs::path& folder, const fs::path& target, const std::string& suffix)
		{
			const std::string prefix = temporaryPrefix(target);
			const std::string ending = ".tmp" + suffix;
			std::error_code error;
			for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
			{
				const std::string name = it->path().filename().string();
				if (name.size() <= prefix.size() + ending.size() || name.compare(0, prefix.size(), prefix) != 0 ||
				    name.compare(name.size() - ending.size(), ending.size(), ending) != 0)
					continue;
				// PID-N between prefix and ending.
				const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - ending.size());
				const auto dash = middle.find('-');
				if (dash == std::string::npos || dash == 0 || middle.find_first_not_of("0123456789-") != std::string::npos)
					continue;
				const long pid = std::strtol(middle.substr(0, dash).c_str(), nullptr, 10);
				if (pid <= 0 || pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
					continue;
				std::error_code ignored;
				if (fs::is_regular_file(fs::symlink_status(it->path(), ignored)))
					fs::remove(it->path(), ignored);
			}
		}

		/// Write permission by the mode bits: root is granted it by `access` whatever they say.
		bool modeAllowsWriting(const struct stat& info)
		{
			if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
				return false;
			const uid_t user = ::geteuid();
			if (user == 0)
				return true;
			if (info.st_uid == user)
				return (info.st_mode & S_IWUSR) != 0;
			return true;
		}

		/// Write ends of named pipes opened by `checkTarget`, kept for the save that follows.
		class HeldPipes
		{
		public:
			void hold(const fs::path& pipe, int fd)
			{
				std::lock_guard<std::mutex> lock(m_mutex);
				if (!m_fds.emplace(pipe.string(), fd).second)
					::close(fd);
			}
			/// The held descriptor of `pipe`, handed over; -1 when none is held.
			int take(const fs::path& pipe)
			{
				std::lock_guard<std::mutex> lock(m_mutex);
				const auto it = m_fds.find(pipe.string());
				if (it == m_fds.end())
					return -1;
				const int fd = it->second;
				m_fds.erase(it);
				return fd;
			}

		private:
			std::mutex m_mutex;
			std::map<std::string, int> m_fds;
		};

		HeldPipes& heldPipes()
		{
			static HeldPipes pipes;
			return pipes;
		}

		void syncFolder(const fs::path& folder)
		{
			const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
			if (fd >= 0)
			{
				::fsync(fd);
				::close(fd);
			}
		}
	}

	SafeSave::SafeSave(const std::string& path, const std::string& suffix)
	    : m_target(fs::u8path(path))
	{
		if (followLink() && inspectTarget())
			createTemporary(suffix);
	}

	SafeSave::SafeSave(const std::string& path, Probe)
	    : m_target(fs::u8path(path))
	{
		if (followLink())
			inspectTarget();
	}

	bool SafeSave::followLink()
	{
		// Link by link, so that a link to a file that does not exist yet makes that file.
		std::error_code error;
		int hops = 0;
		for (; fs::is_symlink(fs::symlink_status(m_target, error)); ++hops)
		{
			fs::path next = fs::read_symlink(m_target, error);
			if (error || hops == 40)
			{
				fail("cannot follow the link: " + (error ? error.message() : std::string("too many levels of links")),
				     error ? error.value() : ELOOP);
				return false;
			}
			m_target = next.is_absolute() ? std::move(next) : m_target.parent_path() / next;
		}
		if (hops == 0)
			return true;
		fs::path resolved = fs::weakly_canonical(m_target, error);
		if (!error)
			m_target = std::move(resolved);
		return true;
	}

	bool SafeSave::inspectTarget()
	{
		struct stat info
		{
		};
		if (::stat(m_target.c_str(), &info) == 0)
		{
			if (S_ISDIR(info.st_mode))
			{
				fail("it is a folder");
				return false;
			}
			if (!S_ISREG(info.st_mode))
			{
				m_inPlace = true;
				m_writePath = m_target;
				if (S_ISFIFO(info.st_mode))
					openPipe();
				else if ((m_fd = ::open(m_target.c_str(), O_WRONLY | O_CLOEXEC)) < 0)
					fail(std::strerror(errno), errno);
				return false;
			}
			if (!modeAllowsWriting(info) || (::geteuid() != 0 && ::access(m_target.c_str(), W_OK) != 0))
			{
				fail("it is read-only");
				return false;
			}
			m_hadTarget = true;
			m_mode = info.st_mode & 07777;
		}
		else if (errno != ENOENT)
		{
			fail(std::strerror(errno), errno);
			return false;
		}
		return true;
	}

	void SafeSave::openPipe()
	{
		if ((m_fd = heldPipes().take(m_target)) >= 0)
			return;
		// Opening a pipe for writing waits for a reader: a pipe that nothing reads would block for ever.
		m_fd = ::open(m_target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
		if (m_fd < 0)
			fail(errno == ENXIO ? std::string("it is a named pipe that no program reads") : std::strerror(errno), errno);
		else
			::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
	}

	std::string SafeSave::checkTarget(const std::string& path)
	{
		SafeSave probe(path, Probe{});
		// The reader of a pipe would see its end if the probe closed it: it stays open for the save.
		if (probe.ok() && probe.m_fd >= 0 && probe.m_inPlace)
		{
			struct stat info
			{
			};
			if (::fstat(probe.m_fd, &info) == 0 && S_ISFIFO(info.st_mode))
				heldPipes().hold(probe.m_target, probe.takeDescriptor());
		}
		return probe.error();
	}

	void SafeSave::createTemporary(const std::string& suffix)
	{
		fs::path folder = m_target.parent_path();
		if (folder.empty())
			folder = ".";
		removeStaleTemporaries(folder, m_target, suffix);

		static std::atomic<unsigned> counter{0};
		for (int attempt = 0; attempt < 100; ++attempt)
		{
			m_writePath = folder / fmt::format("{}{}-{}.tmp{}", temporaryPrefix(m_target), ::getpid(), counter++, suffix);
			m_fd = ::open(m_writePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
			if (m_fd >= 0)
				return;
			if (errno != EEXIST)
				break;
		}
		const int reason = errno;
		m_writePath.clear();
		fail(std::string("cannot create a file in its folder: ") + std::strerror(reason), reason);
	}

	SafeSave::~SafeSave()
	{
		if (m_fd >= 0)
			::close(m_fd);
		if (!m_inPlace && !m_committed && !m_writePath.empty())
		{
			std::error_code ignored;
			fs::remove(m_writePath, ignored);
		}
	}

	int SafeSave::takeDescriptor()
	{
		const int fd = m_fd;
		m_fd = -1;
		return fd;
	}

	bool SafeSave::commit()
	{
		if (!ok())
			return false;
		if (m_fd >= 0)
		{
			::close(m_fd);
			m_fd = -1;
		}
		if (m_inPlace)
			return true;
		if (m_hadTarget && ::chmod(m_writePath.c_str(), static_cast<mode_t>(m_mode)) != 0)
		{
			fail(std::string("cannot give the new file the mode of the old one: ") + std::strerror(errno), errno);
			return false;
		}
		if (::rename(m_writePath.c_str(), m_target.c_str()) != 0)
		{
			fail(std::string("cannot put the new file in place: ") + std::strerror(errno), errno);
			return false;
		}
		m_committed = true;
		fs::path folder = m_target.parent_path();
		syncFolder(folder.empty() ? fs::path(".") : folder);
		return true;
	}

	void SafeSave::fail(std::string reason, int errorNumber)
	{
		if (m_error.empty())
		{
			m_error = std::move(reason);
			m_errorNumber = errorNumber;
		}
	}

	void SafeSave::writeFile(const std::string& path, const std::string& bytes)
	{
		SafeSave save(path);
		if (!save.ok())
			failWrite(path, save.error());
		const int fd = save.takeDescriptor();
		try
		{
			writeAll(fd, bytes, path);
			if (::fsync(fd) != 0 && !save.inPlace())
				failWrite(path, std::strerror(errno));
		}
		catch (...)
		{
			::close(fd);
			throw;
		}
		if (::close(fd) != 0)
			failWrite(path, std::strerror(errno));
		if (!save.commit())
			failWrite(path, save.error());
	}
}
