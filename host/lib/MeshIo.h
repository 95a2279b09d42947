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
/// Each format has one reader that checks the file and builds from it with the same code
/// (`PlyReader`, `ObjReader`, `StlReader`; docs/mesh-files.md): a first walk checks the whole
/// file and counts what it holds, and the file is refused when building it would need more
/// memory than `MemoryLimit` allows; a second walk builds. PLY keeps its vertices as the file
/// lists them; OBJ keeps the vertices its faces, lines and points name and STL the corners of its
/// facets, vertices at the same place joined. Faces of more than three corners are cut into
/// triangles along their inside.
/// A file without triangles is read as a `PointCloud`, one with triangles as a `Mesh` (faces that
/// are points or lines are dropped with a warning). Colours are read when the file has them.
/// The object is named after the file without its extension and placed with an identity matrix.
///
/// Writing takes the vertices to world coordinates, and refuses what would not read back: no
/// vertices (or, in STL, no triangles), or coordinates that are not finite as floats. Each
/// format has its writer (`PlyIo`, `ObjIo`, `StlIo`; STL is written binary). Every file is
/// written beside the target under a temporary name and renamed into place, so a failed write
/// leaves an existing file as it was. Every failure throws std::runtime_error naming the file.
namespace Quorvale::MeshIo
{
	/// A `Mesh` or a `PointCloud` read from the file at `path`, its format chosen by the extension.
	std::unique_ptr<Data> load(const std::string& path);

	/// Writes a `Mesh` (any of the three formats) or a `PointCloud` (PLY only) to `path`, its format
	/// chosen by the extension; PLY in `encoding`.
	void save(const Data& data, const std::string& path, PlyIo::Encoding encoding = PlyIo::Encoding::Binary);
}
