#pragma once

#include <string>

namespace Quorvale
{
	class Mesh;
	class PointCloud;
}

/// The writer of PLY files, ASCII or binary little-endian (`PlyReader` reads them).
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
}
