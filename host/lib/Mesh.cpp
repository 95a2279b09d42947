#include "host/lib/Mesh.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <Eigen/Geometry>
#include <fmt/format.h>

namespace Quorvale
{
	namespace
	{
		const Eigen::Vector4f kWhite = Eigen::Vector4f::Ones();

		void checkTriangles(const std::vector<Eigen::Vector3i>& triangles, size_t vertexCount)
		{
			for (size_t t = 0; t < triangles.size(); ++t)
				for (int c = 0; c < 3; ++c)
					if (triangles[t][c] < 0 || static_cast<size_t>(triangles[t][c]) >= vertexCount)
						throw std::invalid_argument(fmt::format("triangle {} refers to vertex {}, the mesh has {} vertices", t,
						                                        triangles[t][c], vertexCount));
		}

		Eigen::Vector4f clamped(const Eigen::Vector4f& colour)
		{
			Eigen::Vector4f out;
			for (int c = 0; c < 4; ++c)
				out[c] = std::isnan(colour[c]) ? 0.0f : std::clamp(colour[c], 0.0f, 1.0f);
			return out;
		}

		/// The angle between two edge vectors leaving a corner; 0 when either is of zero length.
		double cornerAngle(const Eigen::Vector3d& a, const Eigen::Vector3d& b)
		{
			const double sine = a.cross(b).norm();
			const double cosine = a.dot(b);
			return (sine == 0.0 && cosine == 0.0) ? 0.0 : std::atan2(sine, cosine);
		}
	}

	Mesh::Mesh(std::string name)
	    : Data(std::move(name))
	{
	}

	Mesh::Mesh(std::vector<Eigen::Vector3d> vertices, std::vector<Eigen::Vector3i> triangles, std::string name)
	    : Data(std::move(name))
	{
		setGeometry(std::move(vertices), std::move(triangles));
	}

	Mesh::~Mesh() = default;

	Geometry::AlignedBox Mesh::bounds() const
	{
		Geometry::AlignedBox box;
		const Eigen::Matrix4d& toWorld = matrixToWorld();
		for (const Eigen::Vector3d& v : m_vertices)
			box.addPoint((toWorld * v.homogeneous()).head<3>());
		return box;
	}

	std::string Mesh::describe() const
	{
		return fmt::format("Mesh '{}' with {} vertices and {} triangles", name(), m_vertices.size(), m_triangles.size());
	}

	void Mesh::setGeometry(std::vector<Eigen::Vector3d> vertices, std::vector<Eigen::Vector3i> triangles)
	{
		checkTriangles(triangles, vertices.size());
		m_vertices = std::move(vertices);
		m_triangles = std::move(triangles);
		m_normals.clear();
		m_baseColors.assign(m_vertices.size(), kWhite);
		m_colors = m_baseColors;
		m_hasColors = false;
		signalDataChanged.emitSignal();
	}

	void Mesh::computeVertexNormals(int weighting)
	{
		std::vector<Eigen::Vector3d> sums(m_vertices.size(), Eigen::Vector3d::Zero());
		for (const Eigen::Vector3i& t : m_triangles)
		{
			const Eigen::Vector3d& a = m_vertices[static_cast<size_t>(t[0])];
			const Eigen::Vector3d& b = m_vertices[static_cast<size_t>(t[1])];
			const Eigen::Vector3d& c = m_vertices[static_cast<size_t>(t[2])];
			const Eigen::Vector3d cross = (b - a).cross(c - a); // length: twice the area
			const double length = cross.norm();
			if (!(length > 0.0) || !std::isfinite(length))
				continue;
			const Eigen::Vector3d unit = cross / length;
			switch (weighting)
			{
				case FaceArea:
					for (int k = 0; k < 3; ++k)
						sums[static_cast<size_t>(t[k])] += 0.5 * cross;
					break;
				case VertexAngle:
					sums[static_cast<size_t>(t[0])] += cornerAngle(b - a, c - a) * unit;
					sums[static_cast<size_t>(t[1])] += cornerAngle(c - b, a - b) * unit;
					sums[static_cast<size_t>(t[2])] += cornerAngle(a - c, b - c) * unit;
					break;
				default:
					for (int k = 0; k < 3; ++k)
						sums[static_cast<size_t>(t[k])] += unit;
			}
		}
		for (Eigen::Vector3d& n : sums)
		{
			const double length = n.norm();
			n = length > 0.0 && std::isfinite(length) ? Eigen::Vector3d(n / length) : Eigen::Vector3d::Zero();
		}
		m_normals = std::move(sums);
	}

	Eigen::Vector3d Mesh::vertexNormal(int index) const
	{
		return m_normals.empty() ? Eigen::Vector3d::Zero() : m_normals[static_cast<size_t>(index)];
	}

	void Mesh::setVertexColor(int index, const Eigen::Vector3f& colour, float weight)
	{
		const float w = std::isnan(weight) ? 0.0f : std::clamp(weight, 0.0f, 1.0f);
		const Eigen::Vector4f& base = m_baseColors[static_cast<size_t>(index)];
		Eigen::Vector4f blended = base;
		for (int c = 0; c < 3; ++c)
			blended[c] = w * colour[c] + (1.0f - w) * base[c];
		m_colors[static_cast<size_t>(index)] = clamped(blended);
		m_hasColors = true;
	}

	void Mesh::setBaseColors(std::vector<Eigen::Vector4f> colours)
	{
		std::vector<Eigen::Vector4f> current = colours;
		setColors(std::move(colours), std::move(current));
	}

	void Mesh::setColors(std::vector<Eigen::Vector4f> base, std::vector<Eigen::Vector4f> current)
	{
		if (base.size() != m_vertices.size() || current.size() != m_vertices.size())
			throw std::invalid_argument(fmt::format("{} base and {} current colours for a mesh of {} vertices", base.size(), current.size(),
			                                        m_vertices.size()));
		for (auto* list : {&base, &current})
			for (Eigen::Vector4f& colour : *list)
				colour = clamped(colour);
		m_baseColors = std::move(base);
		m_colors = std::move(current);
		m_hasColors = true;
		signalDataChanged.emitSignal();
	}
}
