#pragma once

#include "host/lib/PlyIo.h"

#include <memory>
#include <string>

namespace Quorvale
{
	class Data;
}

/// Surface meshes and point clouds in PLY, OBJ and STL files (".ply", ".obj", ".stl").
///
/// Reading goes through Assimp with import steps chosen per format: PLY is triangulated and keeps
/// its vertices as the file lists them; OBJ is triangulated, and OBJ and STL have their normals and
/// texture coordinates dropped and identical vertices joined (they list one vertex per face
/// corner). Assimp is not trusted with damaged files: every file is first checked whole
/// (`PlyIo::check`, `ObjIo::check`, `StlIo::check`; docs/mesh-files.md), and refused when reading
/// it would need more memory than `MemoryLimit` allows; what Assimp reads is checked before the
/// import steps run (every face has corners and every index names a vertex) and after (every
/// coordinate is finite, and there is at least one vertex).
/// A file without triangles is read as a `PointCloud`, one with triangles as a `Mesh` (faces that
/// are points or lines are dropped with a warning). Colours are read when the file has them.
/// The object is named after the file without its extension and placed with an identity matrix.
///
/// Writing takes the vertices to world coordinates, and refuses what would not read back: no
/// vertices (or, in STL, no triangles), or coordinates that are not finite as floats. PLY is
/// written by `PlyIo`; OBJ (with vertex colours as "v x y z r g b" when the mesh has colours) and
/// binary STL are written by Assimp into memory. Every file is written beside the target under a temporary name and renamed into place,
/// so a failed write leaves an existing file as it was. Every failure throws std::runtime_error
/// naming the file.
namespace Quorvale::MeshIo
{
	/// A `Mesh` or a `PointCloud` read from the file at `path`, its format chosen by the extension.
	std::unique_ptr<Data> load(const std::string& path);

	/// Writes a `Mesh` (any of the three formats) or a `PointCloud` (PLY only) to `path`, its format
	/// chosen by the extension; PLY in `encoding`.
	void save(const Data& data, const std::string& path, PlyIo::Encoding encoding = PlyIo::Encoding::Binary);
}
