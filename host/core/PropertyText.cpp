#include "host/core/PropertyText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

namespace Quorvale::PropertyText
{
	namespace
	{
		constexpr char kHexDigits[] = "0123456789abcdef";

		bool isSpace(char c) { return c == ' ' || c == '\t'; }

		std::string_view trimmed(std::string_view text)
		{
			while (!text.empty() && isSpace(text.front()))
				text.remove_prefix(1);
			while (!text.empty() && isSpace(text.back()))
				text.remove_suffix(1);
			return text;
		}

		/// Splits off the next run of non-space characters; `text` must not start with a space.
		std::string_view nextToken(std::string_view& text)
		{
			size_t end = 0;
			while (end < text.size() && !isSpace(text[end]))
				++end;
			std::string_view token = text.substr(0, end);
			text.remove_prefix(end);
			while (!text.empty() && isSpace(text.front()))
				text.remove_prefix(1);
			return token;
		}

		/// Length of the valid UTF-8 multi-byte sequence starting at `i`, or 0 (overlong forms,
		/// surrogates and code points above U+10FFFF are not valid).
		size_t utf8SequenceLength(std::string_view s, size_t i)
		{
			auto byte = [&](size_t k) { return i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0u; };
			auto cont = [&](size_t k, unsigned lo = 0x80, unsigned hi = 0xbf) { return byte(k) >= lo && byte(k) <= hi; };
			const unsigned c = byte(0);
			if (c >= 0xc2 && c <= 0xdf)
				return cont(1) ? 2 : 0;
			if (c == 0xe0)
				return cont(1, 0xa0) && cont(2) ? 3 : 0;
			if ((c >= 0xe1 && c <= 0xec) || c == 0xee || c == 0xef)
				return cont(1) && cont(2) ? 3 : 0;
			if (c == 0xed)
				return cont(1, 0x80, 0x9f) && cont(2) ? 3 : 0;
			if (c == 0xf0)
				return cont(1, 0x90) && cont(2) && cont(3) ? 4 : 0;
			if (c >= 0xf1 && c <= 0xf3)
				return cont(1) && cont(2) && cont(3) ? 4 : 0;
			if (c == 0xf4)
				return cont(1, 0x80, 0x8f) && cont(2) && cont(3) ? 4 : 0;
			return 0;
		}

		std::optional<int> hexValue(char c)
		{
			if (c >= '0' && c <= '9')
				return c - '0';
			if (c >= 'a' && c <= 'f')
				return c - 'a' + 10;
			if (c >= 'A' && c <= 'F')
				return c - 'A' + 10;
			return std::nullopt;
		}

		/// The byte written as two hex digits from `at` on, or nothing when they are not both there.
		std::optional<char> hexByte(std::string_view text, size_t at)
		{
			if (at + 1 >= text.size())
				return std::nullopt;
			const std::optional<int> high = hexValue(text[at]), low = hexValue(text[at + 1]);
			if (!high || !low)
				return std::nullopt;
			return static_cast<char>(*high * 16 + *low);
		}

		// Floating point ---------------------------------------------------------------------------

		template <typename F>
		using BitsOf = std::conditional_t<sizeof(F) == 8, std::uint64_t, std::uint32_t>;

		template <typename F>
		BitsOf<F> bitsOf(F value)
		{
			BitsOf<F> bits;
			std::memcpy(&bits, &value, sizeof bits);
			return bits;
		}

		template <typename F>
		F fromBits(BitsOf<F> bits)
		{
			F value;
			std::memcpy(&value, &bits, sizeof value);
			return value;
		}

		template <typename F>
		void appendFloat(std::string& out, F value)
		{
			if (std::isnan(value))
			{
				const auto bits = bitsOf(value);
				if (bits == bitsOf(std::numeric_limits<F>::quiet_NaN()))
				{
					out += "nan";
					return;
				}
				// Any other NaN keeps its sign and payload: written as its raw bits.
				out += "nan(0x";
				for (int shift = static_cast<int>(sizeof(F) * 8) - 4; shift >= 0; shift -= 4)
					out.push_back(kHexDigits[(bits >> shift) & 0xf]);
				out.push_back(')');
				return;
			}
			if (std::isinf(value))
			{
				out += value < 0 ? "-inf" : "inf";
				return;
			}
			// The shortest form that reads back to the same value (-0 stays "-0").
			char buffer[64];
			auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
			out.append(buffer, result.ptr);
		}

