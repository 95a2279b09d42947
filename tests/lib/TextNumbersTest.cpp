#include "host/lib/TextNumbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

using namespace Quorvale;

TEST(TextNumbersTest, ADecimalIsReadWholeOrNotAtAll)
{
	const double infinity = std::numeric_limits<double>::infinity();
	for (const auto& [word, value] : std::initializer_list<std::pair<std::string, std::optional<double>>>{
	         {"0", 0.0},
	         {"-1.5", -1.5},
	         {"+2", 2.0},
	         {".5", 0.5},
	         {"5.", 5.0},
	         {"1e3", 1000.0},
	         {"-2.5E-1", -0.25},
	         {"123456789012345678901234567890", 1.2345678901234568e29},
	         {"1e400", infinity},
	         {"-1e400", -infinity},
	         {"1e-400", 0.0},
	         {"INF", infinity},
	         {"-Infinity", -infinity},
	         // Parts of numbers, or other numbers than C writes, were read as 0 or as their start.
	         {"", std::nullopt},
	         {"-", std::nullopt},
	         {".", std::nullopt},
	         {"1e", std::nullopt},
	         {"1e+", std::nullopt},
	         {"1.5.2", std::nullopt},
	         {"0x10", std::nullopt},
	         {"1,5", std::nullopt},
	         {"--1", std::nullopt},
	         {"nan(1)", std::nullopt},
	         {"12abc", std::nullopt},
	     })
		EXPECT_EQ(TextNumbers::decimal(word), value) << word;
	EXPECT_TRUE(std::isnan(*TextNumbers::decimal("-nan")));
}

TEST(TextNumbersTest, AnIntegerIsDigitsWithASignOnlyWhereOneIsTaken)
{
	EXPECT_EQ(TextNumbers::integer("-12", true), -12);
	EXPECT_EQ(TextNumbers::integer("+12", true), 12);
	EXPECT_EQ(TextNumbers::integer("9223372036854775807", false), INT64_MAX);
	for (const auto& [word, withSign] : {std::pair{"-12", false}, std::pair{"+1", false}, std::pair{"9223372036854775808", false},
	                                     std::pair{"00000000000000000001", false}, std::pair{"1.0", true}, std::pair{"", true},
	                                     std::pair{"-", true}})
		EXPECT_EQ(TextNumbers::integer(word, withSign), std::nullopt) << word;
}
