#pragma once

#include <string>

namespace Quorvale
{
	class Mesh;
}

/// The writer of STL files (`StlReader` reads them).
///
/// A written file is binary: an 80-byte header that does not start with "solid" (which would
/// make readers take it for text), the triangle count, and per triangle its unit normal (0 0 0
/// for a triangle without area) and its corners in world coordinates as single-precision
/// numbers, in the mesh's winding, with an attribute of 0.
namespace Quorvale::StlIo
{
	/// The whole file for `mesh`, whose world coordinates must be finite as single-precision numbers.
	std::string encode(const Mesh& mesh);
}
