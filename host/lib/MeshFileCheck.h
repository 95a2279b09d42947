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
