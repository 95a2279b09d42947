#include "host/lib/PlyIo.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <fmt/format.h>

#include "host/lib/Mesh.h"
#include "host/lib/PlyBodyWalker.h"
#include "host/lib/PlyHeader.h"
#include "host/lib/PointCloud.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "binary PLY files are written as little-endian memory");

namespace Quorvale::PlyIo
{
	namespace
	{
		uint8_t toByte(float channel) { return static_cast<uint8_t>(std::lround(std::clamp(channel, 0.0f, 1.0f) * 255.0f)); }

		Eigen::Vector3d toWorld(const Eigen::Matrix4d& matrix, const Eigen::Vector3d& p)
		{
			return matrix.topLeftCorner<3, 3>() * p + matrix.topRightCorner<3, 1>();
		}

		template <typename T>
		void put(std::string& out, T value)
		{
			char bytes[sizeof(T)];
			std::memcpy(bytes, &value, sizeof(T));
			out.append(bytes, sizeof(T));
		}

		std::string encodeVerticesAndFaces(const std::vector<Eigen::Vector3d>& vertices, const Eigen::Matrix4d& toWorldMatrix,
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
				const Eigen::Vector3d p = toWorld(toWorldMatrix, vertices[i]);
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

		/// True when Assimp reads colours from the vertices of `element`.
		bool hasColours(const PlyHeader::Element& element)
		{
			for (const PlyHeader::Property& property : element.properties)
				for (const char* name :
				     {"red", "green", "blue", "alpha", "r", "g", "b", "a", "diffuse_red", "diffuse_green", "diffuse_blue"})
					if (property.name == name)
						return true;
			return false;
		}

		/// Bytes Assimp's scene and the mesh made from it take (measured with Assimp 5.2): per vertex
		/// its position thrice (Assimp's, ours while collected, the mesh's), and a mesh's colours;
		/// per face its corners; per triangle made from a polygon a new face; edge and material
		/// records kept whole; the largest record, read at once.
		double estimatedBytes(const PlyHeader& header, const PlyBodyWalker::Tally& tally)
		{
			double bytes = 0;
			for (const PlyHeader::Element& element : header.elements)
			{
				const auto count = static_cast<double>(element.count);
				if (element.name == "vertex")
					bytes += count * (60 + (tally.triangles > 0 ? 32 : 0) + (hasColours(element) ? 48 : 0));
				if (element.name == "edge" || element.name == "material")
					bytes += count * (80 + 56 * static_cast<double>(element.properties.size()) + (element.name == "material" ? 6144 : 0));
			}
			return bytes + 32 * static_cast<double>(tally.faces) + 4 * static_cast<double>(tally.corners) +
			       44 * static_cast<double>(tally.splitTriangles) + 24 * static_cast<double>(tally.triangles) +
			       8 * static_cast<double>(tally.keptValues + tally.largestRecordValues);
		}
	}

	std::string encode(const Mesh& mesh, Encoding encoding)
	{
		return encodeVerticesAndFaces(mesh.vertices(), mesh.matrixToWorld(), mesh.hasVertexColors() ? &mesh.vertexColors() : nullptr,
		                              mesh.triangles(), encoding);
	}

	std::string encode(const PointCloud& cloud, Encoding encoding)
	{
		return encodeVerticesAndFaces(cloud.points(), cloud.matrixToWorld(), nullptr, {}, encoding);
	}

	MeshFileCheck check(const std::string& path)
	{
		const PlyHeader header = PlyHeader::read(path);
		const PlyBodyWalker::Tally tally = PlyBodyWalker(header, path).walk();
		uint64_t vertices = 0;
		for (const PlyHeader::Element& element : header.elements)
			vertices += element.name == "vertex" ? element.count : 0;
		return {MeshFileCheck::counted(vertices, "vertex", "vertices") + " and " + MeshFileCheck::counted(tally.faces, "face", "faces"),
		        estimatedBytes(header, tally)};
	}
}
