#include "host/lib/PlyHeader.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

#include <fmt/format.h>

#include "host/core/Platform.h"
#include "host/lib/LineWords.h"

namespace Quorvale
{
	namespace
	{
		/// The longest header we read; real headers are a few hundred bytes.
		constexpr size_t kMaxHeaderBytes = 1 << 16;

		using Scalar = PlyHeader::Scalar;

		[[noreturn]] void fail(const std::string& path, const std::string& what)
		{
			throw std::runtime_error("Cannot read the PLY file '" + path + "': " + what);
		}

		/// A PLY scalar type by its name in a file.
		std::optional<Scalar> scalarNamed(const std::string& name)
		{
			static const std::map<std::string, Scalar> types = {
			    {"char", Scalar::Char},   {"int8", Scalar::Char},     {"uchar", Scalar::UChar},   {"uint8", Scalar::UChar},
			    {"short", Scalar::Short}, {"int16", Scalar::Short},   {"ushort", Scalar::UShort}, {"uint16", Scalar::UShort},
			    {"int", Scalar::Int},     {"int32", Scalar::Int},     {"uint", Scalar::UInt},     {"uint32", Scalar::UInt},
			    {"float", Scalar::Float}, {"float32", Scalar::Float}, {"double", Scalar::Double}, {"float64", Scalar::Double}};
			const auto it = types.find(name);
			return it == types.end() ? std::nullopt : std::optional(it->second);
		}

		/// The file's first bytes, where its header is, and the file's size. Only the first bytes are
		/// looked at: a file without line breaks must not be read whole.
		std::string headerBytes(const std::string& path, uint64_t& fileSize)
		{
			std::ifstream in(Platform::widen(path), std::ios::binary);
			if (!in)
				fail(path, "it cannot be opened");
			std::error_code error;
			fileSize = std::filesystem::file_size(std::filesystem::u8path(path), error);
			if (error)
				fail(path, "its size cannot be read: " + error.message());
			std::string start(kMaxHeaderBytes, '\0');
			in.read(start.data(), static_cast<std::streamsize>(start.size()));
			start.resize(static_cast<size_t>(in.gcount()));
			return start;
		}

		/// The header's lines one by one, counting the bytes and lines they take in the file.
		class HeaderLines
		{
		public:
			HeaderLines(const std::string& text, const std::string& path)
			    : m_lines(text)
			    , m_path(path)
			{
			}

			/// The next line without its line break; a header must end with a line break. A line
			/// holds no control character but tabs (`LineWords::isControl`).
			const std::string& next(PlyHeader& header)
			{
				if (!std::getline(m_lines, m_line) || m_lines.eof())
					fail(m_path, "the header has no end_header line");
				header.size += m_line.size() + 1;
				++header.lines;
				if (!m_line.empty() && m_line.back() == '\r')
					m_line.pop_back();
				for (const char c : m_line)
					if (LineWords::isControl(c))
						failLine(header, fmt::format("it holds the control character {:#04x}", static_cast<unsigned char>(c)));
				return m_line;
			}

			/// Fails naming the line last read.
			[[noreturn]] void failLine(const PlyHeader& header, const std::string& what) const
			{
				fail(m_path, fmt::format("line {}: {}", header.lines, what));
			}

		private:
			std::istringstream m_lines;
			const std::string& m_path;
			std::string m_line;
		};

		void readFormat(std::istringstream& words, PlyHeader& header, const HeaderLines& lines)
		{
			std::string format;
			words >> format;
			if (format == "ascii")
				header.format = PlyHeader::Format::Ascii;
			else if (format == "binary_little_endian")
				header.format = PlyHeader::Format::BinaryLittleEndian;
			else if (format == "binary_big_endian")
				header.format = PlyHeader::Format::BinaryBigEndian;
			else
				lines.failLine(header, "unknown format '" + format + "'");
		}

		void readElement(std::istringstream& words, const std::string& line, PlyHeader& header, const HeaderLines& lines)
		{
			PlyHeader::Element element;
			std::string count;
			words >> element.name >> count;
			if (element.name.empty() || count.empty() || count.find_first_not_of("0123456789") != std::string::npos || count.size() > 19)
				lines.failLine(header, "bad element line '" + line + "'");
			if (element.name == "tristrips")
				lines.failLine(header, "it holds triangle strips (element tristrips), which are not read");
			element.count = std::stoull(count);
			header.elements.push_back(element);
		}

		void readProperty(std::istringstream& words, const std::string& line, PlyHeader& header, const HeaderLines& lines)
		{
			if (header.elements.empty())
				lines.failLine(header, "a property comes before any element");
			PlyHeader::Property property;
			std::string type;
			words >> type;
			if (type == "list")
			{
				std::string countType, itemType;
				words >> countType >> itemType;
				property.countType = scalarNamed(countType);
				const auto item = scalarNamed(itemType);
				if (!property.countType || !item)
					lines.failLine(header, "bad list property '" + line + "'");
				if (!PlyHeader::isInteger(*property.countType))
					lines.failLine(header, "the count of a list must be an integer, in '" + line + "'");
				property.type = *item;
			}
			else if (const auto scalar = scalarNamed(type))
				property.type = *scalar;
			else
				lines.failLine(header, "unknown property type '" + type + "'");
			words >> property.name;
			if (property.name.empty())
				lines.failLine(header, "bad property line '" + line + "'");
			PlyHeader::Element& element = header.elements.back();
			for (const PlyHeader::Property& other : element.properties)
				if (other.name == property.name)
					lines.failLine(header, fmt::format("property '{}' of element '{}' is declared twice", property.name, element.name));
			element.minimumRecordBytes +=
			    header.format == PlyHeader::Format::Ascii ? 2 : PlyHeader::bytesOf(property.countType.value_or(property.type));
			element.properties.push_back(property);
		}

