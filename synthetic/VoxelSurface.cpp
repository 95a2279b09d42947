#include "synthetic/VoxelSurface.h"

#include <array>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include <Eigen/Geometry>

#include "host/lib/Mesh.h"
#include "host/lib/SharedImage.h"
#include "host/lib/TypedImage.h"

namespace Quorvale::SyntheticVolumes
{
	namespace
	{
		/// Per face direction: the neighbour offset and the four corner offsets, counter-clockwise seen
		/// from that neighbour.
		struct Face
		{
			Eigen::Vector3i step;
			std::array<Eigen::Vector3i, 4> corners;
		};
		const std::array<Face, 6> kFaces = {{
		    {{1, 0, 0}, {{{1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {1, 0, 1}}}},
		    {{-1, 0, 0}, {{{0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 0}}}},
		    {{0, 1, 0}, {{{0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}}}},
		    {{0, -1, 0}, {{{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}}},
		    {{0, 0, 1}, {{{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}}}},
		    {{0, 0, -1}, {{{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}}}},
		}};

		/// The mesh's vertices: one per voxel corner used, in the order of first use, in world coordinates.
		/// Corner (i, j, k) is the point (i − ½, j − ½, k − ½) in pixel coordinates.
		class CornerVertices
		{
		public:
			CornerVertices(const Eigen::Vector3i& size, const Eigen::Matrix4d& pixelToWorld)
			    : m_cx(size.x() + 1)
			    , m_cy(size.y() + 1)
			    , m_pixelToWorld(pixelToWorld)
			{
			}

			/// The vertex index of corner (i, j, k), added on first use.
			int at(int i, int j, int k)
			{
				const int64_t key = (int64_t(k) * m_cy + j) * m_cx + i;
				const auto [it, added] = m_cornerIndex.emplace(key, static_cast<int>(m_vertices.size()));
				if (added)
					m_vertices.push_back((m_pixelToWorld * Eigen::Vector4d(i - 0.5, j - 0.5, k - 0.5, 1.0)).head<3>());
				return it->second;
			}

			std::vector<Eigen::Vector3d> take() { return std::move(m_vertices); }

		private:
			int64_t m_cx;
			int64_t m_cy;
			Eigen::Matrix4d m_pixelToWorld;
			std::unordered_map<int64_t, int> m_cornerIndex;
			std::vector<Eigen::Vector3d> m_vertices;
		};
	}

	std::unique_ptr<Mesh> voxelSurfaceMesh(const SharedImage& labels, const std::string& name)
	{
		const auto* image = dynamic_cast<const TypedImage<unsigned char>*>(labels.mem());
		if (!image)
			throw std::invalid_argument("voxelSurfaceMesh: the label image must be unsigned 8-bit");
		const Eigen::Vector3i size = image->descriptor().dimensions();
		const Eigen::Matrix4d pixelToWorld = labels.descriptorWorld().pixelToWorldMatrix();
		const bool mirrored = pixelToWorld.topLeftCorner<3, 3>().determinant() < 0.0;
		auto inside = [&](int x, int y, int z)
		{ return x >= 0 && y >= 0 && z >= 0 && x < size.x() && y < size.y() && z < size.z() && image->at(x, y, z) > 0; };

		CornerVertices corners(size, pixelToWorld);
		std::vector<Eigen::Vector3i> triangles;
		for (int z = 0; z < size.z(); ++z)
			for (int y = 0; y < size.y(); ++y)
				for (int x = 0; x < size.x(); ++x)
				{
					if (!inside(x, y, z))
						continue;
					for (const Face& face : kFaces)
					{
						if (inside(x + face.step.x(), y + face.step.y(), z + face.step.z()))
							continue;
						std::array<int, 4> q;
						for (int c = 0; c < 4; ++c)
							q[static_cast<size_t>(c)] = corners.at(x + face.corners[static_cast<size_t>(c)].x(), y + face.corners[static_cast<size_t>(c)].y(),
							                                       z + face.corners[static_cast<size_t>(c)].z());
						if (mirrored)
							std::swap(q[1], q[3]);
						triangles.emplace_back(q[0], q[1], q[2]);
						triangles.emplace_back(q[0], q[2], q[3]);
					}
				}
		return std::make_unique<Mesh>(corners.take(), std::move(triangles), name);
	}
}
