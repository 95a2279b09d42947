#include "host/core/PropertiesIO.h"

#include "host/core/Log.h"
#include "host/core/PropertyText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace Quorvale;
using PropertiesDetail::ParamType;

namespace
{
	double doubleFromBits(std::uint64_t bits)
	{
		double d;
		std::memcpy(&d, &bits, sizeof d);
		return d;
	}

	float floatFromBits(std::uint32_t bits)
	{
		float f;
		std::memcpy(&f, &bits, sizeof f);
		return f;
	}

	std::uint64_t bitsOf(double d)
	{
		std::uint64_t bits;
		std::memcpy(&bits, &d, sizeof bits);
		return bits;
	}

	std::uint32_t bitsOf(float f)
	{
		std::uint32_t bits;
		std::memcpy(&bits, &f, sizeof bits);
		return bits;
	}

	/// Saves, loads and checks the result equals the original in every respect, the order of
	/// attributes included (which `compareWith` does not look at): saving the copy gives the same text.
	Properties roundTrip(const Properties& original)
	{
		auto text = PropertiesIO::saveToString(original, 4);
		EXPECT_TRUE(text.has_value());
		if (!text)
			return {};
		auto loaded = PropertiesIO::loadFromString(*text, 4);
		EXPECT_TRUE(loaded.has_value()) << *text;
		if (!loaded)
			return {};
		EXPECT_TRUE(original.compareWith(*loaded, Properties::CompareAll)) << *text;
		EXPECT_EQ(PropertiesIO::saveToString(*loaded, 4), text);
		return *loaded;
	}

	/// The value of parameter "v" after a round trip of a set holding only `value`.
	PropertyValue roundTripValue(const PropertyValue& value)
	{
		Properties p;
		p.setParamValue("v", value);
		Properties loaded = roundTrip(p);
		const Properties::Param* param = loaded.findParam("v");
		EXPECT_NE(param, nullptr);
		return param ? param->value : PropertyValue();
	}

	/// A set using every feature of the format, for the tests that mutate or compare texts.
	Properties richProperties()
	{
		Properties p("settings");
		p.setAttribute("version", "2");
		p.setAttribute("note", "line one\nline \"two\"");
		p.setParam("threshold", 0.1, 0.5);
		p.setParamType("threshold", ParamType::Slider);
		p.setParamAttribute("threshold", "min", "0");
		p.setParam("mode", 1);
		p.setParamType("mode", ParamType::Enumeration);
		p.setParamAttribute("mode", "values", "Fast,Exact");
		p.setParam("count", std::uint64_t(18446744073709551615ull));
		p.setParam("label", std::optional<std::string>());
		p.setParam("names", std::vector<std::string>{"a b", "", "\xff"});
		p.setParam("matrix", Eigen::Matrix4d::Identity().eval());
		Properties& child = p.addSubProperties("child");
		child.setParam("origin", Eigen::Vector3d(0, -0.0, 1e-300));
		child.addSubProperties("grandchild").setParam("on", true);
		p.addSubProperties("child").setAttribute("second", "yes");
		return p;
	}

	/// A string of all the bytes of a literal, NULs included.
	template <size_t N>
	std::string withNul(const char (&text)[N])
	{
		return std::string(text, N - 1);
	}

	std::string richText() { return *PropertiesIO::saveToString(richProperties(), 4); }
}

// Values ---------------------------------------------------------------------------------------------

