#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <streambuf>
#include <string>

namespace Quorvale
{
	/// An output buffer over a file descriptor for writing a .qvf file: it reports why writing failed
	/// (so that a full disk is told as such), syncs the file when finished, and lets a block's frame be
	/// filled in once its payload has been written after it (`rewrite`), so that no block is held in
	/// memory.
	class QuorvaleFileSink : public std::streambuf
	{
	public:
		/// Takes over `fd`, open for writing at its start. `device`: a file that is not a regular one,
		/// written in place, which may not support syncing nor `rewrite`.
		QuorvaleFileSink(int fd, bool device);
		QuorvaleFileSink(const QuorvaleFileSink&) = delete;
		QuorvaleFileSink& operator=(const QuorvaleFileSink&) = delete;
		/// Closes the file when `finish` did not.
		~QuorvaleFileSink() override;

		/// Writes out what is buffered, syncs the file to the disk and closes it; false when any step failed.
		bool finish();

		bool failed() const { return m_error != 0; }
		/// The reason of the first failure.
		std::string error() const;

		/// Bytes written so far, buffered ones included: the offset the next byte goes to.
		uint64_t position() const;
		/// True when bytes already written can be overwritten (a regular file).
		bool canRewrite() const { return m_canRewrite; }
		/// Overwrites `size` bytes at `offset`, which must lie before `position`; false when that failed
		/// or `canRewrite` is false.
		bool rewrite(uint64_t offset, const char* data, size_t size);

	protected:
		int_type overflow(int_type ch) override;
		std::streamsize xsputn(const char* data, std::streamsize size) override;
		int sync() override;

	private:
		bool fail(int error);
		/// Writes all `size` bytes at the end of what was handed to the system, or at `offset`.
		bool writeAll(const char* data, size_t size, std::optional<uint64_t> offset = std::nullopt);
		bool flushBuffer();

		int m_fd;
		bool m_device;
		bool m_canRewrite;
		int m_error = 0;
		uint64_t m_flushed = 0; ///< bytes handed to the system
		std::array<char, 1 << 16> m_buffer;
	};
}
