#include "app/ParameterAssignment.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/core/Configurable.h"
#include "host/core/Parameter.h"
#include "host/core/SubProperty.h"
#include "tests/app/ProgramTestSupport.h"

using namespace Quorvale;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

namespace
{
	enum class Weighting
	{
		EdgeLength,
		Diameter,
		UserDefined
	};

	struct Inner : Configurable
	{
		Inner() = default;
		Inner(const Inner& other)
		    : Configurable(other)
		{
			depth.assign(other.depth);
		}
		Parameter<int> depth{"depth", 1, this};
	};

	/// Parameters of every kind an algorithm registers.
	struct Settings : Configurable
	{
		Settings() { weighting.setAttribute("values", "Edge Length, Diameter, User Defined"); }

		Parameter<double> threshold{"threshold", 0.25, this};
		Parameter<Weighting> weighting{"weighting", Weighting::Diameter, this};
		Parameter<std::optional<int>> label{"label", this};
		Parameter<bool> verbose{"verbose", false, this};
		Parameter<Eigen::Vector4d> color{"color", Eigen::Vector4d(0, 0, 0, 1), this};
		Parameter<std::string> title{"title", "graph", this};
		Parameter<std::uint64_t> seed{"seed", 7, this};
		Parameter<float> range{"range", 0.9f, this};
		Parameter<std::vector<double>> weights{"weights", std::vector<double>{1.0}, this};
		SubProperty<Inner> inner{"inner", Inner(), this};
	};

	/// Keeps its count between 0 and 10 whatever it is configured with, as algorithms that
	/// validate in `configure` do.
	struct Clamping : Configurable
	{
		void configure(const Properties& properties) override
		{
			Configurable::configure(properties);
			if (count.value() > 10)
				count = 10;
		}
		Parameter<int> count{"count", 1, this};
	};

	std::string errorOf(Configurable& configurable, const std::string& name, const std::string& text)
	{
		return ProgramTestSupport::errorOf([&] { ParameterAssignment::apply(configurable, name, text); });
	}
}

TEST(ParameterAssignmentTest, SplitsAtTheFirstEqualsSign)
{
	auto a = ParameterAssignment::split(" mode =Above=1");
	ASSERT_TRUE(a);
	EXPECT_EQ(a->name, "mode");
	EXPECT_EQ(a->value, "Above=1");
	ASSERT_TRUE(ParameterAssignment::split("title="));
	EXPECT_EQ(ParameterAssignment::split("title=")->value, "");
	EXPECT_FALSE(ParameterAssignment::split("threshold"));
	EXPECT_FALSE(ParameterAssignment::split("=0.5"));
	EXPECT_FALSE(ParameterAssignment::split("  =0.5"));
}

TEST(ParameterAssignmentTest, EnumerationsByNameIgnoringCaseAndSpacesOrByNumber)
{
	Settings s;
	ParameterAssignment::apply(s, "weighting", "user defined");
	EXPECT_EQ(s.weighting.value(), Weighting::UserDefined);
	ParameterAssignment::apply(s, "weighting", "EDGELENGTH");
	EXPECT_EQ(s.weighting.value(), Weighting::EdgeLength);
	ParameterAssignment::apply(s, "weighting", " Diameter ");
	EXPECT_EQ(s.weighting.value(), Weighting::Diameter);
	ParameterAssignment::apply(s, "weighting", "2");
	EXPECT_EQ(s.weighting.value(), Weighting::UserDefined);
	ParameterAssignment::apply(s, "weighting", "0");
	EXPECT_EQ(s.weighting.value(), Weighting::EdgeLength);
}

TEST(ParameterAssignmentTest, EnumerationsRefuseUnknownNamesAndNumbersOutsideTheirValues)
{
	Settings s;
	for (const char* bad : {"3", "-1", "Length", "", "1.0"})
	{
		const std::string message = errorOf(s, "weighting", bad);
		EXPECT_THAT(message, AllOf(HasSubstr("weighting"), HasSubstr("one of Edge Length, Diameter, User Defined"))) << bad;
		EXPECT_EQ(s.weighting.value(), Weighting::Diameter) << bad;
	}
}