TEST(PropertiesIOTest, EveryValueTypeRoundTrips)
{
	Eigen::Matrix4d m;
	for (int i = 0; i < 16; ++i)
		m(i / 4, i % 4) = i * 1.25 - 3;
	const std::vector<PropertyValue> values = {
	    true,
	    false,
	    -17,
	    std::int64_t(-5000000000),
	    std::uint64_t(12345678901234567890ull),
	    1.1f,
	    0.1,
	    std::string("text"),
	    std::optional<int>(42),
	    std::optional<int>(),
	    std::optional<std::string>("x"),
	    std::optional<std::string>(""),
	    std::optional<std::string>(),
	    Eigen::Vector2d(1.5, -2),
	    Eigen::Vector3d(1, 2, 3),
	    Eigen::Vector4d(0.25, 0.5, 0.75, 1),
	    m,
	    std::vector<int>{},
	    std::vector<int>{-1, 0, 2147483647},
	    std::vector<double>{},
	    std::vector<double>{1e-310, 3.5},
	    std::vector<std::string>{},
	    std::vector<std::string>{"", " ", "a\"b"},
	};
	for (const PropertyValue& value : values)
	{
		const PropertyValue loaded = roundTripValue(value);
		EXPECT_EQ(loaded.index(), value.index()) << PropertiesDetail::typeName(value);
		EXPECT_TRUE(PropertiesDetail::valuesEqual(loaded, value)) << PropertiesDetail::typeName(value);
	}
	// An engaged empty string and a disengaged optional stay different.
	EXPECT_EQ(std::get<std::optional<std::string>>(roundTripValue(std::optional<std::string>(""))), std::optional<std::string>(""));
	EXPECT_EQ(std::get<std::optional<std::string>>(roundTripValue(std::optional<std::string>())), std::nullopt);
}

TEST(PropertiesIOTest, DoublesKeepTheirBits)
{
	const std::vector<std::uint64_t> patterns = {
	    0x0000000000000000ull, // 0
	    0x8000000000000000ull, // -0
	    0x0000000000000001ull, // smallest denormal
	    0x800fffffffffffffull, // largest negative denormal
	    0x0010000000000000ull, // smallest normal
	    0x7fefffffffffffffull, // max
	    0xffefffffffffffffull, // lowest
	    0x3fb999999999999aull, // 0.1
	    0x3fd5555555555555ull, // 1/3
	    0x7ff0000000000000ull, // inf
	    0xfff0000000000000ull, // -inf
	    0x7ff8000000000000ull, // default quiet NaN
	    0xfff8000000000000ull, // negative quiet NaN
	    0x7ff0000000000001ull, // signalling NaN
	    0x7ff8deadbeef0001ull, // NaN with payload
	    0xffffffffffffffffull, // all bits set
	};
	for (std::uint64_t bits : patterns)
	{
		const double d = doubleFromBits(bits);
		EXPECT_EQ(bitsOf(std::get<double>(roundTripValue(d))), bits) << std::hex << bits;
		EXPECT_EQ(bitsOf(std::get<Eigen::Vector2d>(roundTripValue(Eigen::Vector2d(d, 1)))[0]), bits) << std::hex << bits;
		EXPECT_EQ(bitsOf(std::get<std::vector<double>>(roundTripValue(std::vector<double>{1, d}))[1]), bits) << std::hex << bits;
		Eigen::Matrix4d m = Eigen::Matrix4d::Zero();
		m(1, 2) = d;
		EXPECT_EQ(bitsOf(std::get<Eigen::Matrix4d>(roundTripValue(m))(1, 2)), bits) << std::hex << bits;
	}
}

TEST(PropertiesIOTest, FloatsKeepTheirBits)
{
	const std::vector<std::uint32_t> patterns = {0x00000000u, 0x80000000u, 0x00000001u, 0x007fffffu, 0x7f7fffffu, 0x3dcccccdu,
	                                             0x7f800000u, 0xff800000u, 0x7fc00000u, 0xffc00000u, 0x7f800001u, 0x7fc0beefu};
	for (std::uint32_t bits : patterns)
		EXPECT_EQ(bitsOf(std::get<float>(roundTripValue(floatFromBits(bits)))), bits) << std::hex << bits;
}

