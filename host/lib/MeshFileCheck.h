#pragma once

#include <cstdint>
#include <string>

namespace Quorvale
{
	/// What the first walk of a mesh file finds before anything is built from it: what the file
	/// holds, for messages, and the memory that building the mesh or point cloud will take.
	struct MeshFileCheck
	{
		/// Faces of more corners are refused: cutting a polygon into triangles takes time that
		/// grows with the square of its corners.
		static constexpr uint64_t kMaxFaceCorners = 256;

		/// Bytes that the `Mesh` built from a file takes: per vertex its position and the base and
		/// current colours it keeps; per vertex more when the file has colours (those read, and the
		/// mesh's copy of them); per triangle its corners.
		static constexpr double kMeshBytesPerVertex = 24 + 32;
		static constexpr double kMeshBytesPerColour = 32;
		static constexpr double kMeshBytesPerTriangle = 12;

		/// "1 vertex", "3 vertices": a count with its noun, for `contents`.
		static std::string counted(uint64_t count, const char* one, const char* many)
		{
			return std::to_string(count) + " " + (count == 1 ? one : many);
		}

		std::string contents; ///< "3 vertices and 1 face"
		double memoryBytes = 0;
		uint64_t vertices = 0;  ///< the most vertices building numbers
		uint64_t triangles = 0; ///< the triangles the mesh will have
	};
}
