#include "host/lib/SequentialFileReader.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "host/core/Platform.h"

namespace Quorvale
{
	SequentialFileReader::SequentialFileReader(const std::string& path, uint64_t offset)
	    : m_in(Platform::widen(path), std::ios::binary)
	    , m_buffer(kBufferBytes)
	{
		std::error_code error;
		m_size = std::filesystem::file_size(std::filesystem::u8path(path), error);
		if (!m_in || error)
			throw std::runtime_error("Cannot read '" + path + "': it cannot be opened");
		m_position = std::min(offset, m_size);
		m_in.seekg(static_cast<std::streamoff>(m_position));
	}

	bool SequentialFileReader::fill()
	{
		if (m_at < m_end)
			return true;
		m_at = m_end = 0;
		if (left() == 0)
			return false;
		m_in.read(m_buffer.data(), static_cast<std::streamsize>(std::min<uint64_t>(m_buffer.size(), left())));
		m_end = static_cast<size_t>(m_in.gcount());
		if (m_end == 0)
			m_size = m_position; // the file shrank while it was read
		return m_end > 0;
	}

	bool SequentialFileReader::nextLine(std::string_view& line)
	{
		if (!fill())
			return false;
		m_line.clear();
		for (;;)
		{
			const char* start = m_buffer.data() + m_at;
			const auto* found = static_cast<const char*>(std::memchr(start, '\n', buffered()));
			const size_t length = found ? static_cast<size_t>(found - start) : buffered();
			const size_t consumed = length + (found ? 1 : 0);
			m_position += consumed;
			m_at += consumed;
			if (found && m_line.empty())
				line = std::string_view(start, length);
			else
			{
				m_line.append(start, length);
				if (!found && fill())
					continue;
				line = m_line;
			}
			if (found && !line.empty() && line.back() == '\r')
				line.remove_suffix(1);
			m_lineEnded = found != nullptr;
			m_longestLine = std::max<uint64_t>(m_longestLine, line.size());
			return true;
		}
	}

	uint64_t SequentialFileReader::memoryBytes() const
	{
		// A copied line grows its string to at most twice its length.
		return m_buffer.size() + 2 * std::max<uint64_t>(m_buffer.size(), m_longestLine);
	}

	bool SequentialFileReader::read(void* out, size_t count)
	{
		if (count > left())
			return false;
		auto* bytes = static_cast<char*>(out);
		while (count > 0 && fill())
		{
			const size_t part = std::min(count, buffered());
			std::memcpy(bytes, m_buffer.data() + m_at, part);
			bytes += part;
			count -= part;
			m_at += part;
			m_position += part;
		}
		return count == 0;
	}

	bool SequentialFileReader::skip(uint64_t count)
	{
		if (count > left())
			return false;
		if (count <= buffered())
		{
			m_at += static_cast<size_t>(count);
			m_position += count;
			return true;
		}
		m_position += count;
		m_at = m_end = 0;
		m_in.seekg(static_cast<std::streamoff>(m_position));
		return true;
	}
}
