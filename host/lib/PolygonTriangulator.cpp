#include "host/lib/PolygonTriangulator.h"

#include <algorithm>

#include <Eigen/Geometry>

namespace Quorvale
{
	namespace
	{
		double turn(const Eigen::Vector2d& a, const Eigen::Vector2d& b, const Eigen::Vector2d& c)
		{
			return (b.x() - a.x()) * (c.y() - b.y()) - (b.y() - a.y()) * (c.x() - b.x());
		}

		/// True when `p` lies in the counter-clockwise triangle abc or on its border.
		bool inTriangle(const Eigen::Vector2d& p, const Eigen::Vector2d& a, const Eigen::Vector2d& b, const Eigen::Vector2d& c)
		{
			return turn(a, b, p) >= 0 && turn(b, c, p) >= 0 && turn(c, a, p) >= 0;
		}
	}

	const std::vector<std::array<int, 3>>& PolygonTriangulator::triangulate(const std::vector<Eigen::Vector3d>& corners)
	{
		const int n = static_cast<int>(corners.size());
		m_triangles.clear();

		// Laid flat on the axis plane the polygon faces most, turned so that its inside is on the left.
		// The normal is summed about the first corner: about the origin, the products of coordinates
		// far from it (1e9 for a polygon of size 1) drown the polygon's area in their rounding.
		Eigen::Vector3d normal = Eigen::Vector3d::Zero();
		for (int i = 1; i + 1 < n; ++i)
			normal += (corners[static_cast<size_t>(i)] - corners[0]).cross(corners[static_cast<size_t>(i + 1)] - corners[0]);
		int axis = 0;
		normal.cwiseAbs().maxCoeff(&axis);
		const int u = (axis + 1) % 3, v = (axis + 2) % 3;
		const double side = normal[axis] < 0 ? -1.0 : 1.0;
		m_flat.resize(static_cast<size_t>(n));
		for (int i = 0; i < n; ++i)
			m_flat[static_cast<size_t>(i)] = {corners[static_cast<size_t>(i)][u], side * corners[static_cast<size_t>(i)][v]};

		m_previous.resize(static_cast<size_t>(n));
		m_next.resize(static_cast<size_t>(n));
		for (int i = 0; i < n; ++i)
		{
			m_previous[static_cast<size_t>(i)] = (i + n - 1) % n;
			m_next[static_cast<size_t>(i)] = (i + 1) % n;
		}
		m_reflex.clear();
		for (int i = 0; i < n; ++i)
			if (!isConvex(i))
				m_reflex.push_back(i);
		m_ear.assign(static_cast<size_t>(n), 0);
		for (int i = 0; i < n; ++i)
			m_ear[static_cast<size_t>(i)] = isEar(i);

		// From the second corner on, so that a convex polygon gives the fan around the first.
		int corner = n > 1 ? 1 : 0;
		for (int left = n; left > 3; --left)
		{
			int passed = 0;
			while (!m_ear[static_cast<size_t>(corner)] && passed < left)
			{
				corner = m_next[static_cast<size_t>(corner)];
				++passed;
			}
			if (passed == left) // no ear: nothing inside to cut along
				break;
			const int next = m_next[static_cast<size_t>(corner)];
			cut(corner);
			corner = next;
		}
		// The last triangle, or the fan of what has no ear left.
		const int first = m_previous[static_cast<size_t>(corner)];
		for (int at = corner; m_next[static_cast<size_t>(at)] != first; at = m_next[static_cast<size_t>(at)])
			m_triangles.push_back({first, at, m_next[static_cast<size_t>(at)]});
		return m_triangles;
	}

	bool PolygonTriangulator::isConvex(int corner) const
	{
		const auto at = static_cast<size_t>(corner);
		return turn(m_flat[static_cast<size_t>(m_previous[at])], m_flat[at], m_flat[static_cast<size_t>(m_next[at])]) > 0;
	}

	bool PolygonTriangulator::isEar(int corner) const
	{
		if (!isConvex(corner))
			return false;
		const int previous = m_previous[static_cast<size_t>(corner)], next = m_next[static_cast<size_t>(corner)];
		const Eigen::Vector2d& a = m_flat[static_cast<size_t>(previous)];
		const Eigen::Vector2d& b = m_flat[static_cast<size_t>(corner)];
		const Eigen::Vector2d& c = m_flat[static_cast<size_t>(next)];
		// Only a corner that does not turn the polygon's way can lie inside; one at the place of a
		// corner of the triangle (a polygon that touches itself) does not count.
		for (const int other : m_reflex)
		{
			const Eigen::Vector2d& p = m_flat[static_cast<size_t>(other)];
			if (other != previous && other != next && p != a && p != b && p != c && inTriangle(p, a, b, c))
				return false;
		}
		return true;
	}

	void PolygonTriangulator::cut(int corner)
	{
		const int previous = m_previous[static_cast<size_t>(corner)], next = m_next[static_cast<size_t>(corner)];
		m_triangles.push_back({previous, corner, next});
		m_next[static_cast<size_t>(previous)] = next;
		m_previous[static_cast<size_t>(next)] = previous;
		// Cutting an ear makes its neighbours turn more the polygon's way, never less.
		for (const int neighbour : {previous, next})
			if (isConvex(neighbour))
				m_reflex.erase(std::remove(m_reflex.begin(), m_reflex.end(), neighbour), m_reflex.end());
		m_ear[static_cast<size_t>(previous)] = isEar(previous);
		m_ear[static_cast<size_t>(next)] = isEar(next);
	}
}
