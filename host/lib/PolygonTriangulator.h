#pragma once

#include <Eigen/Core>

#include <array>
#include <vector>

namespace Quorvale
{
	/// Cuts a polygon of n corners into n - 2 triangles that cover it, by ear clipping: the
	/// polygon is laid flat on the plane it most faces (its Newell normal), and a corner whose
	/// triangle with its two neighbours turns the polygon's way and holds no other corner is cut
	/// off, one after the other. A convex polygon gives the fan around its first corner; a concave
	/// one is cut along its inside. What has no inside to cut (a polygon whose corners lie on one
	/// line, or one that crosses itself where no ear is left) is cut as a fan from there on.
	/// Every triangle keeps the polygon's winding. Time grows with the square of the corners at
	/// most; the buffers are kept from one polygon to the next.
	class PolygonTriangulator
	{
	public:
		/// The triangles of the polygon whose corners lie at `corners` (at least three, in order), as
		/// corner numbers. The list is valid until the next call.
		const std::vector<std::array<int, 3>>& triangulate(const std::vector<Eigen::Vector3d>& corners);

	private:
		/// True when the corner turns the polygon's way (strictly).
		bool isConvex(int corner) const;
		/// True when the triangle of `corner` and its neighbours can be cut off.
		bool isEar(int corner) const;
		void cut(int corner);

		std::vector<Eigen::Vector2d> m_flat;
		std::vector<int> m_previous;
		std::vector<int> m_next;
		std::vector<char> m_ear;
		std::vector<int> m_reflex; ///< corners that do not turn the polygon's way, while they are left
		std::vector<std::array<int, 3>> m_triangles;
	};
}
