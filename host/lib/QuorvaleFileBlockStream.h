#pragma once

#include <cstddef>
#include <istream>
#include <streambuf>

namespace Quorvale
{
	/// An input stream over one block's bytes in memory, without copying them. It ends where the
	/// block ends: a handler that reads further gets end-of-file and a failed stream, never the bytes
	/// of the next block. Seeking works within the block (offsets count from its first byte).
	/// The bytes must outlive the stream.
	class QuorvaleFileBlockStream : public std::istream
	{
	public:
		QuorvaleFileBlockStream(const char* data, size_t size);
		QuorvaleFileBlockStream(const QuorvaleFileBlockStream&) = delete;
		QuorvaleFileBlockStream& operator=(const QuorvaleFileBlockStream&) = delete;

	private:
		/// A read-only buffer over [begin, end); the whole range is the get area.
		class Buffer : public std::streambuf
		{
		public:
			Buffer(const char* data, size_t size);

		protected:
			pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode which) override;
			pos_type seekpos(pos_type position, std::ios_base::openmode which) override;
		};

		Buffer m_buffer;
	};
}
