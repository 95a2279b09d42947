#pragma once

#include "host/lib/FaceTriangles.h"
#include "host/lib/MeshFileContents.h"
#include "host/lib/PlyHeader.h"
#include "host/lib/SequentialFileReader.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Quorvale
{
	/// Walks the body of a PLY file record by record, as its header declares them: once to check
	/// and count it (`walk`), and once more to read it (`read`). Both walks are the same code, so
	/// what was checked is what is read.
	///
	/// In a binary file every record must be whole (scalars by their size, lists by their count
	/// in the declared type and byte order). In an ASCII file every record is one line ended by a
	/// line break, holding exactly the values its properties take, each parsing as its declared
	/// type (integers in their type's range, unsigned ones without a sign; floats as C writes
	/// them). List counts must be non-negative and within what the record holds; a face has
	/// between 1 and `MeshFileCheck::kMaxFaceCorners` corners, each naming a vertex of the file.
	/// Nothing but white space may follow the last record of an ASCII file, nothing at all a
	/// binary one.
	///
	/// Elements may come in any order; those other than vertex and face are skipped by their
	/// types. The vertex element gives the positions (x, y, z) and colours (red, green, blue,
	/// alpha, or r, g, b, a: unsigned integers scaled from [0, their largest], signed ones from
	/// [their smallest, their largest], floats as they are; a missing channel is 0, a missing
	/// alpha 1). A coordinate must be finite and within the range of single-precision numbers,
	/// which every mesh format can hold; a colour must be finite. Faces of three corners are
	/// triangles, larger ones are cut into triangles (`FaceTriangles`) once the vertices
	/// are read, faces of one or two corners are counted and dropped. Memory stays small during
	/// `walk` whatever the file's size.
	class PlyBodyWalker
	{
	public:
		/// What the walk counted.
		struct Tally
		{
			FaceTriangles::Counts shapes; ///< faces of three corners and more
			uint64_t droppedFaces = 0;    ///< faces of one or two corners
			uint64_t readerBytes = 0;     ///< the most memory the file's reader took (`SequentialFileReader::memoryBytes`)

			uint64_t faces() const { return shapes.triangles + shapes.polygons + droppedFaces; }
		};

		/// `header` must be the one `PlyHeader::read` gave for the file at `path`.
		PlyBodyWalker(const PlyHeader& header, const std::string& path);

		/// True when the vertex element has a colour channel.
		bool hasColours() const;

		/// Walks the whole body. Throws std::runtime_error naming the file, the record (and in an
		/// ASCII file the line) and the fault.
		Tally walk();
		/// Walks the whole body again, reading what `walk` counted, `tally`, into `contents` (the
		/// colours only when `withColours`). Throws as `walk` does, and when the file changed.
		void read(const Tally& tally, bool withColours, MeshFileContents& contents);

	private:
		/// What a property gives: a coordinate, a colour channel or nothing.
		enum Slot : int
		{
			None = -1,
			X = 0,
			Red = 3,
			Alpha = 6,
			SlotCount = 7
		};
		/// What the walk takes from the records of an element.
		struct Layout
		{
			enum Role
			{
				Vertex,
				Face,
				Other
			} role = Other;
			std::vector<int> slots;               ///< per property, of the vertex element
			std::optional<size_t> cornerList;     ///< of the face element
			bool fixedSize = true;                ///< no lists: every record takes `minimumRecordBytes` in a binary file
		};
		static Layout layoutOf(const PlyHeader::Element& element);
		void walkBody();

		void walkAscii();
		/// Why `line` is not a record of `element`; empty when it is one, then taken.
		std::string asciiRecordFault(size_t element, uint64_t record, std::string_view line);
		/// Fails with `fault`, after the real one when the body does not hold one line per record.
		[[noreturn]] void failAscii(const std::string& fault);

		void walkBinary();
		void walkBinaryRecords(size_t element);
		void walkBinaryRecord(size_t element, uint64_t record);
		/// A record without lists, read at once.
		void walkFixedRecord(size_t element, uint64_t record);
		/// The scalar of `type` at `bytes` in the file's byte order.
		double decode(const unsigned char* bytes, PlyHeader::Scalar type) const;

		/// Starts a record: no corners yet, every colour channel 0 but alpha 1.
		void startRecord();
		/// Keeps `value`, of `type`, in `slot`: a coordinate as it is, a colour channel scaled to [0, 1].
		void gather(int slot, double value, PlyHeader::Scalar type);
		/// Why a face of `corners` corners is refused; empty when it is not.
		static std::string cornerFault(int64_t corners);
		/// Takes the record `record` of `element` whose values were gathered.
		void take(size_t element, uint64_t record);
		void takeVertex(uint64_t record);
		void takeFace(uint64_t record);
		[[noreturn]] void fail(const std::string& what) const;

		const PlyHeader& m_header;
		const std::string& m_path;
		std::vector<Layout> m_layouts; ///< per element
		std::optional<SequentialFileReader> m_reader;
		uint64_t m_line = 0;        ///< the line last read from an ASCII file
		uint64_t m_recordLines = 0; ///< lines of an ASCII body that are not blank
		Tally m_tally;

		// The record being walked.
		std::array<double, SlotCount> m_values = {};
		std::vector<int64_t> m_corners;
		std::vector<unsigned char> m_record;

		// Reading: where the records go.
		MeshFileContents* m_out = nullptr;
		bool m_withColours = false;
		FaceTriangles m_faces;
	};
}
