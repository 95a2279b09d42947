#include "host/lib/MeshWorld.h"

#include <Eigen/Geometry>

#include "host/lib/Mesh.h"

namespace Quorvale::MeshWorld
{
	std::vector<Eigen::Vector3d> points(const std::vector<Eigen::Vector3d>& points, const Eigen::Matrix4d& matrixToWorld)
	{
		std::vector<Eigen::Vector3d> out;
		out.reserve(points.size());
		for (const Eigen::Vector3d& p : points)
			out.push_back(matrixToWorld.topLeftCorner<3, 3>() * p + matrixToWorld.topRightCorner<3, 1>());
		return out;
	}

	std::vector<Eigen::Vector3d> vertices(const Mesh& mesh) { return points(mesh.vertices(), mesh.matrixToWorld()); }

	std::vector<Eigen::Vector3d> vertexNormals(const std::vector<Eigen::Vector3d>& vertices, const std::vector<Eigen::Vector3i>& triangles)
	{
		std::vector<Eigen::Vector3d> normals(vertices.size(), Eigen::Vector3d::Zero());
		for (const Eigen::Vector3i& t : triangles)
		{
			// The cross product's length is twice the area.
			const Eigen::Vector3d& a = vertices[static_cast<size_t>(t[0])];
			const Eigen::Vector3d n = (vertices[static_cast<size_t>(t[1])] - a).cross(vertices[static_cast<size_t>(t[2])] - a);
			for (int k = 0; k < 3; ++k)
				normals[static_cast<size_t>(t[k])] += n;
		}
		for (Eigen::Vector3d& n : normals)
			n = n.stableNormalized();
		return normals;
	}
}
