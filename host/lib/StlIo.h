#pragma once

#include <string>

/// Our own side of STL files: a check of text STL files before `MeshIo` hands them to Assimp.
///
/// Assimp's reader of text STL keeps what it has read when it meets a fault (the memory is lost),
/// and reads a number of more than 19 digits as 0 without a word. So a text file goes to it only
/// in the form that STL writers give it: "facet normal" and its three numbers on one line, each
/// "vertex" and its three numbers on one line (Assimp skips only spaces and tabs there), any white
/// space elsewhere:
///
///     solid [name]
///       facet normal n n n
///         outer loop
///           vertex x y z      (three times)
///         endloop
///       endfacet
///     endsolid [name]
///
/// Several solids may follow one another. Numbers are written as C writes them: an optional sign,
/// digits with an optional decimal point (or a point and digits), an optional exponent; "nan",
/// "inf" and "infinity" in any case. A file is binary when its facet count (4 bytes at offset 80)
/// says so by the file's size, as Assimp decides; binary files are left to Assimp, which checks
/// that they hold every facet. A text file must fit twice in memory (`MemoryLimit`): it is read
/// whole here, and again by Assimp.
namespace Quorvale::StlIo
{
	/// Checks the STL file at `path` when it is a text file. Throws std::runtime_error naming the
	/// file, the fault and its line.
	void checkText(const std::string& path);
}
