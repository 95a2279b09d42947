#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Quorvale
{
	class Mesh;
	class PointCloud;
}

/// Our own side of PLY files: the writer (ASCII or binary little-endian) and a check of a file's
/// header against the file's size. Reading the bodies is left to `MeshIo`.
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

	/// What a PLY header declares.
	struct Header
	{
		struct Element
		{
			std::string name;
			uint64_t count = 0;
			/// Bytes one record takes at least in the body: in a binary file the scalar sizes plus
			/// the count field of each list; in an ASCII file one character and a separator per property.
			uint64_t minimumRecordBytes = 0;
		};
		bool ascii = false;
		uint64_t size = 0; ///< bytes up to and including the end_header line
		std::vector<Element> elements;
	};

	/// Reads and checks the header of the PLY file at `path`: its magic, format line, elements and
	/// property types, and that the file is long enough for the records the header declares, so that
	/// a damaged or hostile count is refused before any reader allocates for it. Throws
	/// std::runtime_error naming the file and the fault.
	Header checkHeader(const std::string& path);
}
