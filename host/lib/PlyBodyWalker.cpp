#include "host/lib/PlyBodyWalker.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include <fmt/format.h>

#include "host/lib/LineWords.h"
#include "host/lib/MeshFileCheck.h"
#include "host/lib/TextNumbers.h"

namespace Quorvale
{
	namespace
	{
		using Scalar = PlyHeader::Scalar;

		int64_t smallest(Scalar type)
		{
			switch (type)
			{
				case Scalar::Char: return std::numeric_limits<int8_t>::min();
				case Scalar::Short: return std::numeric_limits<int16_t>::min();
				case Scalar::Int: return std::numeric_limits<int32_t>::min();
				default: return 0;
			}
		}

		int64_t largest(Scalar type)
		{
			switch (type)
			{
				case Scalar::Char: return std::numeric_limits<int8_t>::max();
				case Scalar::UChar: return std::numeric_limits<uint8_t>::max();
				case Scalar::Short: return std::numeric_limits<int16_t>::max();
				case Scalar::UShort: return std::numeric_limits<uint16_t>::max();
				case Scalar::Int: return std::numeric_limits<int32_t>::max();
				default: return std::numeric_limits<uint32_t>::max();
			}
		}

		/// An empty line, or one of spaces and tabs only.
		bool isBlankLine(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

		/// Assimp keeps all records of these elements; it reads those of vertices and faces one by one.
		bool isKept(const PlyHeader::Element& element) { return element.name == "edge" || element.name == "material"; }

		/// Why `token` is not a value of `type` as Assimp reads it; empty when it is one.
		std::string asciiValueFault(std::string_view token, Scalar type)
		{
			if (!PlyHeader::isInteger(type))
				return TextNumbers::isDecimal(token) ? std::string() : fmt::format("'{}' is not a number", TextNumbers::excerpt(token));
			const auto value = TextNumbers::integer(token, PlyHeader::isSigned(type));
			if (value && *value >= smallest(type) && *value <= largest(type))
				return {};
			return fmt::format("'{}' is not of type {} (an integer from {} to {})", TextNumbers::excerpt(token), PlyHeader::nameOf(type),
			                   smallest(type), largest(type));
		}

		/// The integer of `size` bytes at `bytes` in the file's byte order.
		int64_t decode(const unsigned char* bytes, Scalar type, bool bigEndian)
		{
			const uint64_t size = PlyHeader::bytesOf(type);
			uint64_t bits = 0;
			for (uint64_t i = 0; i < size; ++i)
				bits |= uint64_t(bytes[bigEndian ? size - 1 - i : i]) << (8 * i);
			if (PlyHeader::isSigned(type) && (bits >> (8 * size - 1)) != 0)
				return static_cast<int64_t>(bits) - (int64_t(1) << (8 * size));
			return static_cast<int64_t>(bits);
		}
	}

	PlyBodyWalker::PlyBodyWalker(const PlyHeader& header, const std::string& path)
	    : m_header(header)
	    , m_path(path)
	    , m_reader(path, header.size)
	{
	}

	PlyBodyWalker::Tally PlyBodyWalker::walk()
	{
		m_tally = {};
		if (m_header.format == PlyHeader::Format::Ascii)
			walkAscii();
		else
			walkBinary();
		return m_tally;
	}

	void PlyBodyWalker::walkAscii()
	{
		m_line = m_header.lines;
		std::string_view line;
		for (const PlyHeader::Element& element : m_header.elements)
		{
			const std::optional<size_t> cornerList = PlyHeader::cornerList(element);
			for (uint64_t record = 0; record < element.count; ++record)
			{
				if (!m_reader.nextLine(line))
					failAscii(fmt::format("the file ends before {} {} of {}", element.name, record, element.count));
				++m_line;
				const bool blank = isBlankLine(line);
				m_recordLines += blank ? 0 : 1;
				const std::string fault = blank ? fmt::format("the line is empty where {} {} should be", element.name, record)
				                                : asciiRecordFault(element, cornerList, record, line);
				if (!fault.empty())
					failAscii(fmt::format("line {}: {}", m_line, fault));
				// A cut in the last value of a record could leave another value.
				if (!m_reader.lineEnded())
					failAscii(fmt::format("the file ends inside line {} ({} {}), before its line break", m_line, element.name, record));
			}
		}
		while (m_reader.nextLine(line))
		{
			++m_line;
			if (!isBlankLine(line))
			{
				++m_recordLines;
				failAscii(fmt::format("line {} follows the last record that the header declares", m_line));
			}
		}
	}

	std::string PlyBodyWalker::asciiRecordFault(const PlyHeader::Element& element, std::optional<size_t> cornerList, uint64_t record,
	                                            std::string_view line)
	{
		const auto subject = [&] { return fmt::format("{} {}", element.name, record); };
		LineWords tokens(line);
		uint64_t values = 0;
		for (size_t p = 0; p < element.properties.size(); ++p)
		{
			const PlyHeader::Property& property = element.properties[p];
			const std::string_view first = tokens.next();
			if (first.empty())
				return fmt::format("{} ends before its property '{}'", subject(), property.name);
			std::string fault = asciiValueFault(first, property.countType.value_or(property.type));
			if (!fault.empty())
				return fmt::format("property '{}' of {}: {}", property.name, subject(), fault);
			++values;
			if (!property.countType)
				continue;
			const int64_t count = *TextNumbers::integer(first, true);
			if (count < 0)
				return fmt::format("the list '{}' of {} declares {} values", property.name, subject(), count);
			if (cornerList == p && !(fault = cornerFault(count)).empty())
				return subject() + " " + fault;
			for (int64_t i = 0; i < count; ++i)
			{
				const std::string_view token = tokens.next();
				if (token.empty())
					return fmt::format("the list '{}' of {} declares {} values, the line holds {}", property.name, subject(), count, i);
				if (!(fault = asciiValueFault(token, property.type)).empty())
					return fmt::format("property '{}' of {}: {}", property.name, subject(), fault);
			}
			values += static_cast<uint64_t>(count);
		}
		if (!tokens.next().empty())
			return fmt::format("{} holds more values than its properties take", subject());
		countValues(element, values);
		return {};
	}

