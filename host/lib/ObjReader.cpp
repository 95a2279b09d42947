#include "host/lib/ObjReader.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <fmt/format.h>

#include "host/lib/LineWords.h"
#include "host/lib/SequentialFileReader.h"
#include "host/lib/TextNumbers.h"
#include "host/lib/VertexJoiner.h"

namespace Quorvale
{
	namespace
	{
		constexpr std::array<const char*, 3> kNouns = {"vertex", "texture coordinate", "normal"};
		constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

		/// Bytes that building takes, besides those of reading the lines (measured) and of the faces
		/// (`FaceTriangles::Counts::bytes`). While the file is read: per vertex its position, a
		/// mark, and its colour when some vertex has one. While the vertices are joined: a number
		/// per vertex, the joiner's table, and per kept vertex its position and colour. Then the
		/// mesh (`MeshFileCheck::kMeshBytesPerVertex` and the others).
		constexpr double kBytesPerPosition = 24 + 1 + 4;
		constexpr double kBytesPerColour = 16;
		constexpr double kBytesPerKeptVertex = 24;
	}

	bool ObjReader::Tally::operator==(const Tally& other) const
	{
		return defined == other.defined && statements == other.statements && corners == other.corners && shapes == other.shapes &&
		       colours == other.colours;
	}

	ObjReader::ObjReader(const std::string& path)
	    : m_path(path)
	{
	}

	MeshFileCheck ObjReader::check()
	{
		m_out = nullptr;
		walk();
		for (const Kind kind : {Position, TextureCoordinate, Normal})
			if (m_highest[kind] > m_tally.defined[kind])
			{
				m_line = m_highestLine[kind];
				fail(fmt::format("{} {} is named, the file has {}", kNouns[kind], m_highest[kind], m_tally.defined[kind]));
			}
		m_planned = m_tally;

		const std::string contents = MeshFileCheck::counted(m_tally.defined[Position], "vertex", "vertices") + " and " +
		                             MeshFileCheck::counted(m_tally.faces, "face", "faces");
		const auto positions = static_cast<double>(m_tally.defined[Position]);
		const auto lines = static_cast<double>(m_readerBytes);
		// A file of vertices alone is its positions.
		if (m_tally.statements == 0)
			return {contents, lines + kBytesPerKeptVertex * positions, m_tally.defined[Position], 0};
		const double kept = std::min(positions, static_cast<double>(m_tally.corners));
		const uint64_t triangles = m_tally.shapes.all();
		const double colours = m_tally.colours && triangles > 0 ? 1 : 0;
		const double reading = lines + positions * (kBytesPerPosition + colours * kBytesPerColour) + m_tally.shapes.bytes() +
		                       VertexJoiner::tableBytes(kept) + kept * (kBytesPerKeptVertex + colours * kBytesPerColour);
		const double mesh = lines + kept * (MeshFileCheck::kMeshBytesPerVertex + colours * MeshFileCheck::kMeshBytesPerColour) +
		                    MeshFileCheck::kMeshBytesPerTriangle * static_cast<double>(triangles);
		// Vertices are numbered as the file lists them until they are joined.
		return {contents, std::max(reading, mesh), m_tally.defined[Position], triangles};
	}

	MeshFileContents ObjReader::read()
	{
		MeshFileContents contents;
		m_out = &contents;
		const bool mesh = m_planned.shapes.all() > 0;
		m_positions.assign(m_planned.defined[Position], Eigen::Vector3d::Zero());
		if (m_planned.colours && mesh)
			m_colours.assign(m_planned.defined[Position], Eigen::Vector4f::Ones());
		if (m_planned.statements > 0)
			m_used.assign(m_planned.defined[Position], 0);
		m_faces.startKeeping(contents.triangles, m_planned.shapes);
		walk();
		if (!(m_tally == m_planned))
			fail("the file changed while it was read");
		joinVertices();
		contents.droppedFaces = m_tally.droppedFaces;
		m_out = nullptr;
		return contents;
	}

