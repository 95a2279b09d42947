#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Quorvale
{
	/// An owned, resizable block of bytes.
	class ByteBuffer
	{
	public:
		ByteBuffer() = default;
		/// `size` zero bytes.
		explicit ByteBuffer(std::size_t size);
		/// A copy of `size` bytes at `data`.
		ByteBuffer(const void* data, std::size_t size);
		/// The bytes of a text (without a terminating zero).
		static ByteBuffer fromString(std::string_view text);

		std::uint8_t* data() { return m_bytes.data(); }
		const std::uint8_t* data() const { return m_bytes.data(); }
		std::size_t size() const { return m_bytes.size(); }
		bool empty() const { return m_bytes.empty(); }
		/// Grows with zero bytes or cuts off the end.
		void resize(std::size_t size) { m_bytes.resize(size); }

		std::uint8_t& operator[](std::size_t i) { return m_bytes[i]; }
		std::uint8_t operator[](std::size_t i) const { return m_bytes[i]; }

		/// The bytes as a text (no encoding check).
		std::string toString() const { return std::string(reinterpret_cast<const char*>(m_bytes.data()), m_bytes.size()); }

		bool operator==(const ByteBuffer& other) const { return m_bytes == other.m_bytes; }
		bool operator!=(const ByteBuffer& other) const { return m_bytes != other.m_bytes; }

	private:
		std::vector<std::uint8_t> m_bytes;
	};
}
