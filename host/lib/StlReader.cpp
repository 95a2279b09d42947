#include "host/lib/StlReader.h"

#include <cstring>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string_view>

#include <fmt/format.h>

#include "host/core/Platform.h"
#include "host/lib/LineWords.h"
#include "host/lib/SequentialFileReader.h"
#include "host/lib/TextNumbers.h"
#include "host/lib/VertexJoiner.h"

namespace Quorvale
{
	namespace
	{
		/// Bytes that building takes per facet, besides those of reading the file (which are
		/// measured): its triangle; room for its three corners as vertices, the joiner's table and
		/// the copy of the vertices kept; then, the room freed, the mesh's three vertices at most.
		constexpr double kBytesPerVertex = 24;

		bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

				/// The words of a text file, line by line; a line's bytes are checked when it is read.
		class TextWords
		{
		public:
			/// Counts the lines read in `line`. `onControl` is called with the offset and value of a
			/// control byte, and must throw.
			TextWords(SequentialFileReader& reader, uint64_t& line, std::function<void(uint64_t, char)> onControl)
			    : m_reader(reader)
			    , m_lineNumber(line)
			    , m_onControl(std::move(onControl))
			{
			}

			/// The next word; empty at the end of the file.
			std::string_view next()
			{
				for (;;)
				{
					while (m_at < m_line.size() && isSpace(m_line[m_at]))
						++m_at;
					if (m_at < m_line.size())
						break;
					if (!nextLine())
						return {};
				}
				const size_t start = m_at;
				while (m_at < m_line.size() && !isSpace(m_line[m_at]))
					++m_at;
				return m_line.substr(start, m_at - start);
			}

			/// Skips the rest of the current line.
			void skipLine() { m_at = m_line.size(); }

			bool atEnd()
			{
				const std::string_view word = next();
				m_at -= word.size();
				return word.empty();
			}

		private:
			bool nextLine()
			{
				const uint64_t start = m_reader.position();
				if (!m_reader.nextLine(m_line))
					return false;
				++m_lineNumber;
				m_at = 0;
				for (size_t i = 0; i < m_line.size(); ++i)
					if (LineWords::isControl(m_line[i]) && m_line[i] != '\r')
						m_onControl(start + i, m_line[i]);
				return true;
			}

			SequentialFileReader& m_reader;
			uint64_t& m_lineNumber;
			std::function<void(uint64_t, char)> m_onControl;
			std::string_view m_line;
			size_t m_at = 0;
		};

		/// True when the file starts as a text file does, judged by its first bytes, `header`.
		bool startsAsText(const char (&header)[84], uint64_t size)
		{
			const std::string_view start(header, std::min<uint64_t>(size, sizeof(header)));
			const size_t first = start.find_first_not_of(" \t");
			return first != std::string_view::npos && start.substr(first, 5) == "solid";
		}
	}

	StlReader::StlReader(const std::string& path)
	    : m_path(path)
	{
		std::ifstream in(Platform::widen(path), std::ios::binary | std::ios::ate);
		if (!in)
			fail("it cannot be opened");
		m_size = static_cast<uint64_t>(std::streamoff(in.tellg()));
		in.seekg(0);
		in.read(m_header, sizeof(m_header)); // a shorter file leaves the rest zero
		uint32_t declared = 0;
		std::memcpy(&declared, m_header + 80, sizeof(declared));
		m_binary = m_size >= sizeof(m_header) && 84 + 50 * uint64_t(declared) == m_size;
		if (m_binary)
			m_facets = declared;
		else if (!startsAsText(m_header, m_size))
			fail("it does not start with 'solid' as a text STL file does, and " + binaryFault());
	}

	std::string StlReader::binaryFault() const
	{
		if (m_size < 84)
			return fmt::format("a binary STL file takes at least 84 bytes, the file has {}", m_size);
		uint32_t facets = 0;
		std::memcpy(&facets, m_header + 80, sizeof(facets));
		return fmt::format("as a binary STL file, its header declares {} facets, which take {} bytes, but the file has {}", facets,
		                   84 + 50 * uint64_t(facets), m_size);
	}

	MeshFileCheck StlReader::check()
	{
		m_out = nullptr;
		m_readerBytes = SequentialFileReader::kBufferBytes;
		if (!m_binary)
			walkText();
		m_planned = m_facets;
		const auto facets = static_cast<double>(m_facets);
		const auto lines = static_cast<double>(m_readerBytes);
		const double reading =
		    lines + MeshFileCheck::kMeshBytesPerTriangle * facets + 2 * kBytesPerVertex * 3 * facets + VertexJoiner::tableBytes(3 * facets);
		const double mesh = MeshFileCheck::kMeshBytesPerTriangle * facets + MeshFileCheck::kMeshBytesPerVertex * 3 * facets;
		return {MeshFileCheck::counted(m_facets, "facet", "facets"), std::max(reading, mesh), 3 * m_facets, m_facets};
	}

