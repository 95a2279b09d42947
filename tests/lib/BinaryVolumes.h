#pragma once

#include "host/lib/TypedImage.h"

#include <Eigen/Core>

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <random>
#include <vector>

/// Small binary volumes for the thinning and morphology tests, with plain reference computations
/// of their topology: connected components, cavities and tunnels.
namespace BinaryVolumes
{
	using Quorvale::TypedImage;
	using Mask = TypedImage<unsigned char>;

	inline std::unique_ptr<Mask> empty(int nx, int ny, int nz) { return Mask::create(Eigen::Vector3i(nx, ny, nz)); }

	inline bool at(const Mask& m, int x, int y, int z)
	{
		const Eigen::Vector3i& n = m.descriptor().dimensions();
		return x >= 0 && y >= 0 && z >= 0 && x < n.x() && y < n.y() && z < n.z() && m.at(x, y, z) != 0;
	}

	inline void box(Mask& m, Eigen::Vector3i from, Eigen::Vector3i to)
	{
		for (int z = from.z(); z <= to.z(); ++z)
			for (int y = from.y(); y <= to.y(); ++y)
				for (int x = from.x(); x <= to.x(); ++x)
					m.at(x, y, z) = 1;
	}

	template <typename Inside>
	void paint(Mask& m, Inside inside)
	{
		const Eigen::Vector3i& n = m.descriptor().dimensions();
		for (int z = 0; z < n.z(); ++z)
			for (int y = 0; y < n.y(); ++y)
				for (int x = 0; x < n.x(); ++x)
					if (inside(Eigen::Vector3d(x, y, z)))
						m.at(x, y, z) = 1;
	}

	inline std::size_t count(const Mask& m)
	{
		std::size_t n = 0;
		for (std::size_t i = 0; i < m.descriptor().size(); ++i)
			n += m.pointer()[i] != 0;
		return n;
	}

	/// Number of object neighbours among the 26 (voxels outside are background).
	inline int neighbours(const Mask& m, int x, int y, int z)
	{
		int n = 0;
		for (int dz = -1; dz <= 1; ++dz)
			for (int dy = -1; dy <= 1; ++dy)
				for (int dx = -1; dx <= 1; ++dx)
					n += (dx || dy || dz) && at(m, x + dx, y + dy, z + dz);
		return n;
	}

	/// Connected components of the voxels with `value(x, y, z)` true on the grid grown by `pad` on
	/// every side (the padding takes the value `padValue`), 26- or 6-connected.
	template <typename Value>
	int components(const Eigen::Vector3i& n, int pad, Value value, bool connect26)
	{
		const Eigen::Vector3i size = n + Eigen::Vector3i::Constant(2 * pad);
		auto index = [&](int x, int y, int z) { return (static_cast<std::size_t>(z) * size.y() + y) * size.x() + x; };
		std::vector<char> seen(static_cast<std::size_t>(size.prod()), 0);
		int count = 0;
		std::deque<Eigen::Vector3i> queue;
		for (int z = 0; z < size.z(); ++z)
			for (int y = 0; y < size.y(); ++y)
				for (int x = 0; x < size.x(); ++x)
				{
					if (seen[index(x, y, z)] || !value(x - pad, y - pad, z - pad))
						continue;
					++count;
					seen[index(x, y, z)] = 1;
					queue.push_back({x, y, z});
					while (!queue.empty())
					{
						const Eigen::Vector3i p = queue.front();
						queue.pop_front();
						for (int dz = -1; dz <= 1; ++dz)
							for (int dy = -1; dy <= 1; ++dy)
								for (int dx = -1; dx <= 1; ++dx)
								{
									const int steps = std::abs(dx) + std::abs(dy) + std::abs(dz);
									if (steps == 0 || (!connect26 && steps > 1))
										continue;
									const Eigen::Vector3i q = p + Eigen::Vector3i(dx, dy, dz);
									if ((q.array() < 0).any() || (q.array() >= size.array()).any() || seen[index(q.x(), q.y(), q.z())] ||
									    !value(q.x() - pad, q.y() - pad, q.z() - pad))
										continue;
									seen[index(q.x(), q.y(), q.z())] = 1;
									queue.push_back(q);
								}
					}
				}
		return count;
	}

