#include "host/lib/Skeletonization.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include <omp.h>

#include "host/core/Progress.h"

namespace Quorvale::Skeletonization
{
	namespace
	{
		constexpr std::uint32_t kCentre = 1u << 13;
		constexpr std::uint32_t kAll = (1u << 27) - 1;
		/// Below these sizes a loop runs on the calling thread: starting threads would cost more.
		constexpr std::int64_t kParallelVoxels = 1 << 15;
		constexpr std::int64_t kParallelTests = 1 << 12;

		/// Neighbour sets of every position of the 3x3x3 block, within the block.
		struct Adjacency
		{
			std::array<std::uint32_t, 27> face{};   // 6-adjacent
			std::array<std::uint32_t, 27> any{};    // 26-adjacent
			std::uint32_t faceNeighbours = 0;       // the 6 face neighbours of the centre
			std::uint32_t neighbours18 = 0;         // face and edge neighbours of the centre

			Adjacency()
			{
				for (int a = 0; a < 27; ++a)
				{
					const int ax = a % 3, ay = a / 3 % 3, az = a / 9;
					for (int b = 0; b < 27; ++b)
					{
						const int dx = std::abs(ax - b % 3), dy = std::abs(ay - b / 3 % 3), dz = std::abs(az - b / 9);
						const int steps = dx + dy + dz;
						if (steps == 0 || std::max({dx, dy, dz}) > 1)
							continue;
						any[a] |= 1u << b;
						if (steps == 1)
							face[a] |= 1u << b;
					}
					const int steps = std::abs(ax - 1) + std::abs(ay - 1) + std::abs(az - 1);
					if (steps == 1)
						faceNeighbours |= 1u << a;
					if (steps == 1 || steps == 2)
						neighbours18 |= 1u << a;
				}
			}
		};

		const Adjacency& adjacency()
		{
			static const Adjacency table;
			return table;
		}

		/// The part of `set` connected to `seed` through the given adjacency.
		std::uint32_t flood(std::uint32_t set, std::uint32_t seed, const std::array<std::uint32_t, 27>& adjacent)
		{
			std::uint32_t component = seed;
			std::uint32_t frontier = seed;
			while (frontier != 0)
			{
				const int b = __builtin_ctz(frontier);
				frontier &= frontier - 1;
				const std::uint32_t grown = adjacent[b] & set & ~component;
				component |= grown;
				frontier |= grown;
			}
			return component;
		}

		/// The thinning state: the image (0 background, 1 object, 2 object on the border list) and
		/// its geometry.
		class Thinning
		{
		public:
			explicit Thinning(TypedImage<unsigned char>& mask)
			    : m_v(mask.pointer())
			    , m_nx(mask.descriptor().dimensions().x())
			    , m_ny(mask.descriptor().dimensions().y())
			    , m_nz(mask.descriptor().dimensions().z())
			    , m_planar(m_nz == 1)
			{
				for (int i = 0; i < 27; ++i)
					m_offset[i] = (i % 3 - 1) + static_cast<std::ptrdiff_t>(m_nx) * ((i / 3 % 3 - 1) + static_cast<std::ptrdiff_t>(m_ny) * (i / 9 - 1));
			}

			void run(Progress* progress);

		private:
			struct Candidate
			{
				std::size_t index;
				std::uint32_t neighbourhood;
			};

			void coordinates(std::size_t p, int& x, int& y, int& z) const
			{
				const std::size_t row = p / static_cast<std::size_t>(m_nx);
				x = static_cast<int>(p - row * static_cast<std::size_t>(m_nx));
				y = static_cast<int>(row % static_cast<std::size_t>(m_ny));
				z = static_cast<int>(row / static_cast<std::size_t>(m_ny));
			}

			bool inside(int x, int y, int z) const { return x >= 0 && y >= 0 && z >= 0 && x < m_nx && y < m_ny && z < m_nz; }

