#include "host/lib/Checksum.h"

#include <array>

namespace Quorvale::Checksum
{
	namespace
	{
		constexpr uint32_t kPolynomial = 0xEDB88320u; // reflected 0x04C11DB7

		/// Slicing-by-8 tables: table[0] is the classic byte table, table[k][b] the CRC of byte b
		/// followed by k zero bytes, so eight input bytes are folded in per step.
		using Tables = std::array<std::array<uint32_t, 256>, 8>;

		constexpr Tables makeTables()
		{
			Tables tables{};
			for (uint32_t b = 0; b < 256; ++b)
			{
				uint32_t crc = b;
				for (int bit = 0; bit < 8; ++bit)
					crc = (crc & 1u) ? (crc >> 1) ^ kPolynomial : crc >> 1;
				tables[0][b] = crc;
			}
			for (size_t k = 1; k < 8; ++k)
				for (uint32_t b = 0; b < 256; ++b)
					tables[k][b] = (tables[k - 1][b] >> 8) ^ tables[0][tables[k - 1][b] & 0xFFu];
			return tables;
		}

		constexpr Tables kTables = makeTables();

		uint32_t loadLittleEndian32(const unsigned char* p)
		{
			return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
		}
	}

	uint32_t crc32(const void* data, size_t size, uint32_t previous)
	{
		const auto* p = static_cast<const unsigned char*>(data);
		uint32_t crc = ~previous;
		while (size >= 8)
		{
			const uint32_t low = loadLittleEndian32(p) ^ crc;
			const uint32_t high = loadLittleEndian32(p + 4);
			crc = kTables[7][low & 0xFFu] ^ kTables[6][(low >> 8) & 0xFFu] ^ kTables[5][(low >> 16) & 0xFFu] ^ kTables[4][low >> 24] ^
			      kTables[3][high & 0xFFu] ^ kTables[2][(high >> 8) & 0xFFu] ^ kTables[1][(high >> 16) & 0xFFu] ^ kTables[0][high >> 24];
			p += 8;
			size -= 8;
		}
		while (size-- > 0)
			crc = (crc >> 8) ^ kTables[0][(crc ^ *p++) & 0xFFu];
		return ~crc;
	}
}
