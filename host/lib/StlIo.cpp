#include "host/lib/StlIo.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "host/core/MemoryLimit.h"
#include "host/core/Platform.h"

namespace Quorvale::StlIo
{
	namespace
	{
		/// The longest solid name Assimp takes is 1023 characters.
		constexpr size_t kMaxNameLength = 1000;
		/// Digits of a whole part or an exponent that Assimp reads without overflow.
		constexpr size_t kMaxDigits = 19;

		bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

		bool startsWith(std::string_view word, std::string_view start) { return word.substr(0, start.size()) == start; }

		std::string excerpt(std::string_view word)
		{
			constexpr size_t shown = 40;
			return word.size() > shown ? std::string(word.substr(0, shown)) + "..." : std::string(word);
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
			void expectNumber()
			{
				skipBlanksOnLine("a number");
				const std::string_view found = next();
				if (!isNumber(found))
					fail(fmt::format("a number expected, found '{}'", excerpt(found)));
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

			/// Assimp ends the text at a zero byte and a line at a form feed.
			void checkByte(char c) const
			{
				if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
					fail(fmt::format("it holds the control character {:#04x}", static_cast<unsigned char>(c)));
			}

			static size_t digitsAt(std::string_view word, size_t at)
			{
				size_t count = 0;
				while (at + count < word.size() && word[at + count] >= '0' && word[at + count] <= '9')
					++count;
				return count;
			}

			static bool isNumber(std::string_view word)
			{
				size_t at = word.empty() || (word[0] != '+' && word[0] != '-') ? 0 : 1;
				std::string rest(word.substr(at));
				for (char& c : rest)
					c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
				if (rest == "nan" || rest == "inf" || rest == "infinity")
					return true;
				const size_t whole = digitsAt(word, at);
				at += whole;
				size_t fraction = 0;
				if (at < word.size() && word[at] == '.')
				{
					fraction = digitsAt(word, at + 1);
					at += 1 + fraction;
				}
				if ((whole == 0 && fraction == 0) || whole > kMaxDigits)
					return false;
				if (at < word.size() && (word[at] == 'e' || word[at] == 'E'))
				{
					at += at + 1 < word.size() && (word[at + 1] == '+' || word[at + 1] == '-') ? 2 : 1;
					const size_t exponent = digitsAt(word, at);
					if (exponent == 0 || exponent > kMaxDigits)
						return false;
					at += exponent;
				}
				return at == word.size();
			}

			std::string_view m_text;
			const std::string& m_path;
			size_t m_at = 0;
			size_t m_line = 1;
		};

		void checkFacet(Words& words)
		{
			words.expectOnLine("normal");
			for (int k = 0; k < 3; ++k)
				words.expectNumber();
			words.expect("outer");
			words.expect("loop");
			for (int corner = 0; corner < 3; ++corner)
			{
				words.expect("vertex");
				for (int k = 0; k < 3; ++k)
					words.expectNumber();
			}
			words.expect("endloop");
			words.expect("endfacet");
		}

		/// One solid after its word "solid". Assimp reads the words after the name as it reads the
		/// facets, so none of them may be one of its keywords.
		void checkSolid(Words& words)
		{
			const std::vector<std::string_view> name = words.restOfLine();
			if (!name.empty() && name.front().size() > kMaxNameLength)
				words.fail(fmt::format("the solid's name is longer than {} characters", kMaxNameLength));
			for (const std::string_view word : name)
				if (word == "facet" || word == "vertex" || startsWith(word, "endsolid"))
					words.fail(fmt::format("the solid's name holds the word '{}'", excerpt(word)));
			for (;;)
			{
				const std::string_view word = words.next();
				if (word.empty())
					words.fail("the file ends before 'endsolid'");
				if (startsWith(word, "endsolid"))
				{
					words.restOfLine();
					return;
				}
				if (word != "facet")
					words.fail(fmt::format("'facet' or 'endsolid' expected, found '{}'", excerpt(word)));
				checkFacet(words);
			}
		}

		/// True when Assimp takes the file as binary: the facet count in its first 84 bytes gives
		/// its size (in Assimp's 32-bit arithmetic).
		bool isBinary(const char (&header)[84], uint64_t size)
		{
			uint32_t facets = 0;
			std::memcpy(&facets, header + 80, sizeof(facets));
			return static_cast<uint32_t>(facets * 50u + 84u) == static_cast<uint32_t>(size);
		}
	}

	void checkText(const std::string& path)
	{
		std::ifstream in(Platform::widen(path), std::ios::binary | std::ios::ate);
		if (!in)
			throw std::runtime_error("Cannot read the STL file '" + path + "': it cannot be opened");
		const auto size = static_cast<uint64_t>(std::streamoff(in.tellg()));
		in.seekg(0);
		char header[84] = {};
		if (size >= sizeof(header) && in.read(header, sizeof(header)) && isBinary(header, size))
			return;
		// A text file is read whole, and Assimp reads it again.
		MemoryLimit::require(2.0 * static_cast<double>(size), "The STL file's text");
		in.clear();
		in.seekg(0);
		const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
		const size_t start = bytes.find_first_not_of(" \t");
		// Anything else is neither binary nor text to Assimp, which refuses it.
		if (start == std::string::npos || bytes.compare(start, 5, "solid") != 0)
			return;
		Words words(bytes, path);
		do
		{
			words.expect("solid");
			checkSolid(words);
		} while (!words.atEnd());
	}
}