TEST(PropertiesIOTest, IntegerExtremesRoundTrip)
{
	EXPECT_EQ(std::get<int>(roundTripValue(std::numeric_limits<int>::min())), std::numeric_limits<int>::min());
	EXPECT_EQ(std::get<int>(roundTripValue(std::numeric_limits<int>::max())), std::numeric_limits<int>::max());
	EXPECT_EQ(std::get<std::int64_t>(roundTripValue(std::numeric_limits<std::int64_t>::min())), std::numeric_limits<std::int64_t>::min());
	EXPECT_EQ(std::get<std::int64_t>(roundTripValue(std::numeric_limits<std::int64_t>::max())), std::numeric_limits<std::int64_t>::max());
	EXPECT_EQ(std::get<std::uint64_t>(roundTripValue(std::numeric_limits<std::uint64_t>::max())),
	          std::numeric_limits<std::uint64_t>::max());
	EXPECT_EQ(std::get<std::uint64_t>(roundTripValue(std::uint64_t(0))), 0u);
	EXPECT_EQ(std::get<std::optional<int>>(roundTripValue(std::optional<int>(std::numeric_limits<int>::min()))),
	          std::numeric_limits<int>::min());
}

TEST(PropertiesIOTest, StringsWithAnyBytesRoundTrip)
{
	std::string allBytes;
	for (int c = 0; c < 256; ++c)
		allBytes.push_back(static_cast<char>(c));
	const std::vector<std::string> strings = {
	    "",
	    "\"quoted\" and \\backslash\\",
	    "line\nbreak\r\ntab\t",
	    std::string("nul\0inside", 10),
	    "\x01\x1f\x7f",
	    "\xff\xfe\x80",                            // not UTF-8
	    "\xc3",                                    // truncated sequence
	    "\xc0\x80",                                // overlong
	    "\xed\xa0\x80",                            // surrogate
	    "\xf4\x90\x80\x80",                        // above U+10FFFF
	    "\xc2\xb5m \xe6\x97\xa5 \xf0\x9f\x98\x80", // valid UTF-8
	    "# not a comment",
	    "end",
	    "\\x41",
	    allBytes,
	};
	for (const std::string& s : strings)
	{
		EXPECT_EQ(std::get<std::string>(roundTripValue(s)), s);
		EXPECT_EQ(std::get<std::optional<std::string>>(roundTripValue(std::optional<std::string>(s))), s);
		EXPECT_EQ(std::get<std::vector<std::string>>(roundTripValue(std::vector<std::string>{s, s})), (std::vector<std::string>{s, s}));

		// The same bytes as names, keys and attribute values.
		Properties p(s);
		p.setAttribute(s, s);
		p.setParam(s, 1);
		p.setParamAttribute(s, s, s);
		p.addSubProperties(s);
		Properties loaded = roundTrip(p);
		EXPECT_EQ(loaded.name(), s);
		EXPECT_EQ(loaded.attribute(s), s);
		EXPECT_EQ(loaded.paramAttribute(s, s), s);
		ASSERT_NE(loaded.subProperties(s), nullptr);
	}
}

TEST(PropertiesIOTest, TextIsPrintableExceptValidUtf8)
{
	Properties p;
	std::string allBytes;
	for (int c = 0; c < 256; ++c)
		allBytes.push_back(static_cast<char>(c));
	p.setParam("bytes", allBytes);
	p.setParam("utf8", std::string("\xc2\xb5m"));
	const std::string text = *PropertiesIO::saveToString(p, 4);
	// Valid UTF-8 stays readable; every other byte outside printable ASCII is escaped.
	EXPECT_NE(text.find("param \"utf8\" string \"\xc2\xb5m\""), std::string::npos);
	size_t rawHighBytes = 0;
	for (unsigned char c : text)
	{
		EXPECT_TRUE(c == '\n' || c == '\t' || c >= 0x20) << int(c);
		EXPECT_NE(c, 0x7f);
		rawHighBytes += c >= 0x80 ? 1 : 0;
	}
	EXPECT_EQ(rawHighBytes, 2u);
}

// Structure ------------------------------------------------------------------------------------------

