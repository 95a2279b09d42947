#include "host/core/ByteBuffer.h"

#include <cstring>

namespace Quorvale
{
	ByteBuffer::ByteBuffer(std::size_t size)
	    : m_bytes(size, 0)
	{
	}

	ByteBuffer::ByteBuffer(const void* data, std::size_t size)
	    : m_bytes(size)
	{
		if (size > 0)
			std::memcpy(m_bytes.data(), data, size);
	}

	ByteBuffer ByteBuffer::fromString(std::string_view text) { return ByteBuffer(text.data(), text.size()); }
}
