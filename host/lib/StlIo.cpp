#include "host/lib/StlIo.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "host/core/MemoryLimit.h"
#include "host/core/Platform.h"
#include "host/lib/SequentialFileReader.h"
#include "host/lib/TextNumbers.h"

namespace Quorvale::StlIo
{
	namespace
	{
		/// The longest solid name Assimp takes is 1023 characters.
		constexpr size_t kMaxNameLength = 1000;
		/// Bytes that reading takes per facet and per distinct corner (measured with Assimp 5.2):
		/// the file's bytes, three corners with normals, a face, then the joining of the corners.
		constexpr double kBytesPerFacet = 315;
		constexpr double kBytesPerCorner = 562;

		/// A corner as the bits of its three float coordinates.
		using Corner = std::array<uint32_t, 3>;

		bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

		bool startsWith(std::string_view word, std::string_view start) { return word.substr(0, start.size()) == start; }

		using TextNumbers::excerpt;

		[[noreturn]] void fail(const std::string& path, const std::string& what)
		{
			throw std::runtime_error("Cannot read the STL file '" + path + "': " + what);
		}

		/// Assimp ends the text at a zero byte and a line at a form feed.
		bool isControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

		Corner cornerOf(const float (&coordinates)[3])
		{
			Corner corner;
			std::memcpy(corner.data(), coordinates, sizeof(coordinates));
			return corner;
		}

		uint64_t countDistinct(std::vector<Corner>& corners)
		{
			std::sort(corners.begin(), corners.end());
			return static_cast<uint64_t>(std::unique(corners.begin(), corners.end()) - corners.begin());
		}

		/// The words of a text STL file and the line each is on.
		class Words
		{
		public:
			Words(const std::string& text, const std::string& path)
			    : m_text(text)
			    , m_path(path)
			{
			}

			/// The next word; empty at the end of the file.
			std::string_view next()
			{
				skipSpace();
				const size_t start = m_at;
				while (m_at < m_text.size() && !isSpace(m_text[m_at]))
					checkByte(m_text[m_at++]);
				return m_text.substr(start, m_at - start);
			}

			/// The words up to the end of the current line.
			std::vector<std::string_view> restOfLine()
			{
				std::vector<std::string_view> words;
				for (;;)
				{
					while (m_at < m_text.size() && m_text[m_at] != '\n' && isSpace(m_text[m_at]))
						++m_at;
					if (m_at == m_text.size() || m_text[m_at] == '\n')
						return words;
					words.push_back(next());
				}
			}

			bool atEnd()
			{
				skipSpace();
				return m_at == m_text.size();
			}

			void expect(std::string_view word)
			{
				const std::string_view found = next();
				if (found != word)
					fail(fmt::format("'{}' expected, found '{}'", word, excerpt(found)));
			}

			/// `word` on the line of the word before: Assimp skips only spaces and tabs there.
			void expectOnLine(std::string_view word)
			{
				skipBlanksOnLine(word);
				expect(word);
			}

			/// A number on the line of the word before.
			std::string_view expectNumber()
			{
				skipBlanksOnLine("a number");
				const std::string_view found = next();
				if (!TextNumbers::isDecimal(found))
					fail(fmt::format("a number expected, found '{}'", excerpt(found)));
				return found;
			}

			[[noreturn]] void fail(const std::string& what) const
			{
				throw std::runtime_error(fmt::format("Cannot read the STL file '{}': {} (line {})", m_path, what, m_line));
			}

		private:
			void skipBlanksOnLine(std::string_view expected)
			{
				while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\t'))
					++m_at;
				if (m_at == m_text.size() || m_text[m_at] == '\r' || m_text[m_at] == '\n')
					fail(fmt::format("{} expected on the same line", word(expected)));
			}

			static std::string word(std::string_view expected)
			{
				return expected == "a number" ? std::string(expected) : fmt::format("'{}'", expected);
			}

			void skipSpace()
			{
				for (; m_at < m_text.size() && isSpace(m_text[m_at]); ++m_at)
					m_line += m_text[m_at] == '\n' ? 1 : 0;
			}

			void checkByte(char c) const
			{
				if (isControl(c))
					fail(fmt::format("it holds the control character {:#04x}", static_cast<unsigned char>(c)));
			}

			std::string_view m_text;
			const std::string& m_path;
			size_t m_at = 0;
			size_t m_line = 1;
		};

		/// One facet after its word "facet"; its corners go to `corners` when given.
		void checkFacet(Words& words, std::vector<Corner>* corners)
		{
			words.expectOnLine("normal");
			for (int k = 0; k < 3; ++k)
				words.expectNumber();
			words.expect("outer");
			words.expect("loop");
			for (int corner = 0; corner < 3; ++corner)
			{
				words.expect("vertex");
				// The numbers are converted only when the corners are counted.
				float coordinates[3];
				for (float& coordinate : coordinates)
				{
					const std::string_view number = words.expectNumber();
					coordinate = corners ? std::strtof(std::string(number).c_str(), nullptr) : 0.0f;
				}
				if (corners)
					corners->push_back(cornerOf(coordinates));
			}
			words.expect("endloop");
			words.expect("endfacet");
		}

		/// One solid after its word "solid". Assimp reads the words after the name as it reads the
		/// facets, so none of them may be one of its keywords.
		uint64_t checkSolid(Words& words, std::vector<Corner>* corners)
		{
			const std::vector<std::string_view> name = words.restOfLine();
			if (!name.empty() && name.front().size() > kMaxNameLength)
				words.fail(fmt::format("the solid's name is longer than {} characters", kMaxNameLength));
			for (const std::string_view word : name)
				if (word == "facet" || word == "vertex" || startsWith(word, "endsolid"))
					words.fail(fmt::format("the solid's name holds the word '{}'", excerpt(word)));
			for (uint64_t facets = 0;; ++facets)
			{
				const std::string_view word = words.next();
				if (word.empty())
					words.fail("the file ends before 'endsolid'");
				if (startsWith(word, "endsolid"))
				{
					words.restOfLine();
					return facets;
				}
				if (word != "facet")
					words.fail(fmt::format("'facet' or 'endsolid' expected, found '{}'", excerpt(word)));
				checkFacet(words, corners);
			}
		}

