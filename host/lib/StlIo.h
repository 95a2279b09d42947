#pragma once

#include "host/lib/MeshFileCheck.h"

#include <string>

/// Our own side of STL files: a check of a file before `MeshIo` hands it to Assimp.
///
/// A file is binary when its facet count (4 bytes at offset 80) gives its size (84 bytes and 50
/// per facet), as Assimp decides; else it is text when it starts with "solid", and refused
/// otherwise, naming the size its count would need.
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
/// Several solids may follow one another. Numbers are written as C writes them
/// (`TextNumbers::isDecimal`). A text file must fit twice in memory (`MemoryLimit`): it is read
/// whole here, and again by Assimp.
///
/// Reading takes memory per facet and per distinct corner (Assimp joins the corners at one
/// place); the corners are counted only when their most would not fit in memory.
namespace Quorvale::StlIo
{
	/// Checks the STL file at `path`. Gives what it holds and the memory reading it will take;
	/// throws std::runtime_error naming the file, the fault and, in a text file, its line.
	MeshFileCheck check(const std::string& path);
}
