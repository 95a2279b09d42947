#pragma once

#include "host/core/ByteBuffer.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace Quorvale
{
	/// A pointer and a size over bytes owned elsewhere; the bytes must outlive the view.
	class ByteBufferView
	{
	public:
		ByteBufferView() = default;
		ByteBufferView(const void* data, std::size_t size)
		    : m_data(static_cast<const std::uint8_t*>(data))
		    , m_size(size)
		{
		}
		/// A view of the whole buffer.
		ByteBufferView(const ByteBuffer& buffer)
		    : ByteBufferView(buffer.data(), buffer.size())
		{
		}
		/// A view of the characters of a text.
		explicit ByteBufferView(std::string_view text)
		    : ByteBufferView(text.data(), text.size())
		{
		}

		const std::uint8_t* data() const { return m_data; }
		std::size_t size() const { return m_size; }
		bool empty() const { return m_size == 0; }

		/// An owned copy of the bytes.
		ByteBuffer copy() const { return ByteBuffer(m_data, m_size); }

	private:
		const std::uint8_t* m_data = nullptr;
		std::size_t m_size = 0;
	};
}