TEST(PropertiesIOTest, TextHasTheDocumentedForm)
{
	Properties p("settings");
	p.setAttribute("version", "2");
	p.setParam("threshold", 0.1, 0.5);
	p.setParamType("threshold", ParamType::Slider);
	p.setParamAttribute("threshold", "min", "0");
	p.setParam("label", std::optional<std::string>());
	p.addSubProperties("child").setParam("origin", Eigen::Vector3d(0, -0.0, 1e-300));
	p.addSubProperties("");

	EXPECT_EQ(PropertiesIO::saveToString(p, 4, "saved by a test\nsecond line"), "# saved by a test\n"
	                                                                            "# second line\n"
	                                                                            "begin \"settings\"\n"
	                                                                            "\tattribute \"version\" \"2\"\n"
	                                                                            "\tparam \"threshold\" double 0.1\n"
	                                                                            "\t\tdefault double 0.5\n"
	                                                                            "\t\ttype 2\n"
	                                                                            "\t\tparam-attribute \"min\" \"0\"\n"
	                                                                            "\tparam \"label\" optstring unset\n"
	                                                                            "\tbegin \"child\"\n"
	                                                                            "\t\tparam \"origin\" vec3 0 -0 1e-300\n"
	                                                                            "\tend\n"
	                                                                            "\tbegin \"\"\n"
	                                                                            "\tend\n"
	                                                                            "end\n");
	EXPECT_EQ(PropertiesIO::saveToString(Properties(), 4), "begin \"\"\nend\n");
}

TEST(PropertiesIOTest, DefaultsTypesAndAttributesRoundTrip)
{
	Properties p;
	p.setParam("plain", 1);
	p.setParam("withDefault", 2.5, 7.0);
	p.setParamValue("otherDefaultType", std::string("3"));
	p.setParamDefault("otherDefaultType", PropertyValue(3));
	p.setParam("unsetDefault", std::optional<int>(4));
	p.setParamDefault("unsetDefault", PropertyValue(std::optional<int>()));
	p.setParam("color", Eigen::Vector4d(1, 0, 0, 1));
	p.setParamType("color", ParamType::Color);
	p.setParam("odd", 0);
	p.setParamType("odd", static_cast<ParamType>(-123456));
	p.setParamAttribute("odd", "z", "last");
	p.setParamAttribute("odd", "a", "first");
	p.setParamAttribute("odd", "hidden", "true");

	const Properties loaded = roundTrip(p);
	ASSERT_EQ(loaded.paramNames(), (std::vector<std::string>{"plain", "withDefault", "otherDefaultType", "unsetDefault", "color", "odd"}));
	EXPECT_FALSE(loaded.findParam("plain")->defaultValue.has_value());
	EXPECT_EQ(std::get<double>(*loaded.findParam("withDefault")->defaultValue), 7.0);
	EXPECT_EQ(std::get<int>(*loaded.findParam("otherDefaultType")->defaultValue), 3);
	EXPECT_EQ(std::get<std::optional<int>>(*loaded.findParam("unsetDefault")->defaultValue), std::nullopt);
	EXPECT_EQ(loaded.paramType("plain"), ParamType::Default);
	EXPECT_EQ(loaded.paramType("color"), ParamType::Color);
	EXPECT_EQ(static_cast<int>(loaded.paramType("odd")), -123456);
	const auto expected = std::vector<std::pair<std::string, std::string>>{{"z", "last"}, {"a", "first"}, {"hidden", "true"}};
	EXPECT_EQ(loaded.findParam("odd")->attributes, expected);
}

