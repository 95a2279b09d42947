#include "host/core/ParameterLimits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

using namespace Quorvale;

namespace
{
	Properties::Param param(PropertyValue value, std::vector<std::pair<std::string, std::string>> attributes)
	{
		Properties::Param p;
		p.name = "p";
		p.value = std::move(value);
		p.attributes = std::move(attributes);
		return p;
	}

	struct Case
	{
		const char* what;
		Properties::Param param;
		PropertyValue value;
		std::string violation;
	};
}

TEST(ParameterLimitsTest, ValuesOutsideTheAttributesAreNamed)
{
	const Case cases[] = {
	    {"inside min", param(0.0, {{"min", "0.0"}}), 0.0, ""},
	    {"below min", param(0.0, {{"min", "0.0"}}), -1.0, "must be at least 0.0"},
	    {"NaN is outside any bound", param(0.0, {{"min", "0.0"}}), std::nan(""), "must be at least 0.0"},
	    {"above max", param(1, {{"max", "3"}}), 4, "must be at most 3"},
	    {"both bounds", param(std::uint64_t(0), {{"min", "0"}, {"max", "3"}}), std::uint64_t(7), "must lie between 0 and 3"},
	    {"engaged optional", param(std::optional<int>(2), {{"min", "1"}}), std::optional<int>(0), "must be at least 1"},
	    {"empty optional", param(std::optional<int>(2), {{"min", "1"}}), std::optional<int>(), ""},
	    {"every element", param(Eigen::Vector3d(1, 1, 1), {{"min", "0"}}), Eigen::Vector3d(1, -1, 1), "must be at least 0"},
	    {"bound that is no number", param(0.0, {{"min", "zero"}}), -5.0, ""},
	    {"listed text", param(std::string("a"), {{"values", "length, diameter"}}), std::string("diameter"), ""},
	    {"unlisted text", param(std::string("a"), {{"values", "length, diameter"}}), std::string("width"),
	     "must be one of length, diameter"},
	    {"empty list allows any text", param(std::string("a"), {{"values", ""}}), std::string("width"), ""},
	};
	for (const Case& c : cases)
		EXPECT_EQ(ParameterLimits::violation(c.param, c.value), c.violation) << c.what;
}

TEST(ParameterLimitsTest, DescribesWhatIsAllowed)
{
	EXPECT_EQ(ParameterLimits::describe(param(0.0, {{"min", "0.0"}, {"tooltip", "t"}})), "at least 0.0");
	EXPECT_EQ(ParameterLimits::describe(param(0, {{"min", "1"}, {"max", "5"}})), "1 to 5");
	EXPECT_EQ(ParameterLimits::describe(param(std::string(), {{"values", "a,b"}})), "one of a, b");
	// Enumerations list their names themselves; their "values" is no range.
	EXPECT_EQ(ParameterLimits::describe(param(0, {{"values", "a,b"}})), "");
	EXPECT_EQ(ParameterLimits::valueNames(param(0, {{"values", "a,,b "}})), (std::vector<std::string>{"a", "", "b"}));
}
