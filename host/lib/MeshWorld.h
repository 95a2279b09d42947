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
}
