#include "host/lib/QuorvaleFileBlockStream.h"

namespace Quorvale
{
	QuorvaleFileBlockStream::Buffer::Buffer(const char* data, size_t size)
	{
		// The get area is never written through: streambuf's interface just is not const-correct.
		char* begin = const_cast<char*>(data);
		setg(begin, begin, begin + size);
	}

	QuorvaleFileBlockStream::Buffer::pos_type QuorvaleFileBlockStream::Buffer::seekoff(off_type offset, std::ios_base::seekdir direction,
	                                                                                   std::ios_base::openmode which)
	{
		if (!(which & std::ios_base::in))
			return pos_type(off_type(-1));
		off_type base = 0;
		if (direction == std::ios_base::cur)
			base = gptr() - eback();
		else if (direction == std::ios_base::end)
			base = egptr() - eback();
		const off_type size = egptr() - eback();
		if ((offset > 0 && base > size - offset) || (offset < 0 && base < -offset))
			return pos_type(off_type(-1));
		const off_type target = base + offset;
		setg(eback(), eback() + target, egptr());
		return pos_type(target);
	}

	QuorvaleFileBlockStream::Buffer::pos_type QuorvaleFileBlockStream::Buffer::seekpos(pos_type position, std::ios_base::openmode which)
	{
		return seekoff(off_type(position), std::ios_base::beg, which);
	}

	QuorvaleFileBlockStream::QuorvaleFileBlockStream(const char* data, size_t size)
	    : std::istream(nullptr)
	    , m_buffer(data, size)
	{
		rdbuf(&m_buffer);
	}
}
