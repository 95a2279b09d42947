#pragma once

#include "host/lib/MeshFileCheck.h"

#include <string>

namespace Quorvale
{
	class Mesh;
	class PointCloud;
}

/// Our own side of PLY files: the writer (ASCII or binary little-endian) and the check of a file
/// before `MeshIo` has Assimp read it.
///
/// Written files hold the vertices in world coordinates as doubles `x y z`; with colours, `red
/// green blue alpha` as uchar (each channel of [0, 1] times 255, rounded to nearest); triangles as
/// `element face` with `property list uchar int vertex_indices`. A point cloud is a file without
/// faces.
namespace Quorvale::PlyIo
{
	enum class Encoding
	{
		Ascii,
		Binary ///< binary_little_endian
	};

	/// The whole file for a mesh (colours only when `Mesh::hasVertexColors`).
	std::string encode(const Mesh& mesh, Encoding encoding);
	/// The whole file for a point cloud.
	std::string encode(const PointCloud& cloud, Encoding encoding);

	/// Checks the PLY file at `path` before Assimp reads it: its header (`PlyHeader::read`) and
	/// every record of its body (`PlyBodyWalker`). Gives what the file holds and the memory reading
	/// it will take. Throws std::runtime_error naming the file and the fault.
	MeshFileCheck check(const std::string& path);
}