TEST(PropertiesIOTest, NestedAndRepeatedSubPropertiesKeepTheirOrder)
{
	Properties p("top");
	p.setAttribute("b", "1");
	p.setAttribute("a", "2");
	Properties& first = p.addSubProperties("item");
	first.setParam("index", 0);
	first.addSubProperties("inner").addSubProperties("innermost").setAttribute("deep", "yes");
	p.addSubProperties("other");
	p.addSubProperties("item").setParam("index", 1);
	p.addSubProperties("item").setParam("index", 2);
	p.addSubProperties(Properties());

	const Properties loaded = roundTrip(p);
	EXPECT_EQ(loaded.name(), "top");
	EXPECT_EQ(loaded.attributes(), (std::vector<std::pair<std::string, std::string>>{{"b", "1"}, {"a", "2"}}));
	const auto subs = loaded.allSubProperties();
	ASSERT_EQ(subs.size(), 5u);
	EXPECT_EQ(subs[0]->name(), "item");
	EXPECT_EQ(subs[1]->name(), "other");
	EXPECT_TRUE(subs[1]->params().empty());
	EXPECT_EQ(subs[4]->name(), "");
	for (int i = 0; i < 3; ++i)
		EXPECT_EQ(subs[i == 0 ? 0 : i + 1]->param<int>("index"), i);
	const Properties* innermost = subs[0]->subProperties("inner")->subProperties("innermost");
	ASSERT_NE(innermost, nullptr);
	EXPECT_EQ(innermost->attribute("deep"), "yes");
}

TEST(PropertiesIOTest, NestingUpToTheLimitSavesAndDeeperDoesNot)
{
	const std::int64_t kLeaf = -9007199254740993;
	auto chain = [&](int depth)
	{
		Properties top("level0");
		Properties* current = &top;
		for (int i = 1; i <= depth; ++i)
			current = &current->addSubProperties("level" + std::to_string(i));
		current->setParam("leaf", kLeaf);
		return top;
	};
	const Properties deepest = chain(PropertiesIO::kMaxDepth);
	const Properties loaded = roundTrip(deepest);
	const Properties* current = &loaded;
	for (int i = 1; i <= PropertiesIO::kMaxDepth; ++i)
	{
		current = current->subProperties("level" + std::to_string(i));
		ASSERT_NE(current, nullptr) << i;
	}
	EXPECT_EQ(current->param<std::int64_t>("leaf"), kLeaf);

	Log::ScopedCapture log;
	EXPECT_FALSE(PropertiesIO::saveToString(chain(PropertiesIO::kMaxDepth + 1), 4).has_value());
	EXPECT_EQ(log->messages(Log::Error), std::vector<std::string>{"Cannot save properties: sub-properties nested deeper than 64 levels"});
}

TEST(PropertiesIOTest, OnlyFormatFourExists)
{
	Log::ScopedCapture log;
	EXPECT_FALSE(PropertiesIO::saveToString(richProperties(), 3).has_value());
	EXPECT_FALSE(PropertiesIO::saveToString(richProperties(), 5).has_value());
	EXPECT_FALSE(PropertiesIO::loadFromString(richText(), 0).has_value());
	EXPECT_EQ(log->count(Log::Error), 3);
	EXPECT_TRUE(PropertiesIO::loadFromString(richText(), 4).has_value());
}

TEST(PropertiesIOTest, ToleratesIndentationBlankLinesCommentsAndCrLf)
{
	const std::string text = "# written by hand\r\n"
	                         "\r\n"
	                         "begin  \"hand\"\r\n"
	                         "param \"x\"   int   5  \r\n"
	                         "  # a comment between a param and its default\n"
	                         "      default int 6\n"
	                         "param \"list\" intlist\n"
	                         "\t\tbegin \"sub\"\n"
	                         "end\n"
	                         "end\n"
	                         "\n  \n";
	auto loaded = PropertiesIO::loadFromString(text, 4);
	ASSERT_TRUE(loaded.has_value());
	EXPECT_EQ(loaded->name(), "hand");
	EXPECT_EQ(loaded->param<int>("x"), 5);
	EXPECT_EQ(std::get<int>(*loaded->findParam("x")->defaultValue), 6);
	EXPECT_EQ(loaded->param<std::vector<int>>("list"), std::vector<int>{});
	EXPECT_NE(loaded->subProperties("sub"), nullptr);
	// The last line may lack its line break.
	EXPECT_TRUE(PropertiesIO::loadFromString("begin \"\"\nend", 4).has_value());
}

// Hostile input ----------------------------------------------------------------------------------------

