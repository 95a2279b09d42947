#pragma once

#include <cstdint>
#include <string>

namespace Quorvale
{
	/// What the check of a mesh file finds before Assimp reads it: what the file holds, for
	/// messages, and the memory that reading it will take (Assimp's scene, its import steps and
	/// the mesh made from it), estimated from counts measured with Debian's Assimp 5.2.
	struct MeshFileCheck
	{
		/// Faces of more corners are refused: Assimp's triangulation of one polygon takes time that
		/// grows with the square of its corners (a 256-gon takes about a millisecond).
		static constexpr uint64_t kMaxFaceCorners = 256;

		/// "1 vertex", "3 vertices": a count with its noun, for `contents`.
		static std::string counted(uint64_t count, const char* one, const char* many)
		{
			return std::to_string(count) + " " + (count == 1 ? one : many);
		}

		std::string contents; ///< "3 vertices and 1 face"
		double memoryBytes = 0;
	};
}
