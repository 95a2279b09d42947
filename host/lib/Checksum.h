#pragma once

#include <cstddef>
#include <cstdint>

/// Checksums that detect damaged or truncated data in files.
namespace Quorvale::Checksum
{
	/// CRC-32 (the polynomial of zlib, PNG and Ethernet) of `size` bytes. Pass the result of the previous
	/// call as `previous` to continue a checksum over data that arrives in pieces; 0 starts a new one.
	/// crc32("123456789") is 0xCBF43926.
	uint32_t crc32(const void* data, size_t size, uint32_t previous = 0);
}