TEST(PropertiesIOTest, MalformedTextsAreRejected)
{
	const std::vector<std::string> bad = {
	    "",
	    "\n\n",
	    "# only a comment\n",
	    "begin \"a\"\n",                   // truncated: no end
	    "begin \"a\"\nbegin \"b\"\nend\n", // unbalanced
	    "end\n",
	    "begin \"a\"\nend\nend\n",              // one end too many
	    "begin \"a\"\nend\nbegin \"b\"\nend\n", // two top sets
	    "begin \"a\"\nend\ngarbage\n",          // trailing garbage
	    "begin \"a\"\nend\n# comment after the end\n",
	    "begin \"a\"\nend x\n",
	    "begin a\nend\n",   // unquoted name
	    "begin \"a\nend\n", // unterminated string
	    "begin \"a\" \"b\"\nend\n",
	    "begin\"a\"\nend\n",
	    "BEGIN \"a\"\nEND\n",
	    "param \"x\" int 1\nbegin \"\"\nend\n", // statement before begin
	    "begin \"\"\nfrobnicate\nend\n",        // unknown keyword
	    "begin \"\"\nparam\nend\n",
	    "begin \"\"\nparam \"x\"\nend\n",
	    "begin \"\"\nparam \"x\" int\nend\n",
	    "begin \"\"\nparam \"x\" integer 1\nend\n", // unknown type
	    "begin \"\"\nparam \"x\"int 1\nend\n",
	    "begin \"\"\nparam \"x\" int 1 2\nend\n", // trailing garbage in a value
	    "begin \"\"\nparam \"x\" int 1.5\nend\n",
	    "begin \"\"\nparam \"x\" int 2147483648\nend\n", // out of range
	    "begin \"\"\nparam \"x\" int -2147483649\nend\n",
	    "begin \"\"\nparam \"x\" int64 9223372036854775808\nend\n",
	    "begin \"\"\nparam \"x\" uint64 18446744073709551616\nend\n",
	    "begin \"\"\nparam \"x\" uint64 -1\nend\n",
	    "begin \"\"\nparam \"x\" int +1\nend\n",
	    "begin \"\"\nparam \"x\" double 1e400\nend\n",
	    "begin \"\"\nparam \"x\" double 1e-400\nend\n",
	    "begin \"\"\nparam \"x\" float 1e39\nend\n",
	    "begin \"\"\nparam \"x\" double infinity\nend\n",
	    "begin \"\"\nparam \"x\" double -nan\nend\n",
	    "begin \"\"\nparam \"x\" double nan(0x0)\nend\n",                // bits of 0, not a NaN
	    "begin \"\"\nparam \"x\" double nan(0x7ff0000000000000)\nend\n", // infinity, not a NaN
	    "begin \"\"\nparam \"x\" double nan(0x17ff8000000000000)\nend\n",
	    "begin \"\"\nparam \"x\" float nan(0x7ff8000000000000)\nend\n",
	    "begin \"\"\nparam \"x\" double nan(abc)\nend\n",
	    "begin \"\"\nparam \"x\" double 0x10\nend\n",
	    "begin \"\"\nparam \"x\" double 1,5\nend\n",
	    "begin \"\"\nparam \"x\" bool yes\nend\n",
	    "begin \"\"\nparam \"x\" bool 1\nend\n",
	    "begin \"\"\nparam \"x\" vec3 1 2\nend\n",
	    "begin \"\"\nparam \"x\" vec3 1 2 3 4\nend\n",
	    "begin \"\"\nparam \"x\" mat4 1 2 3\nend\n",
	    "begin \"\"\nparam \"x\" intlist 1 x\nend\n",
	    "begin \"\"\nparam \"x\" stringlist \"a\"\"b\"\nend\n",
	    "begin \"\"\nparam \"x\" stringlist \"a\" b\nend\n",
	    "begin \"\"\nparam \"x\" string unquoted\nend\n",
	    "begin \"\"\nparam \"x\" string \"a\" \"b\"\nend\n",
	    "begin \"\"\nparam \"x\" optint none\nend\n",
	    "begin \"\"\nparam \"x\" string \"bad \\q escape\"\nend\n",
	    "begin \"\"\nparam \"x\" string \"bad \\x4 escape\"\nend\n",
	    "begin \"\"\nparam \"x\" string \"bad \\xZZ escape\"\nend\n",
	    "begin \"\"\nparam \"x\" string \"ends in \\\"\nend\n",
	    "begin \"\"\nparam \"x\" string \"raw\ttab\"\nend\n",
	    withNul("begin \"\"\nparam \"x\" string \"raw\0nul\"\nend\n"),
	    withNul("begin \"\"\0\nend\n"),
	    "begin \"\"\nparam \"x\" int 1\nparam \"x\" int 2\nend\n",         // duplicate parameter
	    "begin \"\"\nattribute \"k\" \"1\"\nattribute \"k\" \"2\"\nend\n", // duplicate attribute
	    "begin \"\"\nattribute \"k\"\nend\n",
	    "begin \"\"\nattribute \"k\" \"v\" \"w\"\nend\n",
	    "begin \"\"\ndefault int 1\nend\n", // default without param
	    "begin \"\"\ntype 8\nend\n",
	    "begin \"\"\nparam-attribute \"k\" \"v\"\nend\n",
	    "begin \"\"\nparam \"x\" int 1\ndefault int 1\ndefault int 2\nend\n",
	    "begin \"\"\nparam \"x\" int 1\ntype 8\ntype 7\nend\n",
	    "begin \"\"\nparam \"x\" int 1\ntype eight\nend\n",
	    "begin \"\"\nparam \"x\" int 1\ntype 99999999999\nend\n",
	    "begin \"\"\nparam \"x\" int 1\nparam-attribute \"k\" \"1\"\nparam-attribute \"k\" \"2\"\nend\n",
	    "begin \"\"\nparam \"x\" int 1\nattribute \"a\" \"b\"\ntype 8\nend\n", // modifier no longer follows its param
	    "begin \"\"\nparam \"x\" int 1\nbegin \"s\"\ndefault int 2\nend\nend\n",
	    "begin \"\"\nparam \"x\" int 1\nbegin \"s\"\nend\ntype 8\nend\n",
	};
	Log::ScopedCapture log;
	for (const std::string& text : bad)
		EXPECT_FALSE(PropertiesIO::loadFromString(text, 4).has_value()) << text;
	// Each failure says why; none of them is silent.
	EXPECT_EQ(log->count(Log::Error), static_cast<int>(bad.size()));
}

