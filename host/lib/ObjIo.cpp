#include "host/lib/ObjIo.h"

#include <fmt/format.h>

#include "host/lib/Mesh.h"
#include "host/lib/MeshWorld.h"

namespace Quorvale::ObjIo
{
	std::string encode(const Mesh& mesh)
	{
		// The normals of the mesh as it lies in world coordinates.
		Mesh world(MeshWorld::vertices(mesh), mesh.triangles());
		world.computeVertexNormals(Mesh::FaceArea);
		const std::vector<Eigen::Vector3d>& vertices = world.vertices();
		const std::vector<Eigen::Vector3d>& normals = world.vertexNormals();
		std::string out = fmt::format("# {} vertices, {} normals and {} triangles\n", vertices.size(), normals.size(), mesh.triangles().size());
		out.reserve(out.size() + vertices.size() * (mesh.hasVertexColors() ? 120 : 80) + mesh.triangles().size() * 30);
		for (size_t v = 0; v < vertices.size(); ++v)
		{
			const Eigen::Vector3d& p = vertices[v];
			fmt::format_to(std::back_inserter(out), "v {} {} {}", p.x(), p.y(), p.z());
			if (mesh.hasVertexColors())
			{
				const Eigen::Vector4f& c = mesh.vertexColors()[v];
				fmt::format_to(std::back_inserter(out), " {} {} {}", c[0], c[1], c[2]);
			}
			out += '\n';
		}
		for (const Eigen::Vector3d& n : normals)
			fmt::format_to(std::back_inserter(out), "vn {} {} {}\n", n.x(), n.y(), n.z());
		for (const Eigen::Vector3i& t : mesh.triangles())
			fmt::format_to(std::back_inserter(out), "f {0}//{0} {1}//{1} {2}//{2}\n", t[0] + 1, t[1] + 1, t[2] + 1);
		return out;
	}
}
