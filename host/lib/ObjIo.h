#pragma once

#include "host/lib/MeshFileCheck.h"

#include <string>

/// Our own side of OBJ files: a check of a file before `MeshIo` hands it to Assimp, whose reader
/// skips a vertex it cannot parse (so that faces refer to the wrong vertices or to none), reads
/// indices of texture coordinates and normals beyond those the file has, and ignores lines that
/// start with white space.
///
/// Lines end at "\n", "\r\n" or "\r"; a backslash at the end of a line joins the next one to it.
/// Every keyword stands at the start of its line, and no line holds a control character other
/// than a tab. These lines are checked, the others (comments, groups, materials, smoothing) left
/// to Assimp, which tells statements by their first letter: a line starting with v, f, l or p
/// must be one of these:
///
///     v x y z [w]  or  v x y z r g b     numbers starting with a digit or a sign
///     vt u v [w]                          (or nan, inf)
///     vn x y z
///     f v v v ...                         1 to `MeshFileCheck::kMaxFaceCorners` corners, each
///     l v v ...  and  p v ...             v, v/t, v//n or v/t/n
///
/// An index counts from 1, or back from the last one read when negative, and must name a vertex,
/// texture coordinate or normal of the file.
namespace Quorvale::ObjIo
{
	/// Checks the OBJ file at `path`. Gives what it holds and the memory reading it will take;
	/// throws std::runtime_error naming the file, the line and the fault.
	MeshFileCheck check(const std::string& path);
}
