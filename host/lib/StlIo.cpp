#include "host/lib/StlIo.h"

#include <cstring>

#include <Eigen/Geometry>

#include "host/lib/Mesh.h"
#include "host/lib/MeshWorld.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "binary STL files are written as little-endian memory");

namespace Quorvale::StlIo
{
	namespace
	{
		constexpr char kHeader[] = "binary STL";

		void putFloats(std::string& out, const Eigen::Vector3d& v)
		{
			const Eigen::Vector3f f = v.cast<float>();
			out.append(reinterpret_cast<const char*>(f.data()), 3 * sizeof(float));
		}
	}

	std::string encode(const Mesh& mesh)
	{
		const std::vector<Eigen::Vector3d> vertices = MeshWorld::vertices(mesh);
		const auto count = static_cast<uint32_t>(mesh.triangles().size());
		std::string out(kHeader);
		out.resize(80, ' ');
		out.append(reinterpret_cast<const char*>(&count), sizeof(count));
		out.reserve(84 + 50 * size_t(count));
		for (const Eigen::Vector3i& t : mesh.triangles())
		{
			const Eigen::Vector3d& a = vertices[static_cast<size_t>(t[0])];
			const Eigen::Vector3d& b = vertices[static_cast<size_t>(t[1])];
			const Eigen::Vector3d& c = vertices[static_cast<size_t>(t[2])];
			putFloats(out, (b - a).cross(c - a).stableNormalized());
			for (const Eigen::Vector3d* corner : {&a, &b, &c})
				putFloats(out, *corner);
			out.append(2, '\0');
		}
		return out;
	}
}