		/// Checks every solid of a text file; gives their facets, and their corners to `corners` when given.
		uint64_t walkText(const std::string& bytes, const std::string& path, std::vector<Corner>* corners)
		{
			Words words(bytes, path);
			uint64_t facets = 0;
			do
			{
				words.expect("solid");
				facets += checkSolid(words, corners);
			} while (!words.atEnd());
			return facets;
		}

		/// The facets the binary header `header` declares.
		uint32_t declaredFacets(const char (&header)[84])
		{
			uint32_t facets = 0;
			std::memcpy(&facets, header + 80, sizeof(facets));
			return facets;
		}

		/// True when Assimp takes the file as binary: the facet count in its first 84 bytes gives
		/// its size (in Assimp's 32-bit arithmetic).
		bool isBinary(const char (&header)[84], uint64_t size)
		{
			return static_cast<uint32_t>(declaredFacets(header) * 50u + 84u) == static_cast<uint32_t>(size);
		}

		/// What a file that is not text is as a binary file.
		std::string binaryFault(const char (&header)[84], uint64_t size)
		{
			if (size < 84)
				return fmt::format("a binary STL file takes at least 84 bytes, the file has {}", size);
			const uint64_t facets = declaredFacets(header);
			return fmt::format("as a binary STL file, its header declares {} facets, which take {} bytes, but the file has {}", facets,
			                   84 + 50 * facets, size);
		}

		/// The distinct corners of the binary file at `path`, which holds `facets` facets.
		uint64_t binaryCorners(const std::string& path, uint64_t facets)
		{
			SequentialFileReader reader(path, 84);
			std::vector<Corner> corners;
			corners.reserve(3 * facets);
			char facet[50];
			while (reader.read(facet, sizeof(facet)))
				for (int k = 0; k < 3; ++k)
				{
					float coordinates[3];
					std::memcpy(coordinates, facet + 12 * (k + 1), sizeof(coordinates));
					corners.push_back(cornerOf(coordinates));
				}
			return countDistinct(corners);
		}

		/// Reading's memory. The corners are counted by `countCorners` (in memory, as floats) only
		/// when the most they could take would not fit and counting them would.
		double estimatedBytes(uint64_t facets, double textBytes, const std::function<uint64_t()>& countCorners)
		{
			const double limit = static_cast<double>(MemoryLimit::bytes());
			const double least = textBytes + kBytesPerFacet * static_cast<double>(facets);
			const double most = least + kBytesPerCorner * 3 * static_cast<double>(facets);
			const double counting = least + sizeof(Corner) * 3 * static_cast<double>(facets);
			if (most <= limit || counting > limit)
				return most <= limit ? most : counting;
			return std::max(counting, least + kBytesPerCorner * static_cast<double>(countCorners()));
		}

		/// True when the file starts as a text file does, judged by its first bytes, `header`.
		bool startsAsText(const char (&header)[84], uint64_t size)
		{
			const std::string_view start(header, std::min<uint64_t>(size, sizeof(header)));
			const size_t first = start.find_first_not_of(" \t");
			return first != std::string_view::npos && start.substr(first, 5) == "solid";
		}

		MeshFileCheck checkText(const std::string& path, std::ifstream& in, uint64_t size, const char (&header)[84])
		{
			if (!startsAsText(header, size))
				fail(path, "it does not start with 'solid' as a text STL file does, and " + binaryFault(header, size));
			// A text file is read whole, and Assimp reads it again.
			if (const std::string refusal = MemoryLimit::refusal(2.0 * static_cast<double>(size), "its text"); !refusal.empty())
				fail(path, refusal);
			in.clear();
			in.seekg(0);
			const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
			// A binary file whose count is wrong may start with "solid" too.
			const auto binary = std::find_if(bytes.begin(), bytes.end(), [](char c) { return isControl(c) && !isSpace(c); });
			if (size >= 84 && binary != bytes.end())
				fail(path, fmt::format("it starts with 'solid' as a text STL file does, but holds the byte {:#04x} at offset {}, and {}",
				                       static_cast<unsigned char>(*binary), binary - bytes.begin(), binaryFault(header, size)));
			const uint64_t facets = walkText(bytes, path, nullptr);
			const auto countCorners = [&]
			{
				std::vector<Corner> corners;
				walkText(bytes, path, &corners);
				return countDistinct(corners);
			};
			return {MeshFileCheck::counted(facets, "facet", "facets"),
			        estimatedBytes(facets, 2.0 * static_cast<double>(size), countCorners)};
		}
	}

	MeshFileCheck check(const std::string& path)
	{
		std::ifstream in(Platform::widen(path), std::ios::binary | std::ios::ate);
		if (!in)
			fail(path, "it cannot be opened");
		const auto size = static_cast<uint64_t>(std::streamoff(in.tellg()));
		in.seekg(0);
		char header[84] = {};
		in.read(header, sizeof(header)); // a shorter file leaves the rest zero
		if (size < sizeof(header) || !isBinary(header, size))
			return checkText(path, in, size, header);
		const uint64_t facets = declaredFacets(header);
		if (84 + 50 * facets != size)
			fail(path, binaryFault(header, size));
		return {MeshFileCheck::counted(facets, "facet", "facets"), estimatedBytes(facets, 0, [&] { return binaryCorners(path, facets); })};
	}
}
