#pragma once

#include <Eigen/Core>

#include <cstdint>
#include <string>
#include <vector>

namespace Quorvale
{
	/// What a mesh file reader gives `MeshIo`: the vertices as the file places them (world
	/// coordinates), their colours, and the faces cut into triangles.
	struct MeshFileContents
	{
		std::vector<Eigen::Vector3d> vertices;
		std::vector<Eigen::Vector4f> colours; ///< one per vertex when the file has colours, else none
		std::vector<Eigen::Vector3i> triangles;
		uint64_t droppedFaces = 0; ///< faces that are points or lines, which no triangle holds

		/// Why `p` cannot be a vertex: "lies at (nan, 0, 0), which is not finite as a single-precision
		/// number" (every mesh format can hold single precision, and writers refuse what they cannot
		/// write); empty when it can.
		static std::string placeFault(const Eigen::Vector3d& p);
	};
}
