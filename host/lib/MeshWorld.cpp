#include "host/lib/MeshWorld.h"

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
}