		template <typename F>
		std::optional<F> parseFloat(std::string_view token)
		{
			if (token == "inf")
				return std::numeric_limits<F>::infinity();
			if (token == "-inf")
				return -std::numeric_limits<F>::infinity();
			if (token == "nan")
				return std::numeric_limits<F>::quiet_NaN();
			constexpr std::string_view nanPrefix = "nan(0x";
			if (token.size() > nanPrefix.size() + 1 && token.substr(0, nanPrefix.size()) == nanPrefix && token.back() == ')')
			{
				const std::string_view digits = token.substr(nanPrefix.size(), token.size() - nanPrefix.size() - 1);
				BitsOf<F> bits = 0;
				auto result = std::from_chars(digits.data(), digits.data() + digits.size(), bits, 16);
				if (result.ec != std::errc() || result.ptr != digits.data() + digits.size())
					return std::nullopt;
				const F value = fromBits<F>(bits);
				if (!std::isnan(value))
					return std::nullopt;
				return value;
			}
			// Plain decimal numbers only: from_chars would also take "infinity", "nan(text)" and the like.
			for (char c : token)
				if (!((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E'))
					return std::nullopt;
			F value{};
			auto result = std::from_chars(token.data(), token.data() + token.size(), value, std::chars_format::general);
			if (result.ec != std::errc() || result.ptr != token.data() + token.size())
				return std::nullopt;
			return value;
		}

		template <typename I>
		std::optional<I> parseInteger(std::string_view token)
		{
			I value{};
			auto result = std::from_chars(token.data(), token.data() + token.size(), value);
			if (token.empty() || result.ec != std::errc() || result.ptr != token.data() + token.size())
				return std::nullopt;
			return value;
		}

		template <typename I>
		void appendInteger(std::string& out, I value)
		{
			char buffer[32];
			auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
			out.append(buffer, result.ptr);
		}

		// Compound values ------------------------------------------------------------------------

		template <typename Matrix>
		void appendMatrix(std::string& out, const Matrix& m)
		{
			for (Eigen::Index r = 0; r < m.rows(); ++r)
				for (Eigen::Index c = 0; c < m.cols(); ++c)
				{
					if (r + c > 0)
						out.push_back(' ');
					appendFloat(out, m(r, c));
				}
		}

		template <typename Matrix>
		std::optional<PropertyValue> parseMatrix(std::string_view text)
		{
			Matrix m;
			for (Eigen::Index r = 0; r < m.rows(); ++r)
				for (Eigen::Index c = 0; c < m.cols(); ++c)
				{
					auto value = parseFloat<double>(nextToken(text));
					if (!value)
						return std::nullopt;
					m(r, c) = *value;
				}
			if (!text.empty())
				return std::nullopt;
			return PropertyValue(m);
		}

		template <typename T, typename Parse>
		std::optional<PropertyValue> parseList(std::string_view text, Parse parse)
		{
			std::vector<T> values;
			while (!text.empty())
			{
				auto value = parse(nextToken(text));
				if (!value)
					return std::nullopt;
				values.push_back(*value);
			}
			return PropertyValue(std::move(values));
		}

		std::optional<PropertyValue> parseStringList(std::string_view text)
		{
			std::vector<std::string> values;
			while (!text.empty())
			{
				auto value = consumeQuoted(text);
				if (!value || (!text.empty() && !isSpace(text.front())))
					return std::nullopt;
				values.push_back(std::move(*value));
				text = trimmed(text);
			}
			return PropertyValue(std::move(values));
		}

		std::optional<std::string> parseWholeQuoted(std::string_view text)
		{
			auto value = consumeQuoted(text);
			if (!value || !text.empty())
				return std::nullopt;
			return value;
		}

		template <typename T>
		std::optional<PropertyValue> wrap(std::optional<T> value)
		{
			if (!value)
				return std::nullopt;
			return PropertyValue(std::move(*value));
		}

		struct Appender
		{
			std::string& out;

			void operator()(bool v) const { out += v ? "true" : "false"; }
			void operator()(int v) const { appendInteger(out, v); }
			void operator()(std::int64_t v) const { appendInteger(out, v); }
			void operator()(std::uint64_t v) const { appendInteger(out, v); }
			void operator()(float v) const { appendFloat(out, v); }
			void operator()(double v) const { appendFloat(out, v); }
			void operator()(const std::string& v) const { appendQuoted(out, v); }
			void operator()(const std::optional<int>& v) const
			{
				if (v)
					appendInteger(out, *v);
				else
					out += "unset";
			}
			void operator()(const std::optional<std::string>& v) const
			{
				if (v)
					appendQuoted(out, *v);
				else
					out += "unset";
			}
			void operator()(const Eigen::Vector2d& v) const { appendMatrix(out, v); }
			void operator()(const Eigen::Vector3d& v) const { appendMatrix(out, v); }
			void operator()(const Eigen::Vector4d& v) const { appendMatrix(out, v); }
			void operator()(const Eigen::Matrix4d& v) const { appendMatrix(out, v); }
			void operator()(const std::vector<int>& v) const
			{
				appendList(v, [&](int x) { appendInteger(out, x); });
			}
			void operator()(const std::vector<double>& v) const
			{
				appendList(v, [&](double x) { appendFloat(out, x); });
			}
			void operator()(const std::vector<std::string>& v) const
			{
				appendList(v, [&](const std::string& x) { appendQuoted(out, x); });
			}

			template <typename List, typename Append>
			void appendList(const List& list, Append append) const
			{
				for (size_t i = 0; i < list.size(); ++i)
				{
					if (i > 0)
						out.push_back(' ');
					append(list[i]);
				}
			}
		};
	}

	std::string formatValue(const PropertyValue& value)
	{
		std::string out;
		appendValue(out, value);
		return out;
	}

	void appendValue(std::string& out, const PropertyValue& value) { std::visit(Appender{out}, value); }

	std::optional<PropertyValue> parseValue(std::string_view text, std::string_view typeName)
	{
		text = trimmed(text);
		if (typeName == "bool")
		{
			if (text == "true")
				return PropertyValue(true);
			if (text == "false")
				return PropertyValue(false);
			return std::nullopt;
		}
		if (typeName == "int")
			return wrap(parseInteger<int>(text));
		if (typeName == "int64")
			return wrap(parseInteger<std::int64_t>(text));
		if (typeName == "uint64")
			return wrap(parseInteger<std::uint64_t>(text));
		if (typeName == "float")
			return wrap(parseFloat<float>(text));
		if (typeName == "double")
			return wrap(parseFloat<double>(text));
		if (typeName == "string")
			return wrap(parseWholeQuoted(text));
		if (typeName == "optint")
		{
			if (text == "unset")
				return PropertyValue(std::optional<int>());
			auto value = parseInteger<int>(text);
			if (!value)
				return std::nullopt;
			return PropertyValue(std::optional<int>(*value));
		}
		if (typeName == "optstring")
		{
			if (text == "unset")
				return PropertyValue(std::optional<std::string>());
			auto value = parseWholeQuoted(text);
			if (!value)
				return std::nullopt;
			return PropertyValue(std::optional<std::string>(std::move(*value)));
		}
		if (typeName == "vec2")
			return parseMatrix<Eigen::Vector2d>(text);
		if (typeName == "vec3")
			return parseMatrix<Eigen::Vector3d>(text);
		if (typeName == "vec4")
			return parseMatrix<Eigen::Vector4d>(text);
		if (typeName == "mat4")
			return parseMatrix<Eigen::Matrix4d>(text);
		if (typeName == "intlist")
			return parseList<int>(text, parseInteger<int>);
		if (typeName == "doublelist")
			return parseList<double>(text, parseFloat<double>);
		if (typeName == "stringlist")
			return parseStringList(text);
		return std::nullopt;
	}

	void appendQuoted(std::string& out, std::string_view text)
	{
		out.push_back('"');
		size_t i = 0;
		while (i < text.size())
		{
			// Copy runs of plain printable ASCII in one go.
			size_t run = i;
			while (run < text.size())
			{
				const auto c = static_cast<unsigned char>(text[run]);
				if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\')
					break;
				++run;
			}
			out.append(text.data() + i, run - i);
			i = run;
			if (i == text.size())
				break;

			const auto c = static_cast<unsigned char>(text[i]);
			if (c >= 0x80)
			{
				if (size_t length = utf8SequenceLength(text, i))
				{
					out.append(text.data() + i, length);
					i += length;
					continue;
				}
			}
			out.push_back('\\');
			switch (c)
			{
				case '"': out.push_back('"'); break;
				case '\\': out.push_back('\\'); break;
				case '\n': out.push_back('n'); break;
				case '\r': out.push_back('r'); break;
				case '\t': out.push_back('t'); break;
				default:
					out.push_back('x');
					out.push_back(kHexDigits[c >> 4]);
					out.push_back(kHexDigits[c & 0xf]);
					break;
			}
			++i;
		}
		out.push_back('"');
	}

	std::optional<std::string> consumeQuoted(std::string_view& text)
	{
		if (text.empty() || text.front() != '"')
			return std::nullopt;
		std::string value;
		size_t i = 1;
		while (i < text.size())
		{
			const auto c = static_cast<unsigned char>(text[i]);
			if (c == '"')
			{
				text.remove_prefix(i + 1);
				return value;
			}
			if (c < 0x20 || c == 0x7f)
				return std::nullopt;
			if (c != '\\')
			{
				value.push_back(static_cast<char>(c));
				++i;
				continue;
			}
			if (i + 1 >= text.size())
				return std::nullopt;
			switch (text[i + 1])
			{
				case '"': value.push_back('"'); break;
				case '\\': value.push_back('\\'); break;
				case 'n': value.push_back('\n'); break;
				case 'r': value.push_back('\r'); break;
				case 't': value.push_back('\t'); break;
				case 'x':
				{
					const std::optional<char> byte = hexByte(text, i + 2);
					if (!byte)
						return std::nullopt;
					value.push_back(*byte);
					i += 2;
					break;
				}
				default: return std::nullopt;
			}
			i += 2;
		}
		return std::nullopt;
	}
}
