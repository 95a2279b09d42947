#include "host/core/Hashing.h"

#include <cstring>
#include <vector>

namespace Quorvale::Hashing
{
	uint64_t murmur64(const void* data, size_t size, uint64_t seed)
	{
		constexpr uint64_t m = 0xc6a4a7935bd1e995ull;
		constexpr int r = 47;
		uint64_t h = seed ^ (size * m);

		const auto* bytes = static_cast<const unsigned char*>(data);
		const size_t words = size / 8;
		for (size_t i = 0; i < words; ++i)
		{
			uint64_t k = 0;
			for (int b = 7; b >= 0; --b)
				k = (k << 8) | bytes[i * 8 + static_cast<size_t>(b)];
			k *= m;
			k ^= k >> r;
			k *= m;
			h ^= k;
			h *= m;
		}

		const unsigned char* tail = bytes + words * 8;
		switch (size & 7)
		{
			case 7: h ^= uint64_t(tail[6]) << 48; [[fallthrough]];
			case 6: h ^= uint64_t(tail[5]) << 40; [[fallthrough]];
			case 5: h ^= uint64_t(tail[4]) << 32; [[fallthrough]];
			case 4: h ^= uint64_t(tail[3]) << 24; [[fallthrough]];
			case 3: h ^= uint64_t(tail[2]) << 16; [[fallthrough]];
			case 2: h ^= uint64_t(tail[1]) << 8; [[fallthrough]];
			case 1:
				h ^= uint64_t(tail[0]);
				h *= m;
		}

		h ^= h >> r;
		h *= m;
		h ^= h >> r;
		return h;
	}

	uint64_t murmur64(const double* values, size_t count, uint64_t seed)
	{
		constexpr size_t kOnStack = 4;
		double small[kOnStack];
		std::vector<double> large;
		double* canonical = small;
		if (count > kOnStack)
		{
			large.resize(count);
			canonical = large.data();
		}
		for (size_t i = 0; i < count; ++i)
			canonical[i] = values[i] == 0.0 ? 0.0 : values[i];
		return murmur64(static_cast<const void*>(canonical), count * sizeof(double), seed);
	}
}