TEST(PropertiesIOTest, RepeatedNamesAreAllowedOnlyForSubProperties)
{
	auto loaded = PropertiesIO::loadFromString("begin \"\"\n"
	                                           "param \"x\" int 1\n"
	                                           "begin \"s\"\nparam \"x\" int 2\nend\n"
	                                           "begin \"s\"\nparam \"x\" int 3\nend\n"
	                                           "end\n",
	                                           4);
	ASSERT_TRUE(loaded.has_value());
	const auto subs = loaded->allSubProperties();
	ASSERT_EQ(subs.size(), 2u);
	EXPECT_EQ(subs[0]->param<int>("x"), 2);
	EXPECT_EQ(subs[1]->param<int>("x"), 3);
}

TEST(PropertiesIOTest, ErrorsNameTheLine)
{
	Log::ScopedCapture log;
	EXPECT_FALSE(PropertiesIO::loadFromString("begin \"\"\n\nparam \"x\" int 1\nparam \"x\" int 2\nend\n", 4).has_value());
	EXPECT_EQ(log->messages(Log::Error), std::vector<std::string>{"Cannot read properties text, line 4: parameter 'x' appears twice"});
	ASSERT_EQ(log->records().size(), 1u);
	EXPECT_EQ(log->records()[0].category, "Core.PropertiesIO");
}

