#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Quorvale
{
	/// What the header of a PLY file declares, read and checked before anything reads the body.
	///
	/// The header is the `ply` line, one `format` line, and `element` lines each followed by
	/// the `property` lines of its records, up to `end_header`; `comment` and `obj_info` lines
	/// may stand anywhere after the `ply` line. Lines end with "\n" or "\r\n", and hold no control
	/// character but tabs, which separate words as spaces do. Refused, naming the line: a second
	/// `format` line, a property declared twice in one element, an unknown type or line.
	///
	/// Besides its form, a header is refused when its body could not be read as a mesh: triangle
	/// strips (element `tristrips`, which are not read), an element with records but no
	/// properties (its records would be nothing), a list whose count is not an integer, a vertex
	/// element without the scalars x, y and z, a face element without one integer list
	/// "vertex_indices" (or "vertex_index"), a vertex or face element declared twice. A file too
	/// short for the records declared is refused here too.
	struct PlyHeader
	{
		enum class Format
		{
			Ascii,
			BinaryLittleEndian,
			BinaryBigEndian
		};

		enum class Scalar
		{
			Char,
			UChar,
			Short,
			UShort,
			Int,
			UInt,
			Float,
			Double
		};

		struct Property
		{
			std::string name;
			Scalar type = Scalar::Float;     ///< the value's type, or a list item's
			std::optional<Scalar> countType; ///< a list's count type; empty for a scalar
		};

		struct Element
		{
			std::string name;
			uint64_t count = 0;
			std::vector<Property> properties;
			/// Bytes one record takes at least in the body: in a binary file the scalar sizes plus
			/// the count field of each list; in an ASCII file one character and a separator per property.
			uint64_t minimumRecordBytes = 0;
		};

		/// Reads and checks the header of the PLY file at `path` (see the notes above). Throws
		/// std::runtime_error naming the file and the fault.
		static PlyHeader read(const std::string& path);

		/// Bytes of a value of `type` in a binary file.
		static uint64_t bytesOf(Scalar type);
		static bool isInteger(Scalar type) { return type != Scalar::Float && type != Scalar::Double; }
		static bool isSigned(Scalar type) { return type == Scalar::Char || type == Scalar::Short || type == Scalar::Int; }
		/// The name used in files: "uchar", "float", ...
		static const char* nameOf(Scalar type);

		/// The index of the property of the face element that lists a face's corners.
		static std::optional<size_t> cornerList(const Element& element);

		/// The elements with their declared counts, for messages: "8 vertex, 6 face".
		std::string declaredCounts() const;
		/// The records of the vertex element; 0 without one.
		uint64_t vertexCount() const;

		Format format = Format::Ascii;
		uint64_t size = 0;  ///< bytes up to and including the end_header line
		uint64_t lines = 0; ///< lines up to and including the end_header line
		std::vector<Element> elements;
	};
}
