#pragma once

#include "host/lib/Data.h"

#include <Eigen/Core>

#include <string>
#include <vector>

namespace Quorvale
{
	/// A triangle surface as a host data object: vertices in the mesh's own coordinates (the matrix
	/// convention is `ToWorld`, so `matrixToWorld` maps them to world coordinates), triangles of
	/// three vertex indices whose counter-clockwise order faces outward, vertex normals computed on
	/// request, and per-vertex RGBA colours in [0, 1]. Files hold the vertices in world coordinates.
	///
	/// Colours. Every vertex has a base colour and a current colour. A mesh read from a file with
	/// colours has them as both; a mesh without colours has white (1, 1, 1, 1) as both and
	/// `hasVertexColors` false until a colour is set. `setVertexColor(i, colour, weight)` makes the
	/// current colour weight · colour + (1 − weight) · base, channel by channel on red, green and blue,
	/// keeping the base alpha; the weight is clamped to [0, 1] and a NaN weight counts as 0. As it
	/// always starts from the base, painting a mesh a second time replaces the first painting instead
	/// of blending over it. `setBaseColors` changes the base itself (and resets the current colours).
	class Mesh : public Data
	{
	public:
		/// How `computeVertexNormals` weighs the normals of the triangles around a vertex.
		enum NormalWeighting : int
		{
			Uniform = 0,   ///< every triangle alike
			FaceArea = 1,  ///< by the triangle's area
			VertexAngle = 2 ///< by the triangle's angle at the vertex
		};

		explicit Mesh(std::string name = {});
		/// A mesh of these vertices and triangles with white colours. Throws std::invalid_argument
		/// when a triangle refers to a vertex that does not exist.
		Mesh(std::vector<Eigen::Vector3d> vertices, std::vector<Eigen::Vector3i> triangles, std::string name = {});
		~Mesh() override;

		int kind() const override { return Data::Mesh; }
		int matrixConvention() const override { return Data::ToWorld; }
		/// World-space box of the vertices; empty without vertices.
		Geometry::AlignedBox bounds() const override;
		std::string describe() const override;

		int numberOfVertices() const { return static_cast<int>(m_vertices.size()); }
		int numberOfFaces() const { return static_cast<int>(m_triangles.size()); }
		const Eigen::Vector3d& vertex(int index) const { return m_vertices[static_cast<size_t>(index)]; }
		const std::vector<Eigen::Vector3d>& vertices() const { return m_vertices; }
		const std::vector<Eigen::Vector3i>& triangles() const { return m_triangles; }
		/// Replaces the geometry; colours become white and normals are dropped. Throws
		/// std::invalid_argument, changing nothing, when a triangle refers to a missing vertex.
		void setGeometry(std::vector<Eigen::Vector3d> vertices, std::vector<Eigen::Vector3i> triangles);

		/// Computes a unit normal per vertex from the triangles around it, weighted as `weighting`
		/// says (a value outside `NormalWeighting` counts as `Uniform`). Degenerate triangles add
		/// nothing; a vertex on no proper triangle gets the zero vector.
		void computeVertexNormals(int weighting);
		/// True after `computeVertexNormals`, until the geometry changes.
		bool hasVertexNormals() const { return !m_normals.empty(); }
		/// The normal of the vertex (zero before `computeVertexNormals`).
		Eigen::Vector3d vertexNormal(int index) const;
		const std::vector<Eigen::Vector3d>& vertexNormals() const { return m_normals; }

		/// True when the mesh was read with colours or a colour has been set.
		bool hasVertexColors() const { return m_hasColors; }
		const Eigen::Vector4f& vertexColor(int index) const { return m_colors[static_cast<size_t>(index)]; }
		const Eigen::Vector4f& baseColor(int index) const { return m_baseColors[static_cast<size_t>(index)]; }
		const std::vector<Eigen::Vector4f>& vertexColors() const { return m_colors; }
		const std::vector<Eigen::Vector4f>& baseColors() const { return m_baseColors; }
		/// Blends `colour` over the base colour of the vertex (see the class notes).
		void setVertexColor(int index, const Eigen::Vector3f& colour, float weight);
		/// Sets base and current colours of every vertex (one per vertex, channels clamped to [0, 1]);
		/// throws std::invalid_argument when the count differs from the vertex count.
		void setBaseColors(std::vector<Eigen::Vector4f> colours);
		/// Sets base and current colours apart, as a stored mesh keeps them; throws
		/// std::invalid_argument when a count differs from the vertex count.
		void setColors(std::vector<Eigen::Vector4f> base, std::vector<Eigen::Vector4f> current);

	private:
		std::vector<Eigen::Vector3d> m_vertices;
		std::vector<Eigen::Vector3i> m_triangles;
		std::vector<Eigen::Vector3d> m_normals;
		std::vector<Eigen::Vector4f> m_baseColors;
		std::vector<Eigen::Vector4f> m_colors;
		bool m_hasColors = false;
	};
}