TEST(PropertiesIOTest, DeepNestingIsRejected)
{
	std::string text;
	for (int i = 0; i < 100000; ++i)
		text += "begin \"n\"\n";
	for (int i = 0; i < 100000; ++i)
		text += "end\n";
	Log::ScopedCapture log;
	EXPECT_FALSE(PropertiesIO::loadFromString(text, 4).has_value());
	EXPECT_EQ(log->messages(Log::Error),
	          std::vector<std::string>{"Cannot read properties text, line 66: sub-properties nested deeper than 64 levels"});
}

TEST(PropertiesIOTest, ManyEntriesLoadAndRepeatsAreFound)
{
	// Names are checked for repeats through an index; this text would take minutes with a
	// linear search per entry (the load speed itself is measured in bench/properties_bench).
	auto makeText = [](int count)
	{
		std::string text = "begin \"\"\n";
		for (int i = 0; i < count; ++i)
			text += "param \"p" + std::to_string(i) + "\" int " + std::to_string(i) + "\nparam-attribute \"a\" \"b\"\n";
		for (int i = 0; i < count; ++i)
			text += "attribute \"k" + std::to_string(i) + "\" \"v\"\n";
		return text;
	};
	const int count = 100000;
	const std::string large = makeText(count);
	auto loaded = PropertiesIO::loadFromString(large + "end\n", 4);
	ASSERT_TRUE(loaded.has_value());
	EXPECT_EQ(loaded->params().size(), static_cast<size_t>(count));
	EXPECT_EQ(loaded->attributes().size(), static_cast<size_t>(count));
	EXPECT_EQ(std::get<int>(loaded->params().back().value), count - 1);

	// Repeats far apart are still found.
	Log::ScopedCapture log;
	EXPECT_FALSE(PropertiesIO::loadFromString(large + "param \"p7\" int 0\nend\n", 4).has_value());
	EXPECT_FALSE(PropertiesIO::loadFromString(large + "attribute \"k0\" \"v\"\nend\n", 4).has_value());
}

TEST(PropertiesIOTest, RandomMutationsNeverCrash)
{
	const std::string original = richText();
	std::mt19937 random(20240611);
	auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
	const std::string interesting = "\"\\\n\t #xe-0.9begin end param unset nan(0x";

	Log::ScopedCapture log; // keeps the expected load errors out of any other sink
	int accepted = 0;
	for (int round = 0; round < 20000; ++round)
	{
		std::string text = original;
		const int edits = 1 + static_cast<int>(pick(4));
		for (int e = 0; e < edits && !text.empty(); ++e)
		{
			const size_t at = pick(text.size());
			switch (pick(6))
			{
				case 0: text[at] = static_cast<char>(pick(256)); break;
				case 1: text[at] = interesting[pick(interesting.size())]; break;
				case 2: text.erase(at, 1 + pick(8)); break;
				case 3: text.insert(at, 1, interesting[pick(interesting.size())]); break;
				case 4: text.insert(at, text.substr(pick(text.size()), 1 + pick(40))); break;
				case 5: text.resize(at); break;
			}
		}
		auto loaded = PropertiesIO::loadFromString(text, 4);
		if (!loaded)
			continue;
		++accepted;
		// Whatever is accepted is a proper set: it saves and loads back unchanged.
		auto again = PropertiesIO::saveToString(*loaded, 4);
		ASSERT_TRUE(again.has_value()) << text;
		auto reloaded = PropertiesIO::loadFromString(*again, 4);
		ASSERT_TRUE(reloaded.has_value()) << *again;
		EXPECT_TRUE(reloaded->compareWith(*loaded)) << text;
	}
	// Mutations in comments, numbers and string contents keep some texts valid.
	EXPECT_GT(accepted, 0);
}

TEST(PropertiesIOTest, RichSetRoundTrips)
{
	const Properties loaded = roundTrip(richProperties());
	EXPECT_EQ(loaded.attribute("note"), "line one\nline \"two\"");
	EXPECT_EQ(loaded.param<std::vector<std::string>>("names"), (std::vector<std::string>{"a b", "", "\xff"}));
}
