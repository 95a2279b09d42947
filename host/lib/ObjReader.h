#pragma once

#include "host/lib/FaceTriangles.h"
#include "host/lib/MeshFileCheck.h"
#include "host/lib/MeshFileContents.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Quorvale
{
	class LineWords;

	/// Reads an OBJ file in two walks of its lines with the same code: the first checks every
	/// line and counts what the file holds, the second builds from it. Time and memory grow
	/// linearly with the file; objects, groups, materials and other statements are skipped, and
	/// no other file (such as a material library) is opened.
	///
	/// Lines end at "\n", "\r\n" or "\r"; a backslash at the end of a line joins the next one to
	/// it; a "#" starts a comment, also after the data of a line; a UTF-8 byte order mark may
	/// start the file. No line holds a control character other than a tab. The first word of a
	/// line says what it is; these are read:
	///
	///     v x y z [w]  or  v x y z r g b     a vertex (a weight w is not used), with a colour
	///     vt u [v [w]]   vn x y z            checked, not kept
	///     f c c c ...                         1 to `MeshFileCheck::kMaxFaceCorners` corners
	///     l c c ...  and  p c ...             lines and points, each corner v, v/t, v//n or v/t/n
	///
	/// Numbers are written as C writes them; a coordinate must be finite as a single-precision
	/// number. An index counts from 1, or back from the last one read when negative, and must name
	/// a vertex, texture coordinate or normal of the file (a face may name one listed after it).
	///
	/// Vertices at the same place are joined, and only those that a face, line or point names
	/// are kept, in the order of the file; a file of vertices alone gives them all. Faces of three
	/// corners and more are cut into triangles (`FaceTriangles`), faces of one or two
	/// corners, lines and points are counted and dropped. Colours are read when a vertex has one
	/// (the others are white).
	class ObjReader
	{
	public:
		explicit ObjReader(const std::string& path);
		ObjReader(const ObjReader&) = delete;
		ObjReader& operator=(const ObjReader&) = delete;

		/// Checks every line: what the file holds and the memory building it will take. Throws
		/// std::runtime_error naming the file, the line and the fault.
		MeshFileCheck check();
		/// Builds what `check` found (it must have run). Throws as `check` does, and when the file changed.
		MeshFileContents read();

	private:
		/// What an index names.
		enum Kind
		{
			Position,
			TextureCoordinate,
			Normal
		};

		/// What a walk counts.
		struct Tally
		{
			std::array<uint64_t, 3> defined = {}; ///< vertices, texture coordinates, normals
			uint64_t statements = 0;              ///< f, l and p lines
			uint64_t corners = 0;                 ///< their corners
			FaceTriangles::Counts shapes;         ///< faces of three corners and more
			uint64_t faces = 0;                   ///< faces, line segments and points, for messages
			uint64_t droppedFaces = 0;            ///< faces of one or two corners, line segments and points
			bool colours = false;                 ///< a vertex has a colour

			bool operator==(const Tally& other) const;
		};

		/// Walks every line of the file.
		void walk();
		/// One line (continuations joined), which starts on line `number` of the file.
		void walkLine(std::string_view line, uint64_t number);
		void walkVertex(LineWords& words);
		void walkNumbers(LineWords& words, std::string_view keyword, size_t fewest, size_t most);
		void walkCorners(LineWords& words, std::string_view keyword);
		/// The index of what `word` names, counted from 0; empty for an empty texture coordinate or normal.
		int64_t index(std::string_view word, Kind kind);
		/// Joins the vertices that are kept and numbers the triangles' corners after them.
		void joinVertices();
		[[noreturn]] void fail(const std::string& what) const;

		std::string m_path;
		uint64_t m_line = 0;
		uint64_t m_readerBytes = 0; ///< the most memory reading the lines took
		Tally m_tally;
		Tally m_planned;
		std::array<uint64_t, 3> m_highest = {}; ///< the highest index counted from 1
		std::array<uint64_t, 3> m_highestLine = {};
		std::vector<int64_t> m_corners; ///< of the face being walked, counted from 0

		// Reading: what the second walk builds.
		MeshFileContents* m_out = nullptr;
		std::vector<Eigen::Vector3d> m_positions;
		std::vector<Eigen::Vector4f> m_colours;
		std::vector<char> m_used;
		FaceTriangles m_faces;
	};
}
