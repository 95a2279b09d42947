#include "host/lib/ObjIo.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string_view>

#include <fmt/format.h>

#include "host/lib/LineWords.h"
#include "host/lib/SequentialFileReader.h"
#include "host/lib/TextNumbers.h"

namespace Quorvale::ObjIo
{
	namespace
	{
		/// Bytes that reading takes (measured with Assimp 5.2): per vertex, texture coordinate or
		/// normal read; per corner of a face (a vertex of its own until the corners are joined);
		/// per face and per triangle made; per distinct vertex joined; per object or group.
		constexpr double kBytesPerEntry = 60;
		constexpr double kBytesPerCorner = 48;
		constexpr double kBytesPerCornerAttributes = 24;
		constexpr double kBytesPerFace = 136;
		constexpr double kBytesPerTriangle = 68;
		constexpr double kBytesPerJoinedVertex = 500;
		constexpr double kBytesPerObject = 4096;

		/// What an index names.
		enum Kind
		{
			Position,
			TextureCoordinate,
			Normal
		};
		constexpr std::array<const char*, 3> kNouns = {"vertex", "texture coordinate", "normal"};
		/// The counts of numbers that the line of each kind takes, as bits, and as messages say them.
		constexpr std::array<unsigned, 3> kNumberCounts = {1u << 3 | 1u << 4 | 1u << 6, 1u << 2 | 1u << 3, 1u << 3};
		constexpr std::array<const char*, 3> kNumberCountsSaid = {"3, 4 or 6", "2 or 3", "3"};

		/// Checks the lines of one file and counts what they hold.
		class Checker
		{
		public:
			explicit Checker(const std::string& path)
			    : m_path(path)
			{
			}

			/// Checks every line `reader` gives.
			void checkLines(SequentialFileReader& reader);
			/// Checks that every index names what the file holds; gives the counts.
			MeshFileCheck finish() const;

		private:
			/// One line (continuations joined), which starts on line `number` of the file.
			void check(std::string_view line, uint64_t number);
			void checkNumbers(LineWords& words, std::string_view keyword, Kind kind);
			void checkCorners(LineWords& words, std::string_view keyword);
			void checkIndex(std::string_view word, Kind kind);
			[[noreturn]] void fail(const std::string& what) const
			{
				throw std::runtime_error(fmt::format("Cannot read the OBJ file '{}': line {}: {}", m_path, m_line, what));
			}

			const std::string& m_path;
			uint64_t m_line = 0;
			std::array<uint64_t, 3> m_defined = {};
			std::array<uint64_t, 3> m_highest = {}; ///< the highest index counted from 1
			std::array<uint64_t, 3> m_highestLine = {};
			uint64_t m_faces = 0;
			uint64_t m_corners = 0;
			uint64_t m_triangles = 0;
			uint64_t m_objects = 1;
			bool m_cornerAttributes = false;
		};

		void Checker::checkLines(SequentialFileReader& reader)
		{
			std::string joined;
			uint64_t number = 0;
			uint64_t start = 1;
			std::string_view text;
			while (reader.nextLine(text))
				// A lone carriage return ends a line too.
				for (size_t from = 0;;)
				{
					const size_t end = std::min(text.find('\r', from), text.size());
					const std::string_view line = text.substr(from, end - from);
					++number;
					start = joined.empty() ? number : start;
					const bool continued = !line.empty() && line.back() == '\\';
					if (continued && end != text.size())
					{
						m_line = number;
						fail("a backslash joins the next line only before \"\\n\" or \"\\r\\n\", not before \"\\r\" alone");
					}
					if (continued)
						joined.append(line.substr(0, line.size() - 1)).push_back(' ');
					else if (joined.empty())
						check(line, start);
					else
					{
						check(joined.append(line), start);
						joined.clear();
					}
					if (end == text.size())
						break;
					from = end + 1;
				}
			if (!joined.empty())
				check(joined, start);
		}

		void Checker::check(std::string_view line, uint64_t number)
		{
			m_line = number;
			for (const char c : line)
				if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f)
					fail(fmt::format("it holds the control character {:#04x}", static_cast<unsigned char>(c)));
			LineWords words(line);
			const std::string_view keyword = words.next();
			if (!keyword.empty() && (line[0] == ' ' || line[0] == '\t'))
				fail("it starts with white space, before its keyword");
			if (keyword == "v" || keyword == "vt" || keyword == "vn")
			{
				const Kind kind = keyword == "v" ? Position : keyword == "vt" ? TextureCoordinate : Normal;
				++m_defined[kind];
				checkNumbers(words, keyword, kind);
			}
			else if (keyword == "f" || keyword == "l" || keyword == "p")
				checkCorners(words, keyword);
			// Assimp tells these statements by their first letter ("parm" would be read as points).
			else if (!keyword.empty() && std::string_view("vflp").find(keyword[0]) != std::string_view::npos)
				fail(fmt::format("'{}' is not one of the statements v, vt, vn, f, l and p that it starts like",
				                 TextNumbers::excerpt(keyword)));
			else if (keyword == "o" || keyword == "g" || keyword == "usemtl")
				++m_objects;
		}

