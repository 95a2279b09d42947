#pragma once

#include "host/lib/PlyHeader.h"
#include "host/lib/SequentialFileReader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Quorvale
{
	/// Walks the body of a PLY file record by record, as its header declares them, before Assimp
	/// reads it: Assimp reads what it cannot parse, and what a cut file lacks, as zeros.
	///
	/// In a binary file every record must be whole (scalars by their size, lists by their count
	/// in the declared type and byte order). In an ASCII file every record is one line ended by a
	/// line break (Assimp reads one record per line), holding exactly the values its properties
	/// take, each parsing as its declared type (integers in their type's range, unsigned ones
	/// without a sign; floats as C writes them). List counts must be non-negative and within what
	/// the record holds; a face has between 1 and `MeshFileCheck::kMaxFaceCorners` corners. Nothing
	/// but white space may follow the last record of an ASCII file, nothing at all a binary one.
	/// Memory stays small whatever the file's size.
	class PlyBodyWalker
	{
	public:
		/// What the walk counted.
		struct Tally
		{
			uint64_t faces = 0;               ///< face records
			uint64_t corners = 0;             ///< corners of all faces
			uint64_t triangles = 0;           ///< triangles once polygons are triangulated
			uint64_t splitTriangles = 0;      ///< of those, the ones made from faces of more than 3 corners
			uint64_t largestRecordValues = 0; ///< values of the record with most values
			uint64_t keptValues = 0;          ///< values of edge and material records, which Assimp keeps all of
		};

		/// `header` must be the one `PlyHeader::read` gave for the file at `path`.
		PlyBodyWalker(const PlyHeader& header, const std::string& path);

		/// Walks the whole body. Throws std::runtime_error naming the file, the record (and in an
		/// ASCII file the line) and the fault.
		Tally walk();

	private:
		void walkAscii();
		/// Why `line` is not a record of `element`, whose property `cornerList` lists a face's
		/// corners; empty when it is one.
		std::string asciiRecordFault(const PlyHeader::Element& element, std::optional<size_t> cornerList, uint64_t record,
		                             std::string_view line);
		/// Fails with `fault`, after the real one when the body does not hold one line per record.
		[[noreturn]] void failAscii(const std::string& fault);
		void walkBinary();
		void walkBinaryRecords(const PlyHeader::Element& element);
		void walkBinaryRecord(const PlyHeader::Element& element, std::optional<size_t> cornerList, uint64_t record);
		/// Why a face of `corners` corners is refused ("has no corners"); empty, counting it, when it
		/// is not.
		std::string cornerFault(int64_t corners);
		/// Counts the values of one record of `element`.
		void countValues(const PlyHeader::Element& element, uint64_t values);
		[[noreturn]] void fail(const std::string& what) const;

		const PlyHeader& m_header;
		const std::string& m_path;
		SequentialFileReader m_reader;
		uint64_t m_line = 0;        ///< the line last read from an ASCII file
		uint64_t m_recordLines = 0; ///< lines of an ASCII body that are not blank
		Tally m_tally;
	};
}
