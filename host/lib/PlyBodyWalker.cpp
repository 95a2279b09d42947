#include "host/lib/PlyBodyWalker.h"

#include <algorithm>
#include <cmath>
#include <cstring>
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

		/// A colour channel of `type` in [0, 1]: integers scaled from their type's range, floats as they are.
		double channel(double value, Scalar type)
		{
			if (!PlyHeader::isInteger(type))
				return value;
			const auto low = static_cast<double>(smallest(type));
			return (value - low) / (static_cast<double>(largest(type)) - low);
		}

		/// An empty line, or one of spaces and tabs only.
		bool isBlankLine(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

		/// Why `token` is not a value of `type`; empty when it is one, then in `value`. A float is
		/// what the file's binary form would hold: rounded to single precision.
		std::string asciiValueFault(std::string_view token, Scalar type, double& value)
		{
			if (!PlyHeader::isInteger(type))
			{
				const auto number = TextNumbers::decimal(token);
				if (!number)
					return fmt::format("'{}' is not a number", TextNumbers::excerpt(token));
				value = type == Scalar::Float ? static_cast<double>(static_cast<float>(*number)) : *number;
				return {};
			}
			const auto number = TextNumbers::integer(token, PlyHeader::isSigned(type));
			if (number && *number >= smallest(type) && *number <= largest(type))
			{
				value = static_cast<double>(*number);
				return {};
			}
			return fmt::format("'{}' is not of type {} (an integer from {} to {})", TextNumbers::excerpt(token), PlyHeader::nameOf(type),
			                   smallest(type), largest(type));
		}
	}

	PlyBodyWalker::PlyBodyWalker(const PlyHeader& header, const std::string& path)
	    : m_header(header)
	    , m_path(path)
	{
		for (const PlyHeader::Element& element : header.elements)
			m_layouts.push_back(layoutOf(element));
	}

	PlyBodyWalker::Layout PlyBodyWalker::layoutOf(const PlyHeader::Element& element)
	{
		Layout layout;
		layout.role = element.name == "vertex" ? Layout::Vertex : element.name == "face" ? Layout::Face : Layout::Other;
		layout.cornerList = PlyHeader::cornerList(element);
		layout.fixedSize = std::none_of(element.properties.begin(), element.properties.end(), [](const auto& p) { return p.countType; });
		std::vector<int>& slots = layout.slots;
		slots.assign(element.properties.size(), None);
		if (layout.role != Layout::Vertex)
			return layout;
		// The first property of each name takes the slot.
		static const std::vector<std::pair<const char*, int>> names = {{"x", X},         {"y", X + 1},        {"z", X + 2},
		                                                               {"red", Red},     {"green", Red + 1},  {"blue", Red + 2},
		                                                               {"alpha", Alpha}, {"r", Red},          {"g", Red + 1},
		                                                               {"b", Red + 2},   {"a", Alpha}};
		std::array<bool, SlotCount> taken = {};
		for (size_t p = 0; p < element.properties.size(); ++p)
			for (const auto& [name, slot] : names)
				if (!element.properties[p].countType && element.properties[p].name == name && !taken[static_cast<size_t>(slot)])
				{
					slots[p] = slot;
					taken[static_cast<size_t>(slot)] = true;
				}
		return layout;
	}

	bool PlyBodyWalker::hasColours() const
	{
		for (const Layout& layout : m_layouts)
			for (const int slot : layout.slots)
				if (slot >= Red)
					return true;
		return false;
	}

	PlyBodyWalker::Tally PlyBodyWalker::walk()
	{
		m_out = nullptr;
		m_faces.startCounting();
		walkBody();
		return m_tally;
	}

	void PlyBodyWalker::read(const Tally& tally, bool withColours, MeshFileContents& contents)
	{
		m_out = &contents;
		m_withColours = withColours && hasColours();
		contents.vertices.assign(m_header.vertexCount(), Eigen::Vector3d::Zero());
		if (m_withColours)
			contents.colours.assign(m_header.vertexCount(), Eigen::Vector4f::Ones());
		m_faces.startKeeping(contents.triangles, tally.shapes);
		walkBody();
		if (!(m_tally.shapes == tally.shapes) || m_tally.droppedFaces != tally.droppedFaces)
			fail("the file changed while it was read");
		m_faces.cut(contents.vertices);
		contents.droppedFaces = m_tally.droppedFaces;
		m_out = nullptr;
	}

	void PlyBodyWalker::walkBody()
	{
		m_tally = {};
		m_reader.emplace(m_path, m_header.size);
		if (m_header.format == PlyHeader::Format::Ascii)
			walkAscii();
		else
			walkBinary();
		m_tally.shapes = m_faces.counts();
		m_tally.readerBytes = m_reader->memoryBytes();
		m_reader.reset();
	}

	void PlyBodyWalker::walkAscii()
	{
		m_line = m_header.lines;
		m_recordLines = 0;
		std::string_view line;
		for (size_t e = 0; e < m_header.elements.size(); ++e)
		{
			const PlyHeader::Element& element = m_header.elements[e];
			for (uint64_t record = 0; record < element.count; ++record)
			{
				if (!m_reader->nextLine(line))
					failAscii(fmt::format("the file ends before {} {} of {}", element.name, record, element.count));
				++m_line;
				const bool blank = isBlankLine(line);
				m_recordLines += blank ? 0 : 1;
				// A cut in the last value of a record could leave another value.
				if (!m_reader->lineEnded())
					failAscii(fmt::format("the file ends inside line {} ({} {}), before its line break", m_line, element.name, record));
				const std::string fault = blank ? fmt::format("the line is empty where {} {} should be", element.name, record)
				                                : asciiRecordFault(e, record, line);
				if (!fault.empty())
					failAscii(fmt::format("line {}: {}", m_line, fault));
			}
		}
		while (m_reader->nextLine(line))
		{
			++m_line;
			if (!isBlankLine(line))
			{
				++m_recordLines;
				failAscii(fmt::format("line {} follows the last record that the header declares", m_line));
			}
		}
	}

	std::string PlyBodyWalker::asciiRecordFault(size_t e, uint64_t record, std::string_view line)
	{
		const PlyHeader::Element& element = m_header.elements[e];
		const auto subject = [&] { return fmt::format("{} {}", element.name, record); };
		LineWords tokens(line);
		startRecord();
		for (size_t p = 0; p < element.properties.size(); ++p)
		{
			const PlyHeader::Property& property = element.properties[p];
			const std::string_view first = tokens.next();
			if (first.empty())
				return fmt::format("{} ends before its property '{}'", subject(), property.name);
			double value = 0;
			std::string fault = asciiValueFault(first, property.countType.value_or(property.type), value);
			if (!fault.empty())
				return fmt::format("property '{}' of {}: {}", property.name, subject(), fault);
			if (!property.countType)
			{
				if (const int slot = m_layouts[e].slots[p]; slot != None)
					gather(slot, value, property.type);
				continue;
			}
			const auto count = static_cast<int64_t>(value);
			if (count < 0)
				return fmt::format("the list '{}' of {} declares {} values", property.name, subject(), count);
			const bool corners = m_layouts[e].cornerList == p;
			if (corners && !(fault = cornerFault(count)).empty())
				return subject() + " " + fault;
			for (int64_t i = 0; i < count; ++i)
			{
				const std::string_view token = tokens.next();
				if (token.empty())
					return fmt::format("the list '{}' of {} declares {} values, the line holds {}", property.name, subject(), count, i);
				if (!(fault = asciiValueFault(token, property.type, value)).empty())
					return fmt::format("property '{}' of {}: {}", property.name, subject(), fault);
				if (corners)
					m_corners.push_back(static_cast<int64_t>(value));
			}
		}
		if (!tokens.next().empty())
			return fmt::format("{} holds more values than its properties take", subject());
		take(e, record);
		return {};
	}

	void PlyBodyWalker::failAscii(const std::string& fault)
	{
		uint64_t declared = 0;
		for (const PlyHeader::Element& element : m_header.elements)
			declared = element.count > UINT64_MAX - declared ? UINT64_MAX : declared + element.count;
		std::string_view line;
		while (m_reader->nextLine(line))
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
		return {};
	}

	void PlyBodyWalker::walkBinary()
	{
		for (size_t e = 0; e < m_header.elements.size(); ++e)
			walkBinaryRecords(e);
		if (m_reader->left() > 0)
			fail(fmt::format("{} bytes follow the last record that the header declares", m_reader->left()));
	}

	void PlyBodyWalker::walkBinaryRecords(size_t e)
	{
		const PlyHeader::Element& element = m_header.elements[e];
		const Layout& layout = m_layouts[e];
		const bool needed = layout.role == Layout::Face || (layout.role == Layout::Vertex && m_out);
		if (needed && layout.fixedSize)
		{
			m_record.resize(element.minimumRecordBytes);
			for (uint64_t record = 0; record < element.count; ++record)
				walkFixedRecord(e, record);
			return;
		}
		if (needed || !layout.fixedSize)
		{
			for (uint64_t record = 0; record < element.count; ++record)
				walkBinaryRecord(e, record);
			return;
		}
		uint64_t bytes = 0;
		if (__builtin_mul_overflow(element.count, element.minimumRecordBytes, &bytes) || !m_reader->skip(bytes))
			fail(fmt::format("the file ends inside {} {} of {}", element.name, m_reader->left() / element.minimumRecordBytes,
			                 element.count));
	}

	void PlyBodyWalker::walkBinaryRecord(size_t e, uint64_t record)
	{
		const PlyHeader::Element& element = m_header.elements[e];
		const auto where = [&] { return fmt::format("{} {} of {}", element.name, record, element.count); };
		startRecord();
		unsigned char bytes[8] = {};
		for (size_t p = 0; p < element.properties.size(); ++p)
		{
			const PlyHeader::Property& property = element.properties[p];
			if (!property.countType)
			{
				const int slot = m_layouts[e].slots[p];
				if (slot == None ? !m_reader->skip(PlyHeader::bytesOf(property.type))
				                 : !m_reader->read(bytes, PlyHeader::bytesOf(property.type)))
					fail("the file ends inside " + where());
				if (slot != None)
					gather(slot, decode(bytes, property.type), property.type);
				continue;
			}
			if (!m_reader->read(bytes, PlyHeader::bytesOf(*property.countType)))
				fail("the file ends inside " + where());
			const auto count = static_cast<int64_t>(decode(bytes, *property.countType));
			const uint64_t itemBytes = PlyHeader::bytesOf(property.type);
			if (count < 0 || static_cast<uint64_t>(count) > m_reader->left() / itemBytes)
				fail(fmt::format("the list '{}' of {} declares {} values, the file holds {} more bytes", property.name, where(), count,
				                 m_reader->left()));
			if (m_layouts[e].cornerList != p)
			{
				m_reader->skip(static_cast<uint64_t>(count) * itemBytes);
				continue;
			}
			if (const std::string fault = cornerFault(count); !fault.empty())
				fail(where() + " " + fault);
			m_record.resize(static_cast<size_t>(count) * itemBytes);
			m_reader->read(m_record.data(), m_record.size());
			for (int64_t i = 0; i < count; ++i)
				m_corners.push_back(static_cast<int64_t>(decode(m_record.data() + static_cast<size_t>(i) * itemBytes, property.type)));
		}
		take(e, record);
	}

	void PlyBodyWalker::walkFixedRecord(size_t e, uint64_t record)
	{
		const PlyHeader::Element& element = m_header.elements[e];
		if (!m_reader->read(m_record.data(), m_record.size()))
			fail(fmt::format("the file ends inside {} {} of {}", element.name, record, element.count));
		startRecord();
		const std::vector<int>& slots = m_layouts[e].slots;
		size_t at = 0;
		for (size_t p = 0; p < element.properties.size(); ++p)
		{
			const Scalar type = element.properties[p].type;
			if (const int slot = slots[p]; slot != None)
				gather(slot, decode(m_record.data() + at, type), type);
			at += PlyHeader::bytesOf(type);
		}
		take(e, record);
	}

	double PlyBodyWalker::decode(const unsigned char* bytes, Scalar type) const
	{
		const bool swap = m_header.format == PlyHeader::Format::BinaryBigEndian;
		const auto load = [&](auto value)
		{
			std::memcpy(&value, bytes, sizeof(value));
			if (swap)
			{
				auto* raw = reinterpret_cast<unsigned char*>(&value);
				std::reverse(raw, raw + sizeof(value));
			}
			return value;
		};
		switch (type)
		{
			case Scalar::Char: return load(int8_t());
			case Scalar::UChar: return load(uint8_t());
			case Scalar::Short: return load(int16_t());
			case Scalar::UShort: return load(uint16_t());
			case Scalar::Int: return load(int32_t());
			case Scalar::UInt: return load(uint32_t());
			case Scalar::Float: return static_cast<double>(load(float()));
			case Scalar::Double: return load(double());
		}
		return 0;
	}

	void PlyBodyWalker::startRecord()
	{
		m_values = {0, 0, 0, 0, 0, 0, 1};
		m_corners.clear();
	}

	void PlyBodyWalker::gather(int slot, double value, Scalar type)
	{
		m_values[static_cast<size_t>(slot)] = slot >= Red ? channel(value, type) : value;
	}

	void PlyBodyWalker::take(size_t e, uint64_t record)
	{
		if (m_layouts[e].role == Layout::Vertex)
			takeVertex(record);
		else if (m_layouts[e].role == Layout::Face)
			takeFace(record);
	}

	void PlyBodyWalker::takeVertex(uint64_t record)
	{
		const Eigen::Vector3d p(m_values[X], m_values[X + 1], m_values[X + 2]);
		if (const std::string fault = MeshFileContents::placeFault(p); !fault.empty())
			fail(fmt::format("vertex {} {}", record, fault));
		if (!m_out)
			return;
		m_out->vertices[record] = p;
		if (!m_withColours)
			return;
		const Eigen::Vector4f colour(static_cast<float>(m_values[Red]), static_cast<float>(m_values[Red + 1]),
		                             static_cast<float>(m_values[Red + 2]), static_cast<float>(m_values[Alpha]));
		if (!colour.allFinite())
			fail(fmt::format("the colour of vertex {} is not finite", record));
		m_out->colours[record] = colour;
	}

	void PlyBodyWalker::takeFace(uint64_t record)
	{
		const uint64_t vertices = m_header.vertexCount();
		for (const int64_t corner : m_corners)
			if (corner < 0 || static_cast<uint64_t>(corner) >= vertices)
				fail(fmt::format("face {} refers to vertex {}, there are {}", record, corner, vertices));
		if (m_corners.size() < 3)
			++m_tally.droppedFaces;
		else if (!m_faces.take(m_corners))
			fail("the file changed while it was read");
	}

	void PlyBodyWalker::fail(const std::string& what) const
	{
		throw std::runtime_error("Cannot read the PLY file '" + m_path + "': " + what);
	}
}