	void PlyBodyWalker::failAscii(const std::string& fault)
	{
		uint64_t declared = 0;
		for (const PlyHeader::Element& element : m_header.elements)
			declared = element.count > UINT64_MAX - declared ? UINT64_MAX : declared + element.count;
		std::string_view line;
		while (m_reader.nextLine(line))
			m_recordLines += isBlankLine(line) ? 0 : 1;
		if (m_recordLines == declared)
			fail(fault);
		fail(fmt::format("the header declares {} records ({}), one per line, but the body holds {}; {}", declared,
		                 m_header.declaredCounts(), MeshFileCheck::counted(m_recordLines, "line", "lines"), fault));
	}

	std::string PlyBodyWalker::cornerFault(int64_t corners)
	{
		if (corners == 0)
			return "has no corners";
		if (static_cast<uint64_t>(corners) > MeshFileCheck::kMaxFaceCorners)
			return fmt::format("has {} corners, more than the {} a face may have", corners, MeshFileCheck::kMaxFaceCorners);
		++m_tally.faces;
		m_tally.corners += static_cast<uint64_t>(corners);
		if (corners >= 3)
			m_tally.triangles += static_cast<uint64_t>(corners) - 2;
		if (corners > 3)
			m_tally.splitTriangles += static_cast<uint64_t>(corners) - 2;
		return {};
	}

	void PlyBodyWalker::walkBinary()
	{
		// After a header ended by "\n" alone, Assimp takes a "\n" that follows for the rest of the line break.
		if (!m_header.endsWithCarriageReturn && m_reader.peek() == '\n')
			fail("its binary data starts with a line break byte (0x0a), which would be read as part of the header's last line");
		for (const PlyHeader::Element& element : m_header.elements)
			walkBinaryRecords(element);
		if (m_reader.left() > 0)
			fail(fmt::format("{} bytes follow the last record that the header declares", m_reader.left()));
	}

	void PlyBodyWalker::walkBinaryRecords(const PlyHeader::Element& element)
	{
		const bool fixedSize =
		    std::none_of(element.properties.begin(), element.properties.end(), [](const auto& p) { return p.countType; });
		if (!fixedSize)
		{
			const std::optional<size_t> cornerList = PlyHeader::cornerList(element);
			for (uint64_t record = 0; record < element.count; ++record)
				walkBinaryRecord(element, cornerList, record);
			return;
		}
		uint64_t bytes = 0;
		if (__builtin_mul_overflow(element.count, element.minimumRecordBytes, &bytes) || !m_reader.skip(bytes))
			fail(
			    fmt::format("the file ends inside {} {} of {}", element.name, m_reader.left() / element.minimumRecordBytes, element.count));
		if (element.count == 0)
			return;
		countValues(element, element.properties.size()); // one record; the others are alike
		if (isKept(element))
			m_tally.keptValues += element.properties.size() * (element.count - 1);
	}

	void PlyBodyWalker::walkBinaryRecord(const PlyHeader::Element& element, std::optional<size_t> cornerList, uint64_t record)
	{
		const auto where = [&] { return fmt::format("{} {} of {}", element.name, record, element.count); };
		uint64_t values = 0;
		for (size_t p = 0; p < element.properties.size(); ++p)
		{
			const PlyHeader::Property& property = element.properties[p];
			++values;
			if (!property.countType)
			{
				if (!m_reader.skip(PlyHeader::bytesOf(property.type)))
					fail("the file ends inside " + where());
				continue;
			}
			unsigned char bytes[8] = {};
			if (!m_reader.read(bytes, PlyHeader::bytesOf(*property.countType)))
				fail("the file ends inside " + where());
			const int64_t count = decode(bytes, *property.countType, m_header.format == PlyHeader::Format::BinaryBigEndian);
			const uint64_t itemBytes = PlyHeader::bytesOf(property.type);
			if (count < 0 || static_cast<uint64_t>(count) > m_reader.left() / itemBytes)
				fail(fmt::format("the list '{}' of {} declares {} values, the file holds {} more bytes", property.name, where(), count,
				                 m_reader.left()));
			if (cornerList == p)
				if (const std::string fault = cornerFault(count); !fault.empty())
					fail(where() + " " + fault);
			m_reader.skip(static_cast<uint64_t>(count) * itemBytes);
			values += static_cast<uint64_t>(count);
		}
		countValues(element, values);
	}

	void PlyBodyWalker::countValues(const PlyHeader::Element& element, uint64_t values)
	{
		m_tally.largestRecordValues = std::max(m_tally.largestRecordValues, values);
		if (isKept(element))
			m_tally.keptValues += values;
	}

	void PlyBodyWalker::fail(const std::string& what) const
	{
		throw std::runtime_error("Cannot read the PLY file '" + m_path + "': " + what);
	}
}
