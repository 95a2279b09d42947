#include "host/lib/QuorvaleFileBodyReader.h"

#include "host/lib/QuorvaleFileIO.h"

#include <istream>
#include <limits>

namespace Quorvale
{
	QuorvaleFileBodyReader::QuorvaleFileBodyReader(std::istream& in)
		: m_in(in)
		, m_left(QuorvaleFileIO::remainingBytes(in).value_or(std::numeric_limits<uint64_t>::max()))
	{
	}

	bool QuorvaleFileBodyReader::u8(uint8_t& value) { return take(1) && QuorvaleFileIO::readU8(m_in, value); }

	bool QuorvaleFileBodyReader::u32(uint32_t& value) { return take(4) && QuorvaleFileIO::readU32(m_in, value); }

	bool QuorvaleFileBodyReader::u64(uint64_t& value) { return take(8) && QuorvaleFileIO::readU64(m_in, value); }

	bool QuorvaleFileBodyReader::f64(double& value) { return take(8) && QuorvaleFileIO::readF64(m_in, value); }

	bool QuorvaleFileBodyReader::i32(int& value)
	{
		uint32_t bits = 0;
		if (!u32(bits))
			return false;
		value = static_cast<int>(static_cast<int32_t>(bits));
		return true;
	}

	bool QuorvaleFileBodyReader::bytes(uint64_t size, std::string& out) { return take(size) && QuorvaleFileIO::readBytes(m_in, size, out); }

	bool QuorvaleFileBodyReader::raw(void* out, uint64_t size)
	{
		if (!take(size))
			return false;
		m_in.read(static_cast<char*>(out), static_cast<std::streamsize>(size));
		return m_in.gcount() == static_cast<std::streamsize>(size);
	}

	bool QuorvaleFileBodyReader::tag(std::string_view expected)
	{
		std::string found;
		return bytes(expected.size(), found) && found == expected;
	}

	bool QuorvaleFileBodyReader::matrix(Eigen::Matrix4d& matrix)
	{
		for (int i = 0; i < 16; ++i)
			if (!f64(matrix.data()[i]))
				return false;
		return true;
	}

	bool QuorvaleFileBodyReader::take(uint64_t size)
	{
		if (size > m_left)
			return false;
		m_left -= size;
		return true;
	}
}
