#include "host/lib/Skeletonization.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <omp.h>

#include "host/core/Progress.h"
#include "host/core/ThreadTeam.h"

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
			std::array<std::uint32_t, 27> face{}; // 6-adjacent
			std::array<std::uint32_t, 27> any{};  // 26-adjacent
			std::uint32_t faceNeighbours = 0;     // the 6 face neighbours of the centre
			std::uint32_t neighbours18 = 0;       // face and edge neighbours of the centre

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

		/// A voxel of the border list: its coordinates in the padded grid, 21 bits each.
		using Packed = std::uint64_t;
		constexpr Packed pack(int x, int y, int z)
		{
			return static_cast<Packed>(x) | static_cast<Packed>(y) << 21 | static_cast<Packed>(z) << 42;
		}
		constexpr int unpackX(Packed p) { return static_cast<int>(p & 0x1FFFFF); }
		constexpr int unpackY(Packed p) { return static_cast<int>(p >> 21 & 0x1FFFFF); }
		constexpr int unpackZ(Packed p) { return static_cast<int>(p >> 42); }

		/// Leaves new elements uninitialised: the padded grid is written whole, in parallel, by `load`.
		template <typename T>
		struct UninitialisedAllocator : std::allocator<T>
		{
			template <typename U>
			struct rebind
			{
				using other = UninitialisedAllocator<U>;
			};
			UninitialisedAllocator() = default;
			template <typename U>
			UninitialisedAllocator(const UninitialisedAllocator<U>&)
			{
			}
			template <typename U>
			void construct(U* p)
			{
				::new (static_cast<void*>(p)) U;
			}
			template <typename U, typename... Args>
			void construct(U* p, Args&&... args)
			{
				::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
			}
		};

		/// The thinning state. The object is copied into a grid padded by one background voxel on
		/// every side (and a few spare bytes at the end), so that neighbourhoods need no bounds
		/// checks. Values: 0 background, 1 object, 2 object on the border list.
		class Thinning
		{
		public:
			/// Thins with at most `threads` threads per parallel loop.
			Thinning(const Eigen::Vector3i& dims, int threads)
			    : m_dims(checked(dims))
			    , m_threads(threads)
			    , m_planar(dims.z() == 1)
			    , m_px(static_cast<std::size_t>(dims.x()) + 2)
			    , m_py(static_cast<std::size_t>(dims.y()) + 2)
			    , m_pz(static_cast<std::size_t>(dims.z()) + 2)
			    , m_v(m_px * m_py * m_pz + 8)
			{
				for (int r = 0; r < 9; ++r)
					m_rowOffset[static_cast<std::size_t>(r)] =
					    static_cast<std::ptrdiff_t>(m_px) * ((r % 3 - 1) + static_cast<std::ptrdiff_t>(m_py) * (r / 3 - 1));
			}

			/// Thins the non-zero voxels of `mask` (of the dimensions given) and writes 0 and 1 back.
			void run(unsigned char* mask, Progress* progress);

		private:
			static const Eigen::Vector3i& checked(const Eigen::Vector3i& dims)
			{
				if ((dims.array() > (1 << 21) - 3).any())
					throw std::invalid_argument("Thinning supports at most 2097149 voxels per axis");
				return dims;
			}

			struct Candidate
			{
				Packed voxel;
				std::uint32_t neighbourhood;
			};
			/// One thread's candidates per subfield, on cache lines of their own: the vectors grow
			/// while the other threads fill theirs.
			struct alignas(64) Found
			{
				std::array<std::vector<Candidate>, 8> bySubfield;
			};

			std::size_t index(int x, int y, int z) const
			{
				return static_cast<std::size_t>(x) + m_px * (static_cast<std::size_t>(y) + m_py * static_cast<std::size_t>(z));
			}
			std::size_t index(Packed p) const { return index(unpackX(p), unpackY(p), unpackZ(p)); }

			/// The object voxels around the voxel at index p as a neighbourhood word: one 4-byte read
			/// per row of three, the values (0 to 2) folded to one bit per byte.
			std::uint32_t gather(std::size_t p) const
			{
				std::uint32_t word = 0;
				for (std::size_t r = 0; r < 9; ++r)
				{
					std::uint32_t w;
					std::memcpy(&w, m_v.data() + p + m_rowOffset[r] - 1, sizeof w);
					if constexpr (__BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__)
						w = __builtin_bswap32(w);
					const std::uint32_t set = (w | w >> 1) & 0x010101u;
					word |= ((set & 1u) | (set >> 7 & 2u) | (set >> 14 & 4u)) << (3 * r);
				}
				return word;
			}

			/// The parity class of the voxel in the coordinates of the image (one less than the padded ones).
			int subfield(Packed p) const { return ((unpackX(p) + 1) & 1) | ((unpackY(p) + 1) & 1) << 1 | ((unpackZ(p) + 1) & 1) << 2; }

			static bool deletable(std::uint32_t word) { return !isEndPoint(word) && isSimple(word); }

			/// Copies the object in, lists the border voxels and returns the number of object voxels.
			std::size_t load(const unsigned char* mask);
			/// Copies row `row` of the padded grid from `mask` (background outside it); returns its
			/// object voxels.
			std::size_t copyRow(std::int64_t row, const unsigned char* mask);
			/// Appends the object voxels of image row `row` that have a background face neighbour.
			void listBorder(std::int64_t row, std::vector<Packed>& border) const;
			/// Deletes the deletable voxels whose neighbour in `direction` (an index of `kStep`) is
			/// background; returns how many.
			std::size_t peel(int direction);
			/// The border voxels deletable towards `direction`, per thread and subfield, with their
			/// neighbourhood words.
			std::vector<Found> findCandidates(int direction) const;
			/// Deletes the candidates subfield by subfield, each after testing it again against the
			/// deletions of the subfields before; returns the deleted voxels.
			std::vector<Packed> deleteCandidates(const std::vector<Found>& found);
			/// Puts the object voxels behind the deleted ones on the border list.
			void extendBorder(const std::vector<Packed>& deleted);

			Eigen::Vector3i m_dims;
			int m_threads;
			bool m_planar;
			std::size_t m_px, m_py, m_pz;
			std::vector<unsigned char, UninitialisedAllocator<unsigned char>> m_v;
			std::array<std::ptrdiff_t, 9> m_rowOffset{};
			std::vector<Packed> m_border;
		};

		/// Face directions, opposite directions in turn; a 2-D image uses the first four.
		constexpr int kStep[6][3] = {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}};

		std::size_t Thinning::copyRow(std::int64_t row, const unsigned char* mask)
		{
			const int nx = m_dims.x(), ny = m_dims.y(), nz = m_dims.z();
			const int y = static_cast<int>(static_cast<std::size_t>(row) % m_py) - 1;
			const int z = static_cast<int>(static_cast<std::size_t>(row) / m_py) - 1;
			unsigned char* out = m_v.data() + static_cast<std::size_t>(row) * m_px;
			if (y < 0 || y >= ny || z < 0 || z >= nz)
			{
				std::fill(out, out + m_px, 0);
				return 0;
			}
			const unsigned char* in = mask + (static_cast<std::size_t>(z) * ny + static_cast<std::size_t>(y)) * nx;
			out[0] = 0;
			out[m_px - 1] = 0;
			std::size_t objects = 0;
			for (int x = 0; x < nx; ++x)
			{
				out[x + 1] = in[x] != 0;
				objects += out[x + 1];
			}
			return objects;
		}

		void Thinning::listBorder(std::int64_t row, std::vector<Packed>& border) const
		{
			const int nx = m_dims.x(), ny = m_dims.y();
			const int y = static_cast<int>(row % ny) + 1, z = static_cast<int>(row / ny) + 1;
			const std::size_t first = index(0, y, z);
			for (int x = 1; x <= nx; ++x)
			{
				const std::size_t p = first + static_cast<std::size_t>(x);
				if (m_v[p] == 0)
					continue;
				bool isBorder = m_v[p - 1] == 0 || m_v[p + 1] == 0 || m_v[p - m_px] == 0 || m_v[p + m_px] == 0;
				if (!m_planar)
					isBorder = isBorder || m_v[p - m_px * m_py] == 0 || m_v[p + m_px * m_py] == 0;
				if (isBorder)
					border.push_back(pack(x, y, z));
			}
		}

		std::size_t Thinning::load(const unsigned char* mask)
		{
			const std::int64_t rows = static_cast<std::int64_t>(m_dims.y()) * m_dims.z();
			const std::int64_t voxels = rows * m_dims.x();
			const int threads = m_threads;
			std::vector<std::vector<Packed>> found(static_cast<std::size_t>(threads));
			std::int64_t objects = 0;
			const auto paddedRows = static_cast<std::int64_t>(m_py * m_pz);
#pragma omp parallel num_threads(threads) if (voxels >= kParallelVoxels) reduction(+ : objects)
			{
#pragma omp for schedule(static)
				for (std::int64_t row = 0; row < paddedRows; ++row)
					objects += static_cast<std::int64_t>(copyRow(row, mask));
#pragma omp single
				std::fill(m_v.end() - 8, m_v.end(), 0);
				// Rows are complete once every thread has copied its share.
#pragma omp barrier
				std::vector<Packed>& local = found[static_cast<std::size_t>(omp_get_thread_num())];
#pragma omp for schedule(static)
				for (std::int64_t row = 0; row < rows; ++row)
					listBorder(row, local);
			}
			for (const auto& local : found)
				m_border.insert(m_border.end(), local.begin(), local.end());
			const auto borderSize = static_cast<std::int64_t>(m_border.size());
#pragma omp parallel for schedule(static) if (borderSize >= kParallelVoxels) num_threads(threads)
			for (std::int64_t i = 0; i < borderSize; ++i)
				m_v[index(m_border[static_cast<std::size_t>(i)])] = 2;
			return static_cast<std::size_t>(objects);
		}

		std::vector<Thinning::Found> Thinning::findCandidates(int direction) const
		{
			const int threads = m_threads;
			const std::ptrdiff_t directionOffset =
			    kStep[direction][0] +
			    static_cast<std::ptrdiff_t>(m_px) * (kStep[direction][1] + static_cast<std::ptrdiff_t>(m_py) * kStep[direction][2]);
			std::vector<Found> found(static_cast<std::size_t>(threads));
			const auto borderSize = static_cast<std::int64_t>(m_border.size());
#pragma omp parallel num_threads(threads) if (borderSize >= kParallelTests)
			{
				auto& local = found[static_cast<std::size_t>(omp_get_thread_num())].bySubfield;
#pragma omp for schedule(dynamic, 4096)
				for (std::int64_t i = 0; i < borderSize; ++i)
				{
					const Packed voxel = m_border[static_cast<std::size_t>(i)];
					const std::size_t p = index(voxel);
					if (m_v[p] == 0 || m_v[p + directionOffset] != 0)
						continue;
					const std::uint32_t word = gather(p);
					if (deletable(word))
						local[static_cast<std::size_t>(subfield(voxel))].push_back({voxel, word});
				}
			}
			return found;
		}

		std::vector<Packed> Thinning::deleteCandidates(const std::vector<Found>& found)
		{
			const int subfields = m_planar ? 4 : 8;
			const int threads = static_cast<int>(found.size());
			std::vector<Packed> deleted;
			std::vector<Candidate> candidates;
			std::vector<unsigned char> gone;
			for (int s = 0; s < subfields; ++s)
			{
				candidates.clear();
				for (const Found& local : found)
					candidates.insert(candidates.end(), local.bySubfield[static_cast<std::size_t>(s)].begin(),
					                  local.bySubfield[static_cast<std::size_t>(s)].end());
				gone.assign(candidates.size(), 0);
				const auto count = static_cast<std::int64_t>(candidates.size());
#pragma omp parallel for schedule(dynamic, 1024) num_threads(threads) if (count >= kParallelTests)
				for (std::int64_t i = 0; i < count; ++i)
				{
					const Candidate& c = candidates[static_cast<std::size_t>(i)];
					const std::size_t p = index(c.voxel);
					const std::uint32_t word = gather(p);
					if (word == c.neighbourhood || deletable(word))
					{
						m_v[p] = 0;
						gone[static_cast<std::size_t>(i)] = 1;
					}
				}
				for (std::size_t i = 0; i < candidates.size(); ++i)
					if (gone[i])
						deleted.push_back(candidates[i].voxel);
			}
			return deleted;
		}

		void Thinning::extendBorder(const std::vector<Packed>& deleted)
		{
			const int faces = m_planar ? 4 : 6;
			for (const Packed voxel : deleted)
			{
				const int x = unpackX(voxel), y = unpackY(voxel), z = unpackZ(voxel);
				for (int f = 0; f < faces; ++f)
				{
					const int qx = x + kStep[f][0], qy = y + kStep[f][1], qz = z + kStep[f][2];
					unsigned char& value = m_v[index(qx, qy, qz)];
					if (value == 1)
					{
						value = 2;
						m_border.push_back(pack(qx, qy, qz));
					}
				}
			}
		}

		std::size_t Thinning::peel(int direction)
		{
			// Candidates, tested on the object as it stands before this direction's deletions.
			const std::vector<Found> found = findCandidates(direction);
			// Deletions, subfield by subfield; within one subfield no voxel sees another's deletion.
			const std::vector<Packed> deleted = deleteCandidates(found);
			// The object voxels behind the deleted ones join the border.
			extendBorder(deleted);
			return deleted.size();
		}

		void Thinning::run(unsigned char* mask, Progress* progress)
		{
			const std::size_t objectVoxels = load(mask);
			std::size_t sorted = m_border.size();
			std::size_t deletedTotal = 0;
			const int directions = m_planar ? 4 : 6;
			for (;;)
			{
				std::size_t deleted = 0;
				for (int d = 0; d < directions; ++d)
					deleted += peel(d);
				// Kept in raster order (the packed coordinates sort so), so that the tests of one
				// pass walk through memory instead of jumping about.
				std::sort(m_border.begin() + static_cast<std::ptrdiff_t>(sorted), m_border.end());
				std::inplace_merge(m_border.begin(), m_border.begin() + static_cast<std::ptrdiff_t>(sorted), m_border.end());
				m_border.erase(std::remove_if(m_border.begin(), m_border.end(), [this](Packed p) { return m_v[index(p)] == 0; }),
				               m_border.end());
				sorted = m_border.size();
				deletedTotal += deleted;
				if (progress && objectVoxels > 0)
					progress->update(static_cast<double>(deletedTotal) / static_cast<double>(objectVoxels));
				if (deleted == 0)
					break;
			}
			const int nx = m_dims.x(), ny = m_dims.y();
			const std::int64_t rows = static_cast<std::int64_t>(ny) * m_dims.z();
#pragma omp parallel for schedule(static) if (rows * nx >= kParallelVoxels) num_threads(m_threads)
			for (std::int64_t row = 0; row < rows; ++row)
			{
				const unsigned char* in = m_v.data() + index(1, static_cast<int>(row % ny) + 1, static_cast<int>(row / ny) + 1);
				unsigned char* out = mask + static_cast<std::size_t>(row) * nx;
				for (int x = 0; x < nx; ++x)
					out[x] = in[x] != 0;
			}
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

	bool isEndPoint(std::uint32_t neighbourhood)
	{
		const std::uint32_t object = neighbourhood & kAll & ~kCentre;
		return object != 0 && (object & (object - 1)) == 0;
	}

	void thin(TypedImage<unsigned char>& mask, Progress* progress)
	{
		if (mask.descriptor().channels() != 1)
			throw std::invalid_argument("Thinning needs a one-channel image, not one with " + std::to_string(mask.descriptor().channels()) +
			                            " channels");
		const Eigen::Vector3i& dims = mask.descriptor().dimensions();
		// One team for the whole thinning: its parallel loops alternate with short serial phases.
		const Threading::ThreadTeam team(static_cast<std::int64_t>(dims.x()) * dims.y() * dims.z() >= kParallelVoxels);
		Thinning(dims, team.size()).run(mask.pointer(), progress);
	}
}
