#include "host/lib/QuorvaleFileChecksumBuffer.h"

#include "host/lib/Checksum.h"

namespace Quorvale
{
	QuorvaleFileChecksumBuffer::QuorvaleFileChecksumBuffer(std::streambuf* target)
	    : m_target(target)
	{
		setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
	}

	QuorvaleFileChecksumBuffer::~QuorvaleFileChecksumBuffer() { drain(); }

	uint64_t QuorvaleFileChecksumBuffer::length() const { return m_length + static_cast<uint64_t>(pptr() - pbase()); }

	uint32_t QuorvaleFileChecksumBuffer::checksum() const
	{
		return Checksum::crc32(pbase(), static_cast<size_t>(pptr() - pbase()), m_checksum);
	}

	QuorvaleFileChecksumBuffer::int_type QuorvaleFileChecksumBuffer::overflow(int_type ch)
	{
		if (!drain())
			return traits_type::eof();
		if (!traits_type::eq_int_type(ch, traits_type::eof()))
		{
			*pptr() = traits_type::to_char_type(ch);
			pbump(1);
		}
		return traits_type::not_eof(ch);
	}

	std::streamsize QuorvaleFileChecksumBuffer::xsputn(const char* data, std::streamsize size)
	{
		if (size < static_cast<std::streamsize>(m_buffer.size()))
			return std::streambuf::xsputn(data, size);
		// Large pieces (image pixels) go on without a copy.
		if (!drain())
			return 0;
		take(data, static_cast<size_t>(size));
		return m_passedOn ? size : 0;
	}

	int QuorvaleFileChecksumBuffer::sync()
	{
		if (!drain())
			return -1;
		return m_target && m_target->pubsync() != 0 ? -1 : 0;
	}

	void QuorvaleFileChecksumBuffer::take(const char* data, size_t size)
	{
		m_length += size;
		m_checksum = Checksum::crc32(data, size, m_checksum);
		if (m_target && m_passedOn && m_target->sputn(data, static_cast<std::streamsize>(size)) != static_cast<std::streamsize>(size))
			m_passedOn = false;
	}

	bool QuorvaleFileChecksumBuffer::drain()
	{
		take(pbase(), static_cast<size_t>(pptr() - pbase()));
		setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
		return m_passedOn;
	}
}
