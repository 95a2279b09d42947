#pragma once

#include <Eigen/Core>

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace Quorvale
{
	/// Reads a block body of a data file while counting the bytes the block still holds, so that no
	/// length or count read from a damaged block can make a handler read, allocate or loop beyond
	/// the block. Every read returns false, consuming nothing more, when the block is too short.
	class QuorvaleFileBodyReader
	{
	public:
		/// Reads from `in`, which is bounded to one block (the bytes left are asked from the stream).
		explicit QuorvaleFileBodyReader(std::istream& in);

		uint64_t left() const { return m_left; }
		/// True when `count` records of at least `recordSize` bytes each can still be in the block.
		bool fits(uint64_t count, uint64_t recordSize) const { return recordSize == 0 || count <= m_left / recordSize; }

		bool u8(uint8_t& value);
		bool u32(uint32_t& value);
		bool u64(uint64_t& value);
		bool i32(int& value);
		bool f64(double& value);
		bool bytes(uint64_t size, std::string& out);
		bool raw(void* out, uint64_t size);
		/// Reads `expected.size()` bytes; true when they equal `expected`.
		bool tag(std::string_view expected);
		/// 16 doubles, column after column.
		bool matrix(Eigen::Matrix4d& matrix);

	private:
		bool take(uint64_t size);

		std::istream& m_in;
		uint64_t m_left;
	};
}