		/// The header at the start of `text`: its magic, format line, elements and property types.
		PlyHeader parse(const std::string& text, const std::string& path)
		{
			HeaderLines lines(text, path);
			PlyHeader header;
			uint64_t formatLine = 0;
			if (lines.next(header) != "ply")
				fail(path, "it does not start with 'ply'");
			for (;;)
			{
				const std::string& line = lines.next(header);
				std::istringstream words(line);
				std::string keyword;
				words >> keyword;
				if (keyword == "end_header")
					break;
				if (keyword.empty() || keyword == "comment" || keyword == "obj_info")
					continue;
				if (keyword == "format")
				{
					// The size of every record depends on it: a second one cannot be right too.
					if (formatLine != 0)
						lines.failLine(header, fmt::format("a second format line (the first is line {})", formatLine));
					readFormat(words, header, lines);
					formatLine = header.lines;
				}
				else if (keyword == "element")
				{
					if (formatLine == 0)
						lines.failLine(header, "an element comes before the format line");
					readElement(words, line, header, lines);
				}
				else if (keyword == "property")
					readProperty(words, line, header, lines);
				else
					lines.failLine(header, "unknown header line '" + line + "'");
			}
			if (formatLine == 0)
				fail(path, "the header has no format line");
			return header;
		}

		const PlyHeader::Property* propertyNamed(const PlyHeader::Element& element, const std::string& name)
		{
			for (const PlyHeader::Property& property : element.properties)
				if (property.name == name)
					return &property;
			return nullptr;
		}

		bool isCornerList(const PlyHeader::Property& property)
		{
			return property.name == "vertex_indices" || property.name == "vertex_index";
		}

		void checkRecordsCanBeRead(const PlyHeader::Element& element, const std::string& path)
		{
			if (element.count == 0)
				return;
			if (element.properties.empty())
				fail(path, fmt::format("element '{}' declares {} records without properties", element.name, element.count));
			if (element.name == "vertex")
				for (const char* axis : {"x", "y", "z"})
				{
					const PlyHeader::Property* property = propertyNamed(element, axis);
					if (!property || property->countType)
						fail(path, fmt::format("element 'vertex' has no scalar property '{}'", axis));
				}
			if (element.name == "face")
			{
				const auto lists = std::count_if(element.properties.begin(), element.properties.end(), isCornerList);
				if (lists != 1 || !PlyHeader::cornerList(element))
					fail(path, "element 'face' needs one list of integers named 'vertex_indices' (or 'vertex_index')");
			}
		}

		/// Refuses what could not be read as a mesh: see the notes in the header file.
		void checkElements(const PlyHeader& header, const std::string& path)
		{
			std::set<std::string> seen;
			for (const PlyHeader::Element& element : header.elements)
			{
				checkRecordsCanBeRead(element, path);
				if ((element.name == "vertex" || element.name == "face") && !seen.insert(element.name).second)
					fail(path, fmt::format("element '{}' is declared twice", element.name));
			}
		}

		/// Refuses a file too short for the records its header declares.
		void checkBodySize(const PlyHeader& header, uint64_t fileSize, const std::string& path)
		{
			uint64_t needed = 0;
			for (const PlyHeader::Element& element : header.elements)
			{
				uint64_t bytes = 0;
				if (__builtin_mul_overflow(element.count, element.minimumRecordBytes, &bytes) ||
				    __builtin_add_overflow(needed, bytes, &needed))
					needed = UINT64_MAX;
			}
			const uint64_t body = fileSize - std::min(fileSize, header.size);
			if (needed <= body)
				return;
			fail(path, fmt::format("the header declares {}, which need at least {} bytes, but the file holds {} after its header",
			                       header.declaredCounts(), needed, body));
		}
	}

	PlyHeader PlyHeader::read(const std::string& path)
	{
		uint64_t fileSize = 0;
		const std::string start = headerBytes(path, fileSize);
		PlyHeader header = parse(start, path);
		checkElements(header, path);
		checkBodySize(header, fileSize, path);
		return header;
	}

	uint64_t PlyHeader::bytesOf(Scalar type)
	{
		switch (type)
		{
			case Scalar::Char:
			case Scalar::UChar: return 1;
			case Scalar::Short:
			case Scalar::UShort: return 2;
			case Scalar::Int:
			case Scalar::UInt:
			case Scalar::Float: return 4;
			case Scalar::Double: return 8;
		}
		return 0;
	}

	const char* PlyHeader::nameOf(Scalar type)
	{
		switch (type)
		{
			case Scalar::Char: return "char";
			case Scalar::UChar: return "uchar";
			case Scalar::Short: return "short";
			case Scalar::UShort: return "ushort";
			case Scalar::Int: return "int";
			case Scalar::UInt: return "uint";
			case Scalar::Float: return "float";
			case Scalar::Double: return "double";
		}
		return "";
	}

	std::string PlyHeader::declaredCounts() const
	{
		std::string counts;
		for (const Element& element : elements)
			counts += fmt::format("{}{} {}", counts.empty() ? "" : ", ", element.count, element.name);
		return counts;
	}

	uint64_t PlyHeader::vertexCount() const
	{
		for (const Element& element : elements)
			if (element.name == "vertex")
				return element.count;
		return 0;
	}

	std::optional<size_t> PlyHeader::cornerList(const Element& element)
	{
		if (element.name != "face")
			return std::nullopt;
		for (size_t i = 0; i < element.properties.size(); ++i)
		{
			const Property& property = element.properties[i];
			if (isCornerList(property) && property.countType && isInteger(property.type))
				return i;
		}
		return std::nullopt;
	}
}
