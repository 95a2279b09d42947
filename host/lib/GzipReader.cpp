#include "host/lib/GzipReader.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <fmt/format.h>

namespace Quorvale
{
	struct GzipReader::State
	{
		int fd = -1;
		z_stream stream{};
		bool inflating = false;
		std::vector<unsigned char> input = std::vector<unsigned char>(std::size_t(1) << 16);
		/// The file was read to its end.
		bool eof = false;
		/// Not gzip: the bytes pass through.
		bool plain = false;
		bool inMember = false;
		/// Nothing more to read: the end of the file or of the last member.
		bool finished = false;
		/// The file ended inside a member.
		bool cut = false;
		/// The data did not decode, bytes that belong to no member followed one, or the file could not be read.
		bool failed = false;
		/// What went wrong first.
		std::string problem;
		/// How many bytes of the file went into the buffer, and where the current member starts.
		std::uint64_t readTotal = 0;
		std::uint64_t memberStart = 0;

		/// The offset in the file of the next unread input byte.
		std::uint64_t offset() const { return readTotal - stream.avail_in; }

		void fault(std::string what)
		{
			if (problem.empty())
				problem = std::move(what);
		}

		/// Moves the unread input to the front of the buffer and reads more behind it.
		void fill()
		{
			if (stream.avail_in > 0 && stream.next_in != input.data())
				std::memmove(input.data(), stream.next_in, stream.avail_in);
			stream.next_in = input.data();
			while (!eof && stream.avail_in < input.size())
			{
				const ssize_t got = ::read(fd, input.data() + stream.avail_in, input.size() - stream.avail_in);
				if (got < 0 && errno == EINTR)
					continue;
				if (got < 0)
				{
					failed = true;
					fault(fmt::format("cannot read the file at offset {}: {}", readTotal, std::strerror(errno)));
				}
				if (got <= 0)
				{
					eof = true;
					break;
				}
				stream.avail_in += static_cast<uInt>(got);
				readTotal += static_cast<std::uint64_t>(got);
			}
		}

		/// True when the unread input starts with the gzip magic bytes.
		bool atMember()
		{
			if (stream.avail_in < 2)
				fill();
			return stream.avail_in >= 2 && stream.next_in[0] == 0x1f && stream.next_in[1] == 0x8b;
		}

		/// Passes over zero bytes (padding, as gzip allows after a member), then starts the next
		/// member, or finishes at the end of the file. Anything else after a member is refused.
		void nextMember()
		{
			for (;;)
			{
				if (stream.avail_in == 0)
					fill();
				if (stream.avail_in == 0)
				{
					finished = true;
					return;
				}
				unsigned char* end = stream.next_in + stream.avail_in;
				unsigned char* data = std::find_if(stream.next_in, end, [](unsigned char b) { return b != 0; });
				stream.avail_in -= static_cast<uInt>(data - stream.next_in);
				stream.next_in = data;
				if (data != end)
					break;
			}
			memberStart = offset();
			if (atMember() && inflateReset(&stream) == Z_OK)
				inMember = true;
			else
			{
				failed = true;
				fault(fmt::format("the bytes from offset {} are neither zero padding nor a gzip member", memberStart));
			}
		}

		std::size_t passThrough(unsigned char* target, std::size_t count)
		{
			if (stream.avail_in == 0)
				fill();
			const std::size_t n = std::min<std::size_t>(count, stream.avail_in);
			std::memcpy(target, stream.next_in, n);
			stream.next_in += n;
			stream.avail_in -= static_cast<uInt>(n);
			finished = stream.avail_in == 0 && eof;
			return n;
		}

		/// Inflates into `target`; how many bytes came out. Sets `inMember`, `cut` and `failed`.
		std::size_t inflateSome(unsigned char* target, std::size_t count)
		{
			if (stream.avail_in == 0)
				fill();
			stream.next_out = target;
			stream.avail_out = static_cast<uInt>(std::min<std::size_t>(count, std::size_t(1) << 30));
			const uInt before = stream.avail_out;
			const int result = inflate(&stream, Z_NO_FLUSH);
			if (result == Z_STREAM_END)
				inMember = false;
			else if (result == Z_BUF_ERROR && stream.avail_in == 0 && eof)
			{
				finished = cut = true;
				fault(fmt::format("the gzip member at offset {} is cut short: the file ends after {} bytes", memberStart, readTotal));
			}
			// Without input inflate makes no progress (more is read next time); with input it always does.
			else if (result != Z_OK && !(result == Z_BUF_ERROR && stream.avail_in == 0))
			{
				failed = true;
				fault(fmt::format("the gzip member at offset {} is damaged ({})", memberStart,
				                  stream.msg ? stream.msg : "it does not inflate"));
			}
			return before - stream.avail_out;
		}
	};

	GzipReader::GzipReader(const std::string& path)
	    : m_state(std::make_unique<State>())
	{
		State& s = *m_state;
		s.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
		if (s.fd < 0)
			return;
		s.plain = !s.atMember();
		if (!s.plain)
		{
			s.inflating = inflateInit2(&s.stream, 16 + MAX_WBITS) == Z_OK;
			s.failed = !s.inflating;
			s.inMember = true;
		}
	}

	GzipReader::~GzipReader()
	{
		if (m_state->inflating)
			inflateEnd(&m_state->stream);
		if (m_state->fd >= 0)
			::close(m_state->fd);
	}

	bool GzipReader::isOpen() const { return m_state->fd >= 0; }

	std::optional<std::size_t> GzipReader::read(unsigned char* target, std::size_t count)
	{
		State& s = *m_state;
		std::size_t done = 0;
		while (done < count && !s.finished && !s.failed)
		{
			if (s.plain)
				done += s.passThrough(target + done, count - done);
			else if (!s.inMember)
				s.nextMember();
			else
				done += s.inflateSome(target + done, count - done);
		}
		if (s.failed)
			return std::nullopt;
		return done;
	}

	bool GzipReader::endsIntact()
	{
		std::vector<unsigned char> rest(std::size_t(1) << 16);
		while (read(rest.data(), rest.size()) == rest.size())
		{
		}
		return !m_state->failed && !m_state->cut;
	}

	const std::string& GzipReader::problem() const { return m_state->problem; }
}
