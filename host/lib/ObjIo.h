#pragma once

#include <string>

namespace Quorvale
{
	class Mesh;
}

/// The writer of OBJ files (`ObjReader` reads them).
///
/// A written file holds the vertices in world coordinates, in the mesh's order, as "v x y z", or
/// "v x y z r g b" with the current colours when `Mesh::hasVertexColors`; then a normal per vertex
/// ("vn", the area-weighted mean of the normals of the triangles around it, 0 0 0 for a vertex
/// on none); then the triangles as "f a//a b//b c//c", a vertex and its normal numbered alike
/// from 1. Numbers are written in the fewest digits that read back to the same double.
namespace Quorvale::ObjIo
{
	/// The whole file for `mesh`.
	std::string encode(const Mesh& mesh);
}