TEST(ParameterAssignmentTest, OptionalsAcceptNoneAndUnset)
{
	Settings s;
	ParameterAssignment::apply(s, "label", "7");
	EXPECT_EQ(s.label.value(), std::optional<int>(7));
	ParameterAssignment::apply(s, "label", "none");
	EXPECT_EQ(s.label.value(), std::nullopt);
	ParameterAssignment::apply(s, "label", "-3");
	ParameterAssignment::apply(s, "label", "UNSET");
	EXPECT_EQ(s.label.value(), std::nullopt);
	EXPECT_THAT(errorOf(s, "label", "seven"), HasSubstr("an integer, or none"));
}

TEST(ParameterAssignmentTest, BooleansAcceptTheCommonWords)
{
	Settings s;
	for (const char* yes : {"true", "1", "yes", "on", "TRUE", "Yes"})
	{
		s.verbose = false;
		ParameterAssignment::apply(s, "verbose", yes);
		EXPECT_TRUE(s.verbose.value()) << yes;
	}
	for (const char* no : {"false", "0", "no", "off", "Off"})
	{
		s.verbose = true;
		ParameterAssignment::apply(s, "verbose", no);
		EXPECT_FALSE(s.verbose.value()) << no;
	}
	s.verbose = true;
	EXPECT_THAT(errorOf(s, "verbose", "maybe"), HasSubstr("true or false"));
	EXPECT_TRUE(s.verbose.value());
}

TEST(ParameterAssignmentTest, VectorsAndListsTakeCommasOrSpaces)
{
	Settings s;
	ParameterAssignment::apply(s, "color", "1,0.5,0,1");
	EXPECT_EQ(s.color.value(), Eigen::Vector4d(1, 0.5, 0, 1));
	ParameterAssignment::apply(s, "color", "0 1 0 0.25");
	EXPECT_EQ(s.color.value(), Eigen::Vector4d(0, 1, 0, 0.25));
	ParameterAssignment::apply(s, "color", " 1, 1 ,1,  1 ");
	EXPECT_EQ(s.color.value(), Eigen::Vector4d(1, 1, 1, 1));
	ParameterAssignment::apply(s, "weights", "0.5,2,3");
	EXPECT_EQ(s.weights.value(), (std::vector<double>{0.5, 2, 3}));

	for (const char* bad : {"1,0,0", "1,0,0,1,0", "1,,0,1", "1,0,0,x", "1;0;0;1"})
		EXPECT_THAT(errorOf(s, "color", bad), HasSubstr("4 numbers separated by commas or spaces")) << bad;
	EXPECT_EQ(s.color.value(), Eigen::Vector4d(1, 1, 1, 1));
}

TEST(ParameterAssignmentTest, NumbersAndTextsFollowTheirType)
{
	Settings s;
	ParameterAssignment::apply(s, "threshold", "1e-3");
	EXPECT_DOUBLE_EQ(s.threshold.value(), 1e-3);
	ParameterAssignment::apply(s, "seed", "18446744073709551615");
	EXPECT_EQ(s.seed.value(), 18446744073709551615ull);
	ParameterAssignment::apply(s, "title", "two words, \"quoted\"");
	EXPECT_EQ(s.title.value(), "two words, \"quoted\"");

	for (const char* bad : {"abc", "0.5x", "", "0,5"})
		EXPECT_THAT(errorOf(s, "threshold", bad), HasSubstr("expected a number")) << bad;
	EXPECT_THAT(errorOf(s, "seed", "-1"), HasSubstr("non-negative integer"));
	EXPECT_DOUBLE_EQ(s.threshold.value(), 1e-3);
}

