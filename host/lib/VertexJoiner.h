#pragma once

#include <Eigen/Core>

#include <cstdint>
#include <vector>

namespace Quorvale
{
	/// Gives vertices at the same place one number: the places are appended to a list the first
	/// time they come, and found again by a hash table of their numbers (-0 and 0 are one place).
	/// Time and memory grow linearly: the table takes 8 to 16 bytes per place it is made for.
	class VertexJoiner
	{
	public:
		/// Joins into `places` (empty or not; what it holds is not looked up), for at most `most`
		/// places appended. `places` must outlive the joiner.
		VertexJoiner(std::vector<Eigen::Vector3d>& places, size_t most);

		/// The number of the place `p` in `places`: the one given before, or, when the place is
		/// new, the next one, `p` being appended. At most `most` places may be appended.
		uint32_t join(const Eigen::Vector3d& p);

		/// Bytes the table takes for `most` places at most.
		static double tableBytes(double most);

	private:
		/// The table's slots for `most` places: a power of two (counted in doubles, which hold any count).
		static double slotsFor(double most);

		std::vector<Eigen::Vector3d>& m_places;
		std::vector<uint32_t> m_slots; ///< numbers of places, or kEmpty
		size_t m_mask = 0;
	};
}