			/// The object voxels around p as a neighbourhood word; outside the image is background.
			std::uint32_t gather(std::size_t p) const
			{
				int x, y, z;
				coordinates(p, x, y, z);
				std::uint32_t word = 0;
				const bool innerXY = x > 0 && y > 0 && x < m_nx - 1 && y < m_ny - 1;
				if (innerXY && z > 0 && z < m_nz - 1)
				{
					for (int i = 0; i < 27; ++i)
						word |= static_cast<std::uint32_t>(m_v[p + m_offset[i]] != 0) << i;
				}
				else if (innerXY && m_planar)
				{
					for (int i = 9; i < 18; ++i)
						word |= static_cast<std::uint32_t>(m_v[p + m_offset[i]] != 0) << i;
				}
				else
				{
					for (int i = 0; i < 27; ++i)
						if (inside(x + i % 3 - 1, y + i / 3 % 3 - 1, z + i / 9 - 1))
							word |= static_cast<std::uint32_t>(m_v[p + m_offset[i]] != 0) << i;
				}
				return word;
			}

			int subfield(std::size_t p) const
			{
				int x, y, z;
				coordinates(p, x, y, z);
				return (x & 1) | (y & 1) << 1 | (z & 1) << 2;
			}

			static bool deletable(std::uint32_t word) { return !isEndPoint(word) && isSimple(word); }

			/// Marks the border voxels and returns the number of object voxels.
			std::size_t collectBorder();
			std::size_t peel(int direction);

			unsigned char* m_v;
			int m_nx, m_ny, m_nz;
			bool m_planar;
			std::array<std::ptrdiff_t, 27> m_offset{};
			std::vector<std::size_t> m_border;
		};

		/// Face directions as neighbourhood bits, opposite directions in turn; a 2-D image uses the first four.
		constexpr std::array<int, 6> kDirections = {bit(-1, 0, 0), bit(1, 0, 0), bit(0, -1, 0), bit(0, 1, 0), bit(0, 0, -1), bit(0, 0, 1)};

		std::size_t Thinning::collectBorder()
		{
			const std::int64_t voxels = static_cast<std::int64_t>(m_nx) * m_ny * m_nz;
			std::int64_t objects = 0;
#pragma omp parallel for schedule(static) reduction(+ : objects) if (voxels >= kParallelVoxels)
			for (std::int64_t i = 0; i < voxels; ++i)
			{
				m_v[i] = m_v[i] != 0 ? 1 : 0;
				objects += m_v[i];
			}

			const std::uint32_t faces = adjacency().faceNeighbours;
			const int threads = omp_get_max_threads();
			std::vector<std::vector<std::size_t>> found(static_cast<std::size_t>(threads));
#pragma omp parallel num_threads(threads) if (voxels >= kParallelVoxels)
			{
				std::vector<std::size_t>& local = found[static_cast<std::size_t>(omp_get_thread_num())];
#pragma omp for schedule(static)
				for (std::int64_t i = 0; i < voxels; ++i)
					if (m_v[i] != 0 && (gather(static_cast<std::size_t>(i)) & faces) != faces)
						local.push_back(static_cast<std::size_t>(i));
			}
			for (const auto& local : found)
				m_border.insert(m_border.end(), local.begin(), local.end());
#pragma omp parallel for schedule(static) if (static_cast<std::int64_t>(m_border.size()) >= kParallelVoxels)
			for (std::int64_t i = 0; i < static_cast<std::int64_t>(m_border.size()); ++i)
				m_v[m_border[static_cast<std::size_t>(i)]] = 2;
			return static_cast<std::size_t>(objects);
		}