// A number its type cannot hold is out of range, not a text that is no number.
TEST(ParameterAssignmentTest, NumbersBeyondTheirTypeAreOutOfRange)
{
	Settings s;
	const std::pair<const char*, const char*> cases[] = {{"range", "1e39"},   {"range", "-1e39"},  {"range", "1e-50"},
	                                                     {"threshold", "1e400"}, {"seed", "18446744073709551616"}};
	for (const auto& [name, text] : cases)
		EXPECT_THAT(errorOf(s, name, text), HasSubstr(std::string("Value '") + text + "' of parameter '" + name + "' is out of range: a "))
		    << text;
	EXPECT_THAT(errorOf(s, "range", "1e39"), HasSubstr("a float holds 0 and magnitudes from 1.17549e-38 to 3.40282e+38"));
	ParameterAssignment::apply(s, "range", "3e38");
	EXPECT_FLOAT_EQ(s.range.value(), 3e38f);
}

// One table for every listing: the value as it stands, what the parameter allows, and below it the
// tooltip (the plug-in's own word first), else the program's description, and apart from both whether it is hidden.
TEST(ParameterAssignmentTest, ListingsShowEveryParameterWithItsValueDescriptionAndWhetherItIsHidden)
{
	Settings s;
	s.label = 4;
	s.threshold.setAttribute("tooltip", "Cut-off (in mm).");
	s.threshold.setAttribute("min", "0");
	s.label.setAttribute("hidden", "true");
	const ParameterAssignment::ListingNotes notes{{{"threshold", "unused"}, {"weighting", "How edges weigh."}}, {{"seed", "any seed"}}};
	const std::string listing = ParameterAssignment::describeParameters(s, ParameterAssignment::ValueHeading::Current, notes);
	EXPECT_THAT(listing, HasSubstr("  NAME       TYPE         VALUE     ALLOWED\n"
	                               "  threshold  double       0.25      at least 0\n"
	                               "      Cut-off (in mm).\n"
	                               "  weighting  enumeration  Diameter  Edge Length, Diameter, User Defined\n"
	                               "      How edges weigh.\n"
	                               "  label      optint       4\n"
	                               "      (hidden in the window's panel; --set sets it)\n"));
	EXPECT_THAT(listing, AllOf(HasSubstr("  color      vec4         0,0,0,1\n"), HasSubstr("  title      string       graph\n"),
	                           HasSubstr("  seed       uint64       7         any seed\n"),
	                           HasSubstr("  inner      group                  a group of settings, not set by --set")));
	EXPECT_THAT(ParameterAssignment::describeParameters(s, ParameterAssignment::ValueHeading::Default), HasSubstr("NAME       TYPE         DEFAULT"));
	EXPECT_EQ(ParameterAssignment::describeParameters(Configurable(), ParameterAssignment::ValueHeading::Current), "  (none)");

	EXPECT_EQ(errorOf(s, "treshold", "1"), "Unknown parameter 'treshold'");
	EXPECT_THAT(errorOf(s, "inner", "1"), HasSubstr("group of settings"));
}

TEST(ParameterAssignmentTest, AValueTheParameterDoesNotKeepIsAnError)
{
	Clamping c;
	ParameterAssignment::apply(c, "count", "10");
	EXPECT_EQ(c.count.value(), 10);
	EXPECT_THAT(errorOf(c, "count", "11"), AllOf(HasSubstr("did not take the value '11'"), HasSubstr("it is 10")));
}

TEST(ParameterAssignmentTest, ParsingDoesNotTouchTheParameter)
{
	Settings s;
	Properties stored;
	s.weighting.configuration(stored);
	const auto* param = stored.findParam("weighting");
	ASSERT_NE(param, nullptr);
	const auto value = ParameterAssignment::parseValue(*param, "edge length");
	ASSERT_TRUE(value && std::holds_alternative<int>(*value));
	EXPECT_EQ(std::get<int>(*value), 0);
	EXPECT_EQ(ParameterAssignment::formatValue(*param), "Diameter");
	EXPECT_EQ(s.weighting.value(), Weighting::Diameter);
}
