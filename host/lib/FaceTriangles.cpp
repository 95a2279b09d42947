#include "host/lib/FaceTriangles.h"

namespace Quorvale
{
	namespace
	{
		/// Per triangle kept; per polygon put aside, its count and place, and per corner.
		constexpr double kBytesPerTriangle = 12;
		constexpr double kBytesPerPolygon = 8;
		constexpr double kBytesPerCorner = 4;
	}

	double FaceTriangles::Counts::bytes() const
	{
		return kBytesPerTriangle * static_cast<double>(all()) + kBytesPerPolygon * static_cast<double>(polygons) +
		       kBytesPerCorner * static_cast<double>(polygonCorners);
	}

	bool FaceTriangles::Counts::operator==(const Counts& other) const
	{
		return triangles == other.triangles && polygons == other.polygons && polygonCorners == other.polygonCorners;
	}

	void FaceTriangles::startCounting()
	{
		m_counts = {};
		m_triangles = nullptr;
	}

	void FaceTriangles::startKeeping(std::vector<Eigen::Vector3i>& triangles, const Counts& planned)
	{
		m_counts = {};
		m_planned = planned;
		m_triangles = &triangles;
		triangles.clear();
		triangles.reserve(planned.all());
		m_polygons.clear();
		m_polygons.reserve(2 * planned.polygons + planned.polygonCorners);
	}

	bool FaceTriangles::take(const std::vector<int64_t>& corners)
	{
		const size_t count = corners.size();
		if (m_triangles && m_triangles->size() + count - 2 > m_planned.all())
			return false;
		if (count == 3)
			++m_counts.triangles;
		else
		{
			++m_counts.polygons;
			m_counts.polygonCorners += count;
		}
		if (!m_triangles)
			return true;
		if (count == 3)
		{
			m_triangles->emplace_back(static_cast<int>(corners[0]), static_cast<int>(corners[1]), static_cast<int>(corners[2]));
			return true;
		}
		m_polygons.push_back(static_cast<uint32_t>(m_triangles->size()));
		m_polygons.push_back(static_cast<uint32_t>(count));
		for (const int64_t corner : corners)
			m_polygons.push_back(static_cast<uint32_t>(corner));
		m_triangles->resize(m_triangles->size() + count - 2);
		return true;
	}

	void FaceTriangles::cut(const std::vector<Eigen::Vector3d>& vertices)
	{
		std::vector<Eigen::Vector3d> places;
		for (size_t at = 0; at < m_polygons.size(); at += 2 + m_polygons[at + 1])
		{
			const uint32_t* corners = m_polygons.data() + at + 2;
			places.clear();
			for (uint32_t k = 0; k < m_polygons[at + 1]; ++k)
				places.push_back(vertices[corners[k]]);
			const auto& cut = m_triangulator.triangulate(places);
			for (size_t t = 0; t < cut.size(); ++t)
				(*m_triangles)[m_polygons[at] + t] = Eigen::Vector3i(
				    static_cast<int>(corners[cut[t][0]]), static_cast<int>(corners[cut[t][1]]), static_cast<int>(corners[cut[t][2]]));
		}
		std::vector<uint32_t>().swap(m_polygons);
	}
}
