#pragma once

#include "host/lib/PolygonTriangulator.h"

#include <Eigen/Core>

#include <cstdint>
#include <vector>

namespace Quorvale
{
	/// The triangles of the faces of a mesh file, read in two walks: the first counts the faces by
	/// their shape, the second keeps them in the room made for them. A face of three corners is a
	/// triangle; a larger one is put aside until the places of its corners are known (a face may
	/// come before its vertices), then cut into triangles (`PolygonTriangulator`) in the room kept
	/// for it, so that the triangles keep the faces' order.
	class FaceTriangles
	{
	public:
		/// What the faces are.
		struct Counts
		{
			uint64_t triangles = 0;      ///< faces of three corners
			uint64_t polygons = 0;       ///< faces of more corners
			uint64_t polygonCorners = 0; ///< their corners

			/// The triangles once the polygons are cut.
			uint64_t all() const { return triangles + polygonCorners - 2 * polygons; }
			/// The memory that keeping and cutting them takes.
			double bytes() const;
			bool operator==(const Counts& other) const;
		};

		/// Starts a walk that counts the faces.
		void startCounting();
		/// Starts a walk that also keeps the faces in `triangles` (which must outlive the walk), with
		/// room for what `planned` counts.
		void startKeeping(std::vector<Eigen::Vector3i>& triangles, const Counts& planned);
		/// Takes the face of `corners` (at least three vertex numbers). False, taking nothing, when
		/// it goes beyond what was planned: the file changed.
		bool take(const std::vector<int64_t>& corners);
		const Counts& counts() const { return m_counts; }
		/// Cuts every polygon put aside, its corners at `vertices`, into the room kept for it.
		void cut(const std::vector<Eigen::Vector3d>& vertices);

	private:
		Counts m_counts;
		Counts m_planned;
		std::vector<Eigen::Vector3i>* m_triangles = nullptr;
		std::vector<uint32_t> m_polygons; ///< per polygon put aside: its first triangle, its corner count, its corners
		PolygonTriangulator m_triangulator;
	};
}
