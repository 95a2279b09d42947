#include "host/lib/MeshFilePlugin.h"

#include <cstring>
#include <istream>
#include <ostream>
#include <stdexcept>
#include <string_view>

#include <fmt/format.h>

#include "host/core/MemoryLimit.h"
#include "host/lib/Mesh.h"
#include "host/lib/PointCloudFilePlugin.h"
#include "host/lib/QuorvaleFileBodyReader.h"
#include "host/lib/QuorvaleFileIO.h"

namespace Quorvale
{
	namespace
	{
		constexpr std::string_view kTag = "MESH:";
		/// A vertex's position, base and current colour in the mesh, and the colours as read.
		constexpr double kBytesPerVertex = sizeof(Eigen::Vector3d) + 4 * sizeof(Eigen::Vector4f);

		void writeColours(std::ostream& out, const std::vector<Eigen::Vector4f>& colours)
		{
			for (const Eigen::Vector4f& c : colours)
				for (int k = 0; k < 4; ++k)
				{
					uint32_t bits;
					std::memcpy(&bits, &c[k], 4);
					QuorvaleFileIO::writeU32(out, bits);
				}
		}

		bool readColours(QuorvaleFileBodyReader& reader, size_t count, std::vector<Eigen::Vector4f>& colours)
		{
			if (!reader.fits(count, 16))
				return false;
			colours.resize(count);
			for (Eigen::Vector4f& c : colours)
				for (int k = 0; k < 4; ++k)
				{
					uint32_t bits = 0;
					if (!reader.u32(bits))
						return false;
					std::memcpy(&c[k], &bits, 4);
				}
			return true;
		}
	}

	MeshFilePlugin::MeshFilePlugin()
	    : QuorvaleFileDataPlugin(kBlockType, kTag, "mesh")
	{
	}

	bool MeshFilePlugin::writeBody(const Mesh& mesh, std::ostream& out) const
	{
		if (const std::string fault = PointCloudFilePlugin::nonFinite(mesh.vertices(), "vertex"); !fault.empty())
			return fail("Cannot write the mesh: " + fault);
		writeMatrix(out, mesh.matrixToWorld());
		PointCloudFilePlugin::writePoints(out, mesh.vertices());
		QuorvaleFileIO::writeU64(out, mesh.triangles().size());
		for (const Eigen::Vector3i& t : mesh.triangles())
			for (int k = 0; k < 3; ++k)
				QuorvaleFileIO::writeU32(out, static_cast<uint32_t>(t[k]));
		QuorvaleFileIO::writeU8(out, mesh.hasVertexColors() ? 1 : 0);
		if (mesh.hasVertexColors())
		{
			writeColours(out, mesh.baseColors());
			writeColours(out, mesh.vertexColors());
		}
		return true;
	}

	bool MeshFilePlugin::readBody(QuorvaleFileBodyReader& reader, Mesh& mesh) const
	{
		// The block is held while it is read.
		const double block = static_cast<double>(reader.left()) + PointCloudFilePlugin::kReadingBytes;
		Eigen::Matrix4d matrix;
		std::vector<Eigen::Vector3d> vertices;
		uint64_t triangleCount = 0;
		if (!reader.tag(kTag) || !reader.matrix(matrix))
			return fail("Mesh block is truncated or damaged");
		if (const std::string fault = PointCloudFilePlugin::readPoints(reader, vertices, "vertex", "vertices", kBytesPerVertex, block);
		    !fault.empty())
			return fail("Mesh block: " + fault);
		if (!reader.u64(triangleCount) || !reader.fits(triangleCount, 12))
			return fail("Mesh block is truncated or damaged");
		MemoryLimit::require(block + kBytesPerVertex * static_cast<double>(vertices.size()) +
		                         sizeof(Eigen::Vector3i) * static_cast<double>(triangleCount),
		                     fmt::format("Its {} vertices and {} triangles", vertices.size(), triangleCount));
		std::vector<Eigen::Vector3i> triangles(triangleCount);
		for (Eigen::Vector3i& t : triangles)
			for (int k = 0; k < 3; ++k)
			{
				uint32_t index = 0;
				if (!reader.u32(index))
					return fail("Mesh block is truncated or damaged: cannot read the triangles");
				if (index >= vertices.size())
					return fail(fmt::format("Mesh block is damaged: a triangle refers to vertex {} of {}", index, vertices.size()));
				t[k] = static_cast<int>(index);
			}
		uint8_t hasColours = 0;
		std::vector<Eigen::Vector4f> base, current;
		if (!reader.u8(hasColours) ||
		    (hasColours && (!readColours(reader, vertices.size(), base) || !readColours(reader, vertices.size(), current))))
			return fail("Mesh block is truncated or damaged: cannot read the colours");
		mesh.setMatrixToWorld(matrix);
		mesh.setGeometry(std::move(vertices), std::move(triangles));
		if (hasColours)
			mesh.setColors(std::move(base), std::move(current));
		return true;
	}
}
