#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

/// The key of the library's stored resources, shared by the build-time enciphering tool and the
/// resource repository: eight 32-bit words, assembled into the 32 key bytes at run time (word i
/// gives bytes 4i to 4i + 3, least significant byte first), so that the key never appears as one
/// block of bytes in the library.
namespace Quorvale::RepositoryKey
{
	constexpr std::array<std::uint32_t, 8> kWords = {0x2D6D858Fu, 0xAB25DED4u, 0x8CC359EEu, 0x6386C607u,
	                                                 0x32C519CBu, 0x4359247Du, 0xBEE685A5u, 0x1EB164B1u};

	/// The 32 key bytes of `words`.
	inline std::array<std::uint8_t, 32> assemble(const std::array<std::uint32_t, 8>& words)
	{
		std::array<std::uint8_t, 32> key{};
		for (std::size_t i = 0; i < words.size(); ++i)
			for (std::size_t j = 0; j < 4; ++j)
				key[4 * i + j] = static_cast<std::uint8_t>(words[i] >> (8 * j));
		return key;
	}
}
