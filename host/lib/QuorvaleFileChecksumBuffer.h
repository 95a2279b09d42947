#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <streambuf>

namespace Quorvale
{
	/// An output buffer that counts the bytes written through it and takes their CRC-32 (as a block
	/// frame holds them), passing them on to another buffer or, without one, dropping them: so a
	/// block's payload can be measured, or written and checksummed, without being held in memory.
	class QuorvaleFileChecksumBuffer : public std::streambuf
	{
	public:
		/// Passes the bytes on to `target` (borrowed), or drops them when it is null.
		explicit QuorvaleFileChecksumBuffer(std::streambuf* target = nullptr);
		QuorvaleFileChecksumBuffer(const QuorvaleFileChecksumBuffer&) = delete;
		QuorvaleFileChecksumBuffer& operator=(const QuorvaleFileChecksumBuffer&) = delete;
		/// Passes on what is still buffered (`pubsync` tells whether that worked).
		~QuorvaleFileChecksumBuffer() override;

		/// Bytes written so far, and their CRC-32; both include what is still buffered.
		uint64_t length() const;
		uint32_t checksum() const;
		/// False once the target took fewer bytes than it was given.
		bool passedOn() const { return m_passedOn; }

	protected:
		int_type overflow(int_type ch) override;
		std::streamsize xsputn(const char* data, std::streamsize size) override;
		int sync() override;

	private:
		/// Counts, checksums and passes on `size` bytes at `data`.
		void take(const char* data, size_t size);
		/// Takes the buffered bytes and empties the buffer.
		bool drain();

		std::streambuf* m_target;
		uint64_t m_length = 0;
		uint32_t m_checksum = 0;
		bool m_passedOn = true;
		std::array<char, 1 << 16> m_buffer;
	};
}