	/// Euler characteristic of the union of the closed unit cubes of the object voxels (the
	/// cubical complex that matches 26-connectivity of the object).
	inline int euler(const Mask& m)
	{
		const Eigen::Vector3i& n = m.descriptor().dimensions();
		int chi = 0;
		// Cells in doubled coordinates: odd components are open intervals, even ones lattice planes.
		for (int Z = 0; Z <= 2 * n.z(); ++Z)
			for (int Y = 0; Y <= 2 * n.y(); ++Y)
				for (int X = 0; X <= 2 * n.x(); ++X)
				{
					bool present = false;
					const int C[3] = {X, Y, Z};
					int lo[3], hi[3];
					int dimension = 0;
					for (int a = 0; a < 3; ++a)
					{
						if (C[a] % 2)
						{
							lo[a] = hi[a] = (C[a] - 1) / 2;
							++dimension;
						}
						else
						{
							lo[a] = C[a] / 2 - 1;
							hi[a] = C[a] / 2;
						}
					}
					for (int z = lo[2]; z <= hi[2] && !present; ++z)
						for (int y = lo[1]; y <= hi[1] && !present; ++y)
							for (int x = lo[0]; x <= hi[0] && !present; ++x)
								present = at(m, x, y, z);
					if (present)
						chi += dimension % 2 ? -1 : 1;
				}
		return chi;
	}

	struct Topology
	{
		int components = 0;
		int tunnels = 0;
		int cavities = 0;
		bool operator==(const Topology& o) const { return components == o.components && tunnels == o.tunnels && cavities == o.cavities; }
	};

	/// Components (26-connected object), cavities (6-connected background not reaching the outside)
	/// and tunnels (from the Euler characteristic: components - tunnels + cavities). A 2-D image's
	/// holes count as tunnels.
	inline Topology topology(const Mask& m)
	{
		const Eigen::Vector3i& n = m.descriptor().dimensions();
		Topology t;
		t.components = components(
		    n, 0, [&](int x, int y, int z) { return at(m, x, y, z); }, true);
		t.cavities = components(
		                 n, 1, [&](int x, int y, int z) { return !at(m, x, y, z); }, false) -
		             1;
		t.tunnels = t.components + t.cavities - euler(m);
		return t;
	}

	inline std::ostream& operator<<(std::ostream& os, const Topology& t)
	{
		return os << "{components " << t.components << ", tunnels " << t.tunnels << ", cavities " << t.cavities << "}";
	}

	/// A union of random balls inside an nx x ny x nz grid (radius 1 to 3 voxels), or random voxels
	/// of the given density when `balls` is 0.
	inline std::unique_ptr<Mask> randomBlob(const Eigen::Vector3i& n, int balls, double density, unsigned seed)
	{
		auto m = Mask::create(n);
		std::mt19937 random(seed);
		if (balls == 0)
		{
			std::bernoulli_distribution on(density);
			for (std::size_t i = 0; i < m->descriptor().size(); ++i)
				m->pointer()[i] = on(random) ? 1 : 0;
			return m;
		}
		for (int b = 0; b < balls; ++b)
		{
			const Eigen::Vector3d c(std::uniform_real_distribution<double>(0, n.x() - 1)(random),
			                        std::uniform_real_distribution<double>(0, n.y() - 1)(random),
			                        std::uniform_real_distribution<double>(0, n.z() - 1)(random));
			const double r = std::uniform_real_distribution<double>(1.0, 3.0)(random);
			paint(*m, [&](const Eigen::Vector3d& p)
			      { return (p - c).cwiseProduct(Eigen::Vector3d(1, 1, n.z() > 1 ? 1 : 0)).squaredNorm() <= r * r; });
		}
		return m;
	}
}
