#include "host/core/PropertyText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>

using namespace Quorvale;

namespace
{
	template <typename T>
	std::optional<T> parseAs(std::string_view text, std::string_view type)
	{
		auto value = PropertyText::parseValue(text, type);
		if (!value || !std::holds_alternative<T>(*value))
			return std::nullopt;
		return std::get<T>(*value);
	}

	double doubleFromBits(std::uint64_t bits)
	{
		double d;
		std::memcpy(&d, &bits, sizeof d);
		return d;
	}
}

TEST(PropertyTextTest, FormatsValuesReadably)
{
	EXPECT_EQ(PropertyText::formatValue(true), "true");
	EXPECT_EQ(PropertyText::formatValue(-42), "-42");
	EXPECT_EQ(PropertyText::formatValue(std::uint64_t(18446744073709551615ull)), "18446744073709551615");
	EXPECT_EQ(PropertyText::formatValue(0.1), "0.1");
	EXPECT_EQ(PropertyText::formatValue(0.1f), "0.1");
	EXPECT_EQ(PropertyText::formatValue(-0.0), "-0");
	EXPECT_EQ(PropertyText::formatValue(1e300), "1e+300");
	EXPECT_EQ(PropertyText::formatValue(-std::numeric_limits<double>::infinity()), "-inf");
	EXPECT_EQ(PropertyText::formatValue(std::numeric_limits<double>::quiet_NaN()), "nan");
	EXPECT_EQ(PropertyText::formatValue(doubleFromBits(0xfff8000000000000ull)), "nan(0xfff8000000000000)");
	float payload;
	const std::uint32_t payloadBits = 0x7fc00001u;
	std::memcpy(&payload, &payloadBits, sizeof payload);
	EXPECT_EQ(PropertyText::formatValue(payload), "nan(0x7fc00001)");
	EXPECT_EQ(PropertyText::formatValue(std::string("a\"b\\c\nd\x01\xff")), "\"a\\\"b\\\\c\\nd\\x01\\xff\"");
	EXPECT_EQ(PropertyText::formatValue(std::optional<int>()), "unset");
	EXPECT_EQ(PropertyText::formatValue(std::optional<std::string>("")), "\"\"");
	EXPECT_EQ(PropertyText::formatValue(Eigen::Vector3d(1, 2.5, -3)), "1 2.5 -3");
	EXPECT_EQ(PropertyText::formatValue(std::vector<int>{}), "");
	EXPECT_EQ(PropertyText::formatValue(std::vector<std::string>{"a", ""}), "\"a\" \"\"");

	// Matrices are written row by row.
	Eigen::Matrix4d m = Eigen::Matrix4d::Zero();
	m(0, 1) = 5;
	m(1, 0) = 7;
	EXPECT_EQ(PropertyText::formatValue(m), "0 5 0 0 7 0 0 0 0 0 0 0 0 0 0 0");
}

TEST(PropertyTextTest, ParsesTheWrittenSyntaxOnly)
{
	EXPECT_EQ(parseAs<bool>(" true\t", "bool"), true);
	EXPECT_EQ(parseAs<bool>("True", "bool"), std::nullopt);
	EXPECT_EQ(parseAs<int>("-7", "int"), -7);
	EXPECT_EQ(parseAs<int>("7 ", "int"), 7);
	EXPECT_EQ(parseAs<int>("7x", "int"), std::nullopt);
	EXPECT_EQ(parseAs<int>("", "int"), std::nullopt);
	EXPECT_EQ(parseAs<std::int64_t>("-9223372036854775808", "int64"), std::numeric_limits<std::int64_t>::min());
	EXPECT_EQ(parseAs<double>("1e3", "double"), 1000.0);
	EXPECT_EQ(parseAs<double>(".5", "double"), 0.5);
	EXPECT_EQ(parseAs<double>("inf", "double"), std::numeric_limits<double>::infinity());
	EXPECT_EQ(parseAs<double>("INF", "double"), std::nullopt);
	EXPECT_EQ(parseAs<double>("1e", "double"), std::nullopt);
	EXPECT_EQ(parseAs<double>("nan(0x7FF8000000000001)", "double").has_value(), true);
	EXPECT_EQ(parseAs<float>("3.4028235e38", "float"), std::numeric_limits<float>::max());
	EXPECT_EQ(parseAs<std::string>("\"a\\x41\\t\"", "string"), "aA\t");
	EXPECT_EQ(parseAs<std::string>("\"\xc3\xa9\"", "string"), "\xc3\xa9");
	const auto unset = parseAs<std::optional<int>>("unset", "optint");
	ASSERT_TRUE(unset.has_value());
	EXPECT_FALSE(unset->has_value());
	EXPECT_EQ(parseAs<std::optional<int>>("3", "optint"), std::optional<int>(3));
	EXPECT_EQ(parseAs<std::optional<std::string>>("\"unset\"", "optstring"), std::optional<std::string>("unset"));
	EXPECT_EQ(parseAs<Eigen::Vector4d>("1  2\t3 4", "vec4"), Eigen::Vector4d(1, 2, 3, 4));
	EXPECT_EQ(parseAs<std::vector<double>>("", "doublelist"), std::vector<double>{});
	EXPECT_EQ(parseAs<std::vector<std::string>>("\"a b\"  \"\"", "stringlist"), (std::vector<std::string>{"a b", ""}));

	const auto m = parseAs<Eigen::Matrix4d>("1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16", "mat4");
	ASSERT_TRUE(m.has_value());
	EXPECT_EQ((*m)(0, 1), 2);
	EXPECT_EQ((*m)(1, 0), 5);
	EXPECT_EQ((*m)(3, 3), 16);

	EXPECT_FALSE(PropertyText::parseValue("1", "number").has_value());
	EXPECT_FALSE(PropertyText::parseValue("1", "").has_value());
}

TEST(PropertyTextTest, ConsumeQuotedLeavesTheRest)
{
	std::string_view text = "\"a\\\"b\" rest";
	EXPECT_EQ(PropertyText::consumeQuoted(text), "a\"b");
	EXPECT_EQ(text, " rest");

	for (std::string_view bad : {"", "a", "\"open", "\"\\", "\"\\x4\"", "\"\\u0041\"", "\"\t\""})
	{
		std::string_view unchanged = bad;
		EXPECT_FALSE(PropertyText::consumeQuoted(unchanged).has_value()) << bad;
		EXPECT_EQ(unchanged, bad);
	}
}