		std::size_t Thinning::peel(int direction)
		{
			const int subfields = m_planar ? 4 : 8;
			const int threads = omp_get_max_threads();
			const std::uint32_t directionBit = 1u << direction;

			// Candidates, tested on the object as it stands before this direction's deletions.
			std::vector<std::array<std::vector<Candidate>, 8>> found(static_cast<std::size_t>(threads));
			const auto borderSize = static_cast<std::int64_t>(m_border.size());
#pragma omp parallel num_threads(threads) if (borderSize >= kParallelTests)
			{
				auto& local = found[static_cast<std::size_t>(omp_get_thread_num())];
#pragma omp for schedule(static)
				for (std::int64_t i = 0; i < borderSize; ++i)
				{
					const std::size_t p = m_border[static_cast<std::size_t>(i)];
					if (m_v[p] == 0)
						continue;
					const std::uint32_t word = gather(p);
					if ((word & directionBit) == 0 && deletable(word))
						local[static_cast<std::size_t>(subfield(p))].push_back({p, word});
				}
			}

			// Deletions, subfield by subfield; within one subfield no voxel sees another's deletion.
			std::vector<std::size_t> deleted;
			std::vector<Candidate> candidates;
			std::vector<unsigned char> gone;
			for (int s = 0; s < subfields; ++s)
			{
				candidates.clear();
				for (const auto& local : found)
					candidates.insert(candidates.end(), local[static_cast<std::size_t>(s)].begin(), local[static_cast<std::size_t>(s)].end());
				gone.assign(candidates.size(), 0);
				const auto count = static_cast<std::int64_t>(candidates.size());
#pragma omp parallel for schedule(static) num_threads(threads) if (count >= kParallelTests)
				for (std::int64_t i = 0; i < count; ++i)
				{
					const Candidate& c = candidates[static_cast<std::size_t>(i)];
					const std::uint32_t word = gather(c.index);
					if (word == c.neighbourhood || deletable(word))
					{
						m_v[c.index] = 0;
						gone[static_cast<std::size_t>(i)] = 1;
					}
				}
				for (std::size_t i = 0; i < candidates.size(); ++i)
					if (gone[i])
						deleted.push_back(candidates[i].index);
			}

			// The object voxels behind the deleted ones join the border.
			const std::ptrdiff_t faceOffsets[6] = {m_offset[kDirections[0]], m_offset[kDirections[1]], m_offset[kDirections[2]],
			                                       m_offset[kDirections[3]], m_offset[kDirections[4]], m_offset[kDirections[5]]};
			for (const std::size_t p : deleted)
			{
				int x, y, z;
				coordinates(p, x, y, z);
				const bool ok[6] = {x > 0, x < m_nx - 1, y > 0, y < m_ny - 1, z > 0, z < m_nz - 1};
				for (int f = 0; f < 6; ++f)
				{
					if (!ok[f])
						continue;
					unsigned char& value = m_v[p + faceOffsets[f]];
					if (value == 1)
					{
						value = 2;
						m_border.push_back(p + faceOffsets[f]);
					}
				}
			}
			return deleted.size();
		}

		void Thinning::run(Progress* progress)
		{
			const std::size_t objectVoxels = collectBorder();
			std::size_t deletedTotal = 0;
			const int directions = m_planar ? 4 : 6;
			for (;;)
			{
				std::size_t deleted = 0;
				for (int d = 0; d < directions; ++d)
					deleted += peel(kDirections[static_cast<std::size_t>(d)]);
				m_border.erase(std::remove_if(m_border.begin(), m_border.end(), [this](std::size_t p) { return m_v[p] == 0; }),
				               m_border.end());
				deletedTotal += deleted;
				if (progress && objectVoxels > 0)
					progress->update(static_cast<double>(deletedTotal) / static_cast<double>(objectVoxels));
				if (deleted == 0)
					break;
			}
			const std::int64_t voxels = static_cast<std::int64_t>(m_nx) * m_ny * m_nz;
#pragma omp parallel for schedule(static) if (voxels >= kParallelVoxels)
			for (std::int64_t i = 0; i < voxels; ++i)
				m_v[i] = m_v[i] != 0 ? 1 : 0;
			if (progress)
				progress->update(1.0);
		}
	}

	bool isSimple(std::uint32_t neighbourhood)
	{
		const Adjacency& a = adjacency();
		const std::uint32_t object = neighbourhood & kAll & ~kCentre;
		if (object == 0 || flood(object, object & (~object + 1), a.any) != object)
			return false;
		const std::uint32_t background = ~neighbourhood & a.neighbours18;
		const std::uint32_t open = background & a.faceNeighbours;
		if (open == 0)
			return false;
		return (open & ~flood(background, open & (~open + 1), a.face)) == 0;
	}

	bool isEndPoint(std::uint32_t neighbourhood) { return __builtin_popcount(neighbourhood & kAll & ~kCentre) == 1; }

	void thin(TypedImage<unsigned char>& mask, Progress* progress)
	{
		if (mask.descriptor().channels() != 1)
			throw std::invalid_argument("Thinning needs a one-channel image, not one with " +
			                            std::to_string(mask.descriptor().channels()) + " channels");
		Thinning(mask).run(progress);
	}
}
