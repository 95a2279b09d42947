#pragma once

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Quorvale
{
	/// Reads a file from front to back through a buffer of 64 kB, so that readers can walk files of
	/// any size in little memory: line by line (text) or a few bytes at a time (binary).
	class SequentialFileReader
	{
	public:
		static constexpr size_t kBufferBytes = size_t(1) << 16;

		/// Opens `path` and starts reading at byte `offset`. Throws std::runtime_error when the
		/// file cannot be opened.
		SequentialFileReader(const std::string& path, uint64_t offset);

		/// Bytes not yet read.
		uint64_t left() const { return m_size - m_position; }
		/// The offset in the file of the next byte to read.
		uint64_t position() const { return m_position; }

		/// The next line without its line break ("\n", or "\r\n"); the last line needs none.
		/// False at the end of the file. The view is valid until the next call.
		bool nextLine(std::string_view& line);
		/// True when the line `nextLine` gave last ended with a line break.
		bool lineEnded() const { return m_lineEnded; }
		/// The most memory the reader takes to give the lines it gave so far: its buffer, and room
		/// for a line that crosses the buffer's end, which is copied.
		uint64_t memoryBytes() const;
		/// Copies the next `count` bytes; false, reading nothing, when fewer are left.
		bool read(void* out, size_t count);
		/// Skips `count` bytes; false, skipping nothing, when fewer are left.
		bool skip(uint64_t count);

	private:
		/// Makes the buffer hold at least one unread byte; false at the end of the file.
		bool fill();
		size_t buffered() const { return m_end - m_at; }

		std::ifstream m_in;
		uint64_t m_size = 0;
		uint64_t m_position = 0; ///< bytes consumed from the start of the file
		std::vector<char> m_buffer;
		size_t m_at = 0;
		size_t m_end = 0;
		std::string m_line; ///< a line that crosses the end of the buffer
		bool m_lineEnded = false;
		uint64_t m_longestLine = 0;
	};
}
