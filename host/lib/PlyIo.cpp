#include "host/lib/PlyIo.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <fmt/format.h>

#include "host/lib/Mesh.h"
#include "host/lib/MeshWorld.h"
#include "host/lib/PointCloud.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "binary PLY files are written as little-endian memory");

namespace Quorvale::PlyIo
{
	namespace
	{
		uint8_t toByte(float channel) { return static_cast<uint8_t>(std::lround(std::clamp(channel, 0.0f, 1.0f) * 255.0f)); }

		template <typename T>
		void put(std::string& out, T value)
		{
			char bytes[sizeof(T)];
			std::memcpy(bytes, &value, sizeof(T));
			out.append(bytes, sizeof(T));
		}

		std::string encodeVerticesAndFaces(const std::vector<Eigen::Vector3d>& vertices,
		                                   const std::vector<Eigen::Vector4f>* colours, const std::vector<Eigen::Vector3i>& faces,
		                                   Encoding encoding)
		{
			const bool ascii = encoding == Encoding::Ascii;
			std::string out = fmt::format("ply\nformat {} 1.0\nelement vertex {}\nproperty double x\nproperty double y\nproperty double z\n",
			                              ascii ? "ascii" : "binary_little_endian", vertices.size());
			if (colours)
				out += "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n";
			if (!faces.empty())
				out += fmt::format("element face {}\nproperty list uchar int vertex_indices\n", faces.size());
			out += "end_header\n";
			out.reserve(out.size() + vertices.size() * (ascii ? 80 : 28) + faces.size() * (ascii ? 24 : 13));

			for (size_t i = 0; i < vertices.size(); ++i)
			{
				const Eigen::Vector3d& p = vertices[i];
				if (ascii)
				{
					out += fmt::format("{} {} {}", p.x(), p.y(), p.z());
					if (colours)
					{
						const Eigen::Vector4f& c = (*colours)[i];
						out += fmt::format(" {} {} {} {}", toByte(c[0]), toByte(c[1]), toByte(c[2]), toByte(c[3]));
					}
					out += '\n';
				}
				else
				{
					for (int k = 0; k < 3; ++k)
						put(out, p[k]);
					if (colours)
						for (int k = 0; k < 4; ++k)
							put(out, toByte((*colours)[i][k]));
				}
			}
			for (const Eigen::Vector3i& f : faces)
			{
				if (ascii)
					out += fmt::format("3 {} {} {}\n", f[0], f[1], f[2]);
				else
				{
					put(out, uint8_t(3));
					for (int k = 0; k < 3; ++k)
						put(out, int32_t(f[k]));
				}
			}
			return out;
		}
	}

	std::string encode(const Mesh& mesh, Encoding encoding)
	{
		return encodeVerticesAndFaces(MeshWorld::vertices(mesh), mesh.hasVertexColors() ? &mesh.vertexColors() : nullptr,
		                              mesh.triangles(), encoding);
	}

	std::string encode(const PointCloud& cloud, Encoding encoding)
	{
		return encodeVerticesAndFaces(MeshWorld::points(cloud.points(), cloud.matrixToWorld()), nullptr, {}, encoding);
	}
}
