#include "host/lib/VertexJoiner.h"

#include <cmath>
#include <cstring>

namespace Quorvale
{
	namespace
	{
		constexpr uint32_t kEmpty = UINT32_MAX;

		uint64_t bitsOf(double value)
		{
			value += 0.0; // -0 becomes 0
			uint64_t bits;
			std::memcpy(&bits, &value, sizeof(bits));
			return bits;
		}

		size_t hashOf(const Eigen::Vector3d& p)
		{
			uint64_t hash = 0;
			for (int k = 0; k < 3; ++k)
			{
				hash = (hash ^ bitsOf(p[k])) * 0x9e3779b97f4a7c15ull;
				hash ^= hash >> 29;
			}
			return static_cast<size_t>(hash);
		}
	}

	VertexJoiner::VertexJoiner(std::vector<Eigen::Vector3d>& places, size_t most)
	    : m_places(places)
	    , m_slots(static_cast<size_t>(slotsFor(static_cast<double>(most))), kEmpty)
	    , m_mask(m_slots.size() - 1)
	{
	}

	double VertexJoiner::slotsFor(double most)
	{
		// At most half full, so that a probe ends soon.
		double slots = 16;
		while (slots < 2 * most)
			slots *= 2;
		return slots;
	}

	double VertexJoiner::tableBytes(double most) { return std::isfinite(most) ? sizeof(uint32_t) * slotsFor(most) : most; }

	uint32_t VertexJoiner::join(const Eigen::Vector3d& p)
	{
		for (size_t slot = hashOf(p) & m_mask;; slot = (slot + 1) & m_mask)
		{
			const uint32_t number = m_slots[slot];
			if (number == kEmpty)
			{
				m_slots[slot] = static_cast<uint32_t>(m_places.size());
				m_places.push_back(p);
				return m_slots[slot];
			}
			if (m_places[number] == p)
				return number;
		}
	}
}