		void Checker::checkNumbers(LineWords& words, std::string_view keyword, Kind kind)
		{
			size_t count = 0;
			for (std::string_view word = words.next(); !word.empty(); word = words.next(), ++count)
			{
				if (!TextNumbers::isDecimal(word))
					fail(fmt::format("'{}' is not a number", TextNumbers::excerpt(word)));
				// Assimp counts a word as a number by its first character.
				if (word[0] == '.' || ((word[0] == '+' || word[0] == '-') && word.size() > 1 && word[1] == '.'))
					fail(fmt::format("'{}' must have a digit before its decimal point", TextNumbers::excerpt(word)));
			}
			if (count >= 8 || (kNumberCounts[kind] & (1u << count)) == 0)
				fail(fmt::format("'{}' takes {} numbers, the line holds {}", keyword, kNumberCountsSaid[kind], count));
		}

		void Checker::checkCorners(LineWords& words, std::string_view keyword)
		{
			uint64_t corners = 0;
			for (std::string_view word = words.next(); !word.empty(); word = words.next(), ++corners)
			{
				if (keyword == "f" && corners == MeshFileCheck::kMaxFaceCorners)
					fail(fmt::format("the face has more than the {} corners a face may have", MeshFileCheck::kMaxFaceCorners));
				const size_t first = word.find('/');
				const size_t second = first == std::string_view::npos ? first : word.find('/', first + 1);
				if (second != std::string_view::npos && word.find('/', second + 1) != std::string_view::npos)
					fail(fmt::format("'{}' is not a corner (v, v/t, v//n or v/t/n)", TextNumbers::excerpt(word)));
				checkIndex(word.substr(0, first), Position);
				if (first != std::string_view::npos)
					checkIndex(word.substr(first + 1, second == std::string_view::npos ? second : second - first - 1), TextureCoordinate);
				if (second != std::string_view::npos)
					checkIndex(word.substr(second + 1), Normal);
				m_cornerAttributes = m_cornerAttributes || first != std::string_view::npos;
			}
			if (corners == 0)
				fail(fmt::format("'{}' without corners", keyword));
			// Assimp makes no segment of a line of one point, and then fails (keeping what it read).
			if (keyword == "l" && corners == 1)
				fail("'l' with one point, which is no line");
			m_corners += corners;
			// A line of n points is read as n - 1 segments, a set of points as n points.
			m_faces += keyword == "f" ? 1 : keyword == "l" ? corners - 1 : corners;
			m_triangles += keyword == "f" && corners >= 3 ? corners - 2 : 0;
		}

		void Checker::checkIndex(std::string_view word, Kind kind)
		{
			if (word.empty() && kind != Position)
				return;
			const auto index = TextNumbers::integer(word, true);
			if (!index || *index == 0)
				fail(fmt::format("'{}' is not an index of a {}", TextNumbers::excerpt(word), kNouns[kind]));
			if (*index < 0 && static_cast<uint64_t>(-*index) > m_defined[kind])
				fail(fmt::format("{} {} counts back past the first {}", kNouns[kind], *index, kNouns[kind]));
			if (*index > 0 && static_cast<uint64_t>(*index) > m_highest[kind])
			{
				m_highest[kind] = static_cast<uint64_t>(*index);
				m_highestLine[kind] = m_line;
			}
		}

		MeshFileCheck Checker::finish() const
		{
			for (const Kind kind : {Position, TextureCoordinate, Normal})
				if (m_highest[kind] > m_defined[kind])
					throw std::runtime_error(fmt::format("Cannot read the OBJ file '{}': line {}: {} {} is named, the file has {}", m_path,
					                                     m_highestLine[kind], kNouns[kind], m_highest[kind], m_defined[kind]));
			const double entries = static_cast<double>(m_defined[Position] + m_defined[TextureCoordinate] + m_defined[Normal]);
			const double corners = static_cast<double>(m_corners);
			const double bytes = kBytesPerEntry * entries +
			                     (kBytesPerCorner + (m_cornerAttributes ? kBytesPerCornerAttributes : 0)) * corners +
			                     kBytesPerFace * static_cast<double>(m_faces) + kBytesPerTriangle * static_cast<double>(m_triangles) +
			                     kBytesPerJoinedVertex * std::min(static_cast<double>(m_defined[Position]), corners) +
			                     kBytesPerObject * static_cast<double>(m_objects);
			return {MeshFileCheck::counted(m_defined[Position], "vertex", "vertices") + " and " +
			            MeshFileCheck::counted(m_faces, "face", "faces"),
			        bytes};
		}
	}

	MeshFileCheck check(const std::string& path)
	{
		SequentialFileReader reader(path, 0);
		Checker checker(path);
		checker.checkLines(reader);
		return checker.finish();
	}
}