	void ObjReader::walk()
	{
		m_tally = {};
		if (!m_out)
			m_faces.startCounting();
		m_highest = {};
		SequentialFileReader reader(m_path, 0);
		std::string joined;
		uint64_t number = 0;
		uint64_t start = 1;
		std::string_view text;
		while (reader.nextLine(text))
		{
			if (number == 0 && text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
				text.remove_prefix(kByteOrderMark.size());
			// A lone carriage return ends a line too.
			for (size_t from = 0;;)
			{
				const size_t end = std::min(text.find('\r', from), text.size());
				const std::string_view line = text.substr(from, end - from);
				++number;
				start = joined.empty() ? number : start;
				if (!line.empty() && line.back() == '\\')
					joined.append(line.substr(0, line.size() - 1)).push_back(' ');
				else if (joined.empty())
					walkLine(line, start);
				else
				{
					walkLine(joined.append(line), start);
					joined.clear();
				}
				if (end == text.size())
					break;
				from = end + 1;
			}
		}
		if (!joined.empty())
			walkLine(joined, start);
		m_readerBytes = reader.memoryBytes() + joined.capacity();
		m_tally.shapes = m_faces.counts();
	}

	void ObjReader::walkLine(std::string_view line, uint64_t number)
	{
		m_line = number;
		for (const char c : line)
			if (LineWords::isControl(c))
				fail(fmt::format("it holds the control character {:#04x}", static_cast<unsigned char>(c)));
		LineWords words(line.substr(0, line.find('#')));
		const std::string_view keyword = words.next();
		if (keyword == "v")
			walkVertex(words);
		else if (keyword == "vt")
			walkNumbers(words, keyword, 1, 3);
		else if (keyword == "vn")
			walkNumbers(words, keyword, 3, 3);
		else if (keyword == "f" || keyword == "l" || keyword == "p")
			walkCorners(words, keyword);
	}

	void ObjReader::walkVertex(LineWords& words)
	{
		double numbers[7] = {};
		size_t count = 0;
		for (std::string_view word = words.next(); !word.empty(); word = words.next(), ++count)
		{
			const auto number = TextNumbers::decimal(word);
			if (!number)
				fail(fmt::format("'{}' is not a number", TextNumbers::excerpt(word)));
			if (count < 7)
				numbers[count] = *number;
		}
		if (count != 3 && count != 4 && count != 6)
			fail(fmt::format("'v' takes 3, 4 or 6 numbers, the line holds {}", count));
		const uint64_t vertex = m_tally.defined[Position]++;
		const Eigen::Vector3d p(numbers[0], numbers[1], numbers[2]);
		if (const std::string fault = MeshFileContents::placeFault(p); !fault.empty())
			fail(fmt::format("vertex {} {}", vertex + 1, fault));
		const Eigen::Vector4f colour(static_cast<float>(numbers[3]), static_cast<float>(numbers[4]), static_cast<float>(numbers[5]), 1.0f);
		if (count == 6 && !colour.allFinite())
			fail(fmt::format("the colour of vertex {} is not finite", vertex + 1));
		m_tally.colours = m_tally.colours || count == 6;
		if (!m_out)
			return;
		if (vertex >= m_positions.size())
			fail("the file changed while it was read");
		m_positions[vertex] = p;
		if (count == 6 && !m_colours.empty())
			m_colours[vertex] = colour;
	}

	void ObjReader::walkNumbers(LineWords& words, std::string_view keyword, size_t fewest, size_t most)
	{
		size_t count = 0;
		for (std::string_view word = words.next(); !word.empty(); word = words.next(), ++count)
			if (!TextNumbers::decimal(word))
				fail(fmt::format("'{}' is not a number", TextNumbers::excerpt(word)));
		if (count < fewest || count > most)
			fail(fewest == most ? fmt::format("'{}' takes {} numbers, the line holds {}", keyword, fewest, count)
			                    : fmt::format("'{}' takes {} to {} numbers, the line holds {}", keyword, fewest, most, count));
		++m_tally.defined[keyword == "vt" ? TextureCoordinate : Normal];
	}

	void ObjReader::walkCorners(LineWords& words, std::string_view keyword)
	{
		const bool face = keyword == "f";
		m_corners.clear();
		uint64_t corners = 0;
		for (std::string_view word = words.next(); !word.empty(); word = words.next(), ++corners)
		{
			if (face && corners == MeshFileCheck::kMaxFaceCorners)
				fail(fmt::format("the face has more than the {} corners a face may have", MeshFileCheck::kMaxFaceCorners));
			const size_t first = word.find('/');
			const size_t second = first == std::string_view::npos ? first : word.find('/', first + 1);
			if (second != std::string_view::npos && word.find('/', second + 1) != std::string_view::npos)
				fail(fmt::format("'{}' is not a corner (v, v/t, v//n or v/t/n)", TextNumbers::excerpt(word)));
			const int64_t vertex = index(word.substr(0, first), Position);
			if (first != std::string_view::npos)
				index(word.substr(first + 1, second == std::string_view::npos ? second : second - first - 1), TextureCoordinate);
			if (second != std::string_view::npos)
				index(word.substr(second + 1), Normal);
			if (face)
				m_corners.push_back(vertex);
			if (m_out)
			{
				if (static_cast<uint64_t>(vertex) >= m_used.size())
					fail("the file changed while it was read");
				m_used[static_cast<size_t>(vertex)] = 1;
			}
		}
		if (corners == 0)
			fail(fmt::format("'{}' without corners", keyword));
		if (keyword == "l" && corners == 1)
			fail("'l' with one point, which is no line");
		++m_tally.statements;
		m_tally.corners += corners;
		// A line of n points is n - 1 segments, a set of points n points.
		const uint64_t faces = face ? 1 : keyword == "l" ? corners - 1 : corners;
		m_tally.faces += faces;
		if (!face || corners < 3)
			m_tally.droppedFaces += faces;
		else if (!m_faces.take(m_corners))
			fail("the file changed while it was read");
	}

	int64_t ObjReader::index(std::string_view word, Kind kind)
	{
		if (word.empty() && kind != Position)
			return -1;
		const auto index = TextNumbers::integer(word, true);
		if (!index || *index == 0)
			fail(fmt::format("'{}' is not an index of a {}", TextNumbers::excerpt(word), kNouns[kind]));
		if (*index < 0 && static_cast<uint64_t>(-*index) > m_tally.defined[kind])
			fail(fmt::format("{} {} counts back past the first {}", kNouns[kind], *index, kNouns[kind]));
		if (*index < 0)
			return static_cast<int64_t>(m_tally.defined[kind]) + *index;
		if (static_cast<uint64_t>(*index) > m_highest[kind])
		{
			m_highest[kind] = static_cast<uint64_t>(*index);
			m_highestLine[kind] = m_line;
		}
		return *index - 1;
	}

	void ObjReader::joinVertices()
	{
		std::vector<Eigen::Vector3i>& triangles = m_out->triangles;
		m_faces.cut(m_positions);

		// A file of vertices alone is a point cloud as it stands.
		if (m_tally.statements == 0)
		{
			m_out->vertices = std::move(m_positions);
			return;
		}
		const auto kept = static_cast<size_t>(std::count(m_used.begin(), m_used.end(), 1));
		std::vector<uint32_t> numbers(m_positions.size());
		{
			m_out->vertices.reserve(kept);
			if (!m_colours.empty())
				m_out->colours.reserve(kept);
			VertexJoiner joiner(m_out->vertices, kept);
			for (size_t v = 0; v < m_positions.size(); ++v)
			{
				if (!m_used[v])
					continue;
				const size_t before = m_out->vertices.size();
				numbers[v] = joiner.join(m_positions[v]);
				if (!m_colours.empty() && m_out->vertices.size() > before)
					m_out->colours.push_back(m_colours[v]);
			}
		}
		std::vector<Eigen::Vector3d>().swap(m_positions);
		std::vector<Eigen::Vector4f>().swap(m_colours);
		std::vector<char>().swap(m_used);
		for (Eigen::Vector3i& triangle : triangles)
			for (int k = 0; k < 3; ++k)
				triangle[k] = static_cast<int>(numbers[static_cast<size_t>(triangle[k])]);
	}

	void ObjReader::fail(const std::string& what) const
	{
		throw std::runtime_error(fmt::format("Cannot read the OBJ file '{}': line {}: {}", m_path, m_line, what));
	}
}
