#pragma once

#include <Eigen/Core>

#include <vector>

namespace Quorvale
{
	class Mesh;
}

/// What the mesh writers take from a mesh in world coordinates.
namespace Quorvale::MeshWorld
{
	/// `points` taken to world coordinates by `matrixToWorld`.
	std::vector<Eigen::Vector3d> points(const std::vector<Eigen::Vector3d>& points, const Eigen::Matrix4d& matrixToWorld);
	/// The vertices of `mesh` in world coordinates.
	std::vector<Eigen::Vector3d> vertices(const Mesh& mesh);
	/// A unit normal per vertex: the sum of the normals of the triangles around it, each weighted
	/// by the triangle's area, made unit; the zero vector for a vertex on no triangle with area.
	std::vector<Eigen::Vector3d> vertexNormals(const std::vector<Eigen::Vector3d>& vertices, const std::vector<Eigen::Vector3i>& triangles);
}