	MeshFileContents StlReader::read()
	{
		MeshFileContents contents;
		m_out = &contents;
		contents.vertices.reserve(3 * m_planned);
		contents.triangles.reserve(m_planned);
		{
			VertexJoiner joiner(contents.vertices, 3 * m_planned);
			m_joiner = &joiner;
			if (m_binary)
				readBinary();
			else
				walkText();
			m_joiner = nullptr;
		}
		if (m_facets != m_planned)
			fail("the file changed while it was read");
		// The room made for a vertex per corner goes.
		if (contents.vertices.size() < contents.vertices.capacity())
			std::vector<Eigen::Vector3d>(contents.vertices.begin(), contents.vertices.end()).swap(contents.vertices);
		m_out = nullptr;
		return contents;
	}

	void StlReader::readBinary()
	{
		SequentialFileReader reader(m_path, 84);
		m_facets = 0;
		char facet[50];
		for (uint64_t f = 0; f < m_planned; ++f)
		{
			if (!reader.read(facet, sizeof(facet)))
				fail("the file changed while it was read");
			std::array<Eigen::Vector3d, 3> corners;
			for (int k = 0; k < 3; ++k)
			{
				float coordinates[3];
				std::memcpy(coordinates, facet + 12 * (k + 1), sizeof(coordinates));
				corners[static_cast<size_t>(k)] = Eigen::Vector3f(coordinates[0], coordinates[1], coordinates[2]).cast<double>();
				checkCorner(corners[static_cast<size_t>(k)], f);
			}
			takeFacet(corners);
		}
	}

	void StlReader::walkText()
	{
		SequentialFileReader reader(m_path, 0);
		m_facets = 0;
		m_line = 0;
		TextWords words(reader, m_line,
		                [this](uint64_t offset, char c)
		                {
			                if (m_size >= 84)
				                fail(fmt::format("it starts with 'solid' as a text STL file does, but holds the byte {:#04x} at offset {}, and {}",
				                                 static_cast<unsigned char>(c), offset, binaryFault()));
			                fail(fmt::format("it holds the control character {:#04x}", static_cast<unsigned char>(c)));
		                });
		const auto expect = [&](std::string_view word)
		{
			const std::string_view found = words.next();
			if (found != word)
				fail(fmt::format("'{}' expected, found '{}'", word, TextNumbers::excerpt(found)));
		};
		const auto number = [&]
		{
			const std::string_view found = words.next();
			const auto value = TextNumbers::decimal(found);
			if (!value)
				fail(fmt::format("a number expected, found '{}'", TextNumbers::excerpt(found)));
			return *value;
		};
		do
		{
			expect("solid");
			words.skipLine(); // the name
			for (;;)
			{
				const std::string_view word = words.next();
				if (word.empty())
					fail("the file ends before 'endsolid'");
				if (word.substr(0, 8) == "endsolid")
				{
					words.skipLine();
					break;
				}
				if (word != "facet")
					fail(fmt::format("'facet' or 'endsolid' expected, found '{}'", TextNumbers::excerpt(word)));
				expect("normal");
				for (int k = 0; k < 3; ++k)
					number();
				expect("outer");
				expect("loop");
				std::array<Eigen::Vector3d, 3> corners;
				for (Eigen::Vector3d& corner : corners)
				{
					expect("vertex");
					for (int k = 0; k < 3; ++k)
						corner[k] = number();
					checkCorner(corner, m_facets);
				}
				expect("endloop");
				expect("endfacet");
				takeFacet(corners);
			}
		} while (!words.atEnd());
		m_line = 0;
		m_readerBytes = reader.memoryBytes();
	}

	void StlReader::checkCorner(const Eigen::Vector3d& p, uint64_t facet) const
	{
		if (const std::string fault = MeshFileContents::placeFault(p); !fault.empty())
			fail(fmt::format("facet {} has a corner that {}", facet, fault));
	}

	void StlReader::takeFacet(const std::array<Eigen::Vector3d, 3>& corners)
	{
		++m_facets;
		if (!m_out)
			return;
		if (m_facets > m_planned)
			fail("the file changed while it was read");
		Eigen::Vector3i triangle;
		for (int k = 0; k < 3; ++k)
			triangle[k] = static_cast<int>(m_joiner->join(corners[static_cast<size_t>(k)]));
		m_out->triangles.push_back(triangle);
	}

	void StlReader::fail(const std::string& what) const
	{
		if (m_line > 0)
			throw std::runtime_error(fmt::format("Cannot read the STL file '{}': line {}: {}", m_path, m_line, what));
		throw std::runtime_error("Cannot read the STL file '" + m_path + "': " + what);
	}
}
