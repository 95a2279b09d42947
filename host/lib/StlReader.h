#pragma once

#include "host/lib/MeshFileCheck.h"
#include "host/lib/MeshFileContents.h"

#include <Eigen/Core>

#include <array>
#include <cstdint>
#include <string>

namespace Quorvale
{
	class VertexJoiner;

	/// Reads an STL file: binary or text, told apart by its size; a text file is walked twice
	/// with the same code, first to check it and count its facets, then to read them.
	///
	/// A file is binary when its facet count (4 bytes at offset 80) gives its size (84 bytes and
	/// 50 per facet); else it is text when it starts with "solid", and refused otherwise, naming
	/// the size its count would need. A text file holds one solid after another, its words
	/// separated by any white space, the name of a solid being the rest of its line:
	///
	///     solid [name]
	///       facet normal n n n
	///         outer loop
	///           vertex x y z      (three times)
	///         endloop
	///       endfacet
	///     endsolid [name]
	///
	/// Numbers are written as C writes them; a corner must be finite as a single-precision
	/// number. No line holds a control character other than a tab: a binary file whose count is
	/// wrong may start with "solid" too, and is told apart from a damaged text file.
	///
	/// The facet normals are not kept. Corners at the same place are joined into one vertex, in
	/// the order they come; every facet is a triangle.
	class StlReader
	{
	public:
		/// Opens the file at `path` and tells its kind. Throws std::runtime_error naming the file
		/// and the fault.
		explicit StlReader(const std::string& path);
		StlReader(const StlReader&) = delete;
		StlReader& operator=(const StlReader&) = delete;

		/// What the file holds and the memory building it will take; a text file is walked whole.
		/// Throws std::runtime_error naming the file, the fault and, in a text file, its line.
		MeshFileCheck check();
		/// Builds what `check` found (it must have run). Throws as `check` does, and when the file changed.
		MeshFileContents read();

	private:
		/// Walks a text file, counting its facets, and reading them when building.
		void walkText();
		void readBinary();
		/// Refuses a corner of the facet numbered `facet` (from 0) that is not finite as a float.
		void checkCorner(const Eigen::Vector3d& p, uint64_t facet) const;
		/// Takes the next facet, of `corners`.
		void takeFacet(const std::array<Eigen::Vector3d, 3>& corners);
		/// Why a binary file whose count is wrong is not one.
		std::string binaryFault() const;
		[[noreturn]] void fail(const std::string& what) const;

		std::string m_path;
		uint64_t m_size = 0;
		char m_header[84] = {};
		bool m_binary = false;
		uint64_t m_facets = 0;
		uint64_t m_planned = 0;
		uint64_t m_line = 0; ///< of a text file, for messages; 0 for none
		uint64_t m_readerBytes = 0; ///< the most memory reading the file takes

		// Reading: what the second walk builds.
		MeshFileContents* m_out = nullptr;
		VertexJoiner* m_joiner = nullptr;
	};
}
