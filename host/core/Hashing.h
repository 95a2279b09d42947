#pragma once

#include <cstddef>
#include <cstdint>

/// Non-cryptographic hashes for hash maps and checks of identity.
namespace Quorvale::Hashing
{
	/// MurmurHash64A of `size` bytes at `data` with `seed`, as little-endian 64-bit words.
	uint64_t murmur64(const void* data, size_t size, uint64_t seed = 0);

	/// MurmurHash64A of the bytes of `count` doubles, with −0.0 hashed as 0.0 so that values that
	/// compare equal hash equally (NaN compares unequal to everything and needs no such care).
	uint64_t murmur64(const double* values, size_t count, uint64_t seed = 0);
}
