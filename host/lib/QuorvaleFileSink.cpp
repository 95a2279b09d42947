#include "host/lib/QuorvaleFileSink.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace Quorvale
{
	namespace
	{
		bool isRegularFile(int fd)
		{
			struct stat info
			{
			};
			return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
		}
	}

	QuorvaleFileSink::QuorvaleFileSink(int fd, bool device)
	    : m_fd(fd)
	    , m_device(device)
	    , m_canRewrite(fd >= 0 && isRegularFile(fd))
	{
		setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
	}

	QuorvaleFileSink::~QuorvaleFileSink()
	{
		if (m_fd >= 0)
			::close(m_fd);
	}

	bool QuorvaleFileSink::finish()
	{
		bool ok = flushBuffer();
		// A device written in place may not support syncing; only regular files must be synced.
		if (ok && ::fsync(m_fd) != 0 && !(m_device && (errno == EINVAL || errno == EROFS)))
			ok = fail(errno);
		if (::close(m_fd) != 0 && ok)
			ok = fail(errno);
		m_fd = -1;
		return ok;
	}

	std::string QuorvaleFileSink::error() const { return m_error == 0 ? std::string("unknown error") : std::string(std::strerror(m_error)); }

	uint64_t QuorvaleFileSink::position() const { return m_flushed + static_cast<uint64_t>(pptr() - pbase()); }

	bool QuorvaleFileSink::rewrite(uint64_t offset, const char* data, size_t size)
	{
		return m_canRewrite && offset + size <= position() && flushBuffer() && writeAll(data, size, offset);
	}

	QuorvaleFileSink::int_type QuorvaleFileSink::overflow(int_type ch)
	{
		if (!flushBuffer())
			return traits_type::eof();
		if (!traits_type::eq_int_type(ch, traits_type::eof()))
		{
			*pptr() = traits_type::to_char_type(ch);
			pbump(1);
		}
		return traits_type::not_eof(ch);
	}

	std::streamsize QuorvaleFileSink::xsputn(const char* data, std::streamsize size)
	{
		if (size < static_cast<std::streamsize>(m_buffer.size()))
			return std::streambuf::xsputn(data, size);
		if (!flushBuffer() || !writeAll(data, static_cast<size_t>(size)))
			return 0;
		return size;
	}

	int QuorvaleFileSink::sync() { return flushBuffer() ? 0 : -1; }

	bool QuorvaleFileSink::fail(int error)
	{
		if (m_error == 0)
			m_error = error;
		return false;
	}

	bool QuorvaleFileSink::writeAll(const char* data, size_t size, std::optional<uint64_t> offset)
	{
		if (m_error != 0)
			return false;
		while (size > 0)
		{
			const ssize_t written = offset ? ::pwrite(m_fd, data, size, static_cast<off_t>(*offset)) : ::write(m_fd, data, size);
			if (written < 0)
			{
				if (errno == EINTR)
					continue;
				return fail(errno);
			}
			if (written == 0)
				return fail(EIO);
			data += written;
			size -= static_cast<size_t>(written);
			(offset ? *offset : m_flushed) += static_cast<uint64_t>(written);
		}
		return true;
	}

	bool QuorvaleFileSink::flushBuffer()
	{
		const bool ok = writeAll(pbase(), static_cast<size_t>(pptr() - pbase()));
		setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
		return ok;
	}
}
