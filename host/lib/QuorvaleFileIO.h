#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

/// Little-endian numbers and raw bytes on streams, as every part of a .qvf file stores them
/// (docs/qvf-file-format.md). Writers leave failures in the stream state; readers return false
/// when the stream ends or fails before the value is complete.
namespace Quorvale::QuorvaleFileIO
{
	void writeU8(std::ostream& out, uint8_t value);
	void writeU32(std::ostream& out, uint32_t value);
	void writeU64(std::ostream& out, uint64_t value);
	/// The IEEE-754 bits of `value`, so NaN payloads and -0 are kept.
	void writeF64(std::ostream& out, double value);
	void writeBytes(std::ostream& out, const std::string& bytes);

	bool readU8(std::istream& in, uint8_t& value);
	bool readU32(std::istream& in, uint32_t& value);
	bool readU64(std::istream& in, uint64_t& value);
	bool readF64(std::istream& in, double& value);
	/// Reads exactly `size` bytes into `out`. Memory grows with what actually arrives, so a damaged
	/// length cannot make it allocate far more than the stream holds.
	bool readBytes(std::istream& in, uint64_t size, std::string& out);

	/// Bytes between the read position and the end of the stream; empty when the stream cannot
	/// seek (then nothing is consumed) or has already failed.
	std::optional<uint64_t> remainingBytes(std::istream& in);

	/// Little-endian encoding into and decoding from memory.
	void putU32(char* out, uint32_t value);
	void putU64(char* out, uint64_t value);
	uint32_t getU32(const char* in);
	uint64_t getU64(const char* in);
}
