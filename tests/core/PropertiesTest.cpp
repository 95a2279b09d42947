#include "host/core/Properties.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>

using namespace Quorvale;
using PropertiesDetail::ParamType;

namespace
{
	enum class Shape
	{
		Round,
		Square,
		Flat
	};
}

// Parameters -------------------------------------------------------------------------------------------

TEST(PropertiesTest, SetParamKeepsOrderAndWhatGoesWithTheValue)
{
	Properties p;
	p.setParam("b", 1);
	p.setParam("a", 2.5, 3.5);
	p.setParamType("a", ParamType::Slider);
	p.setParamAttribute("a", "min", "0");
	p.setParam("c", "text");

	// Setting an existing parameter changes only its value, even to another type.
	p.setParam("a", std::string("new"));
	EXPECT_EQ(p.paramNames(), (std::vector<std::string>{"b", "a", "c"}));
	const Properties::Param* a = p.findParam("a");
	ASSERT_NE(a, nullptr);
	EXPECT_EQ(std::get<std::string>(a->value), "new");
	EXPECT_EQ(std::get<double>(*a->defaultValue), 3.5);
	EXPECT_EQ(p.paramType("a"), ParamType::Slider);
	EXPECT_EQ(p.paramAttribute("a", "min"), "0");
	EXPECT_EQ(std::get<std::string>(p.findParam("c")->value), "text");

	// An enumeration is stored as its number.
	p.setParam("shape", Shape::Flat);
	EXPECT_EQ(std::get<int>(p.findParam("shape")->value), 2);
	EXPECT_EQ(p.param<Shape>("shape"), Shape::Flat);
}

TEST(PropertiesTest, RemoveParamAndMissingParameters)
{
	Properties p;
	p.setParam("x", 1);
	p.setParam("y", 2);
	p.setParam("z", 3);
	EXPECT_TRUE(p.removeParam("y"));
	EXPECT_FALSE(p.removeParam("y"));
	EXPECT_EQ(p.paramNames(), (std::vector<std::string>{"x", "z"}));
	EXPECT_FALSE(Properties().removeParam("x"));

	// Type words and attributes of a missing parameter are ignored, not created.
	p.setParamType("missing", ParamType::Color);
	p.setParamAttribute("missing", "k", "v");
	p.setParamDefault("missing", PropertyValue(1));
	EXPECT_FALSE(p.hasParam("missing"));
	EXPECT_EQ(p.paramType("missing"), ParamType::Default);
	EXPECT_EQ(p.paramAttribute("missing", "k"), std::nullopt);
	EXPECT_EQ(p.param<int>("missing"), std::nullopt);

	int value = 99;
	EXPECT_FALSE(p.param("missing", value));
	EXPECT_EQ(value, 99);
}

TEST(PropertiesTest, AttributesOfParametersAndOfTheSet)
{
	Properties p;
	p.setParam("x", 1);
	p.setParamAttribute("x", "tooltip", "first");
	p.setParamAttribute("x", "hidden", "true");
	p.setParamAttribute("x", "tooltip", "second");
	EXPECT_EQ(p.paramAttribute("x", "tooltip"), "second");
	EXPECT_EQ(p.findParam("x")->attributes.size(), 2u);
	EXPECT_EQ(p.paramAttribute("x", "label"), std::nullopt);

	p.setAttribute("version", "1");
	p.setAttribute("owner", "me");
	p.setAttribute("version", "2");
	EXPECT_EQ(p.attributes(), (std::vector<std::pair<std::string, std::string>>{{"version", "2"}, {"owner", "me"}}));
	EXPECT_EQ(p.attribute("owner"), "me");
	EXPECT_EQ(p.attribute("missing"), std::nullopt);
}

TEST(PropertiesTest, EmptinessAndSize)
{
	// An empty set costs one pointer: it is kept in every graph node and edge.
	EXPECT_EQ(sizeof(Properties), sizeof(void*));

	Properties p;
	EXPECT_TRUE(p.isEmpty());
	p.setName("");
	EXPECT_TRUE(p.isEmpty());
	p.setName("named");
	EXPECT_FALSE(p.isEmpty());
	p.clear();
	EXPECT_TRUE(p.isEmpty());
	EXPECT_EQ(p.name(), "");

	p.setAttribute("k", "");
	EXPECT_FALSE(p.isEmpty());
	p.clear();
	p.addSubProperties("");
	EXPECT_FALSE(p.isEmpty());
	p.clear();
	p.setParam("x", 0);
	EXPECT_FALSE(p.isEmpty());
	p.removeParam("x");
	EXPECT_TRUE(p.isEmpty());
}

TEST(PropertiesTest, CopiesAreDeepAndMovesEmptyTheSource)
{
	Properties original("o");
	original.addSubProperties("sub").setParam("x", 1);
	Properties copy = original;
	copy.subProperties("sub")->setParam("x", 2);
	EXPECT_EQ(original.subProperties("sub")->param<int>("x"), 1);

	Properties assigned;
	assigned = original;
	EXPECT_TRUE(assigned.compareWith(original));

	Properties moved = std::move(copy);
	EXPECT_EQ(moved.subProperties("sub")->param<int>("x"), 2);
	EXPECT_TRUE(copy.isEmpty()); // NOLINT(bugprone-use-after-move): a moved-from set is empty
}

TEST(PropertiesTest, SubPropertiesByNameAndPosition)
{
	Properties p;
	Properties& first = p.addSubProperties("item");
	first.setParam("i", 0);
	p.addSubProperties("other");
	Properties named("item");
	named.setParam("i", 1);
	p.addSubProperties(named);

	EXPECT_EQ(p.subProperties("item")->param<int>("i"), 0);
	EXPECT_EQ(p.subProperties("missing"), nullptr);
	EXPECT_EQ(&p.getOrAddSubProperties("other"), p.allSubProperties()[1]);
	EXPECT_EQ(p.getOrAddSubProperties("new").name(), "new");
	ASSERT_EQ(p.allSubProperties().size(), 4u);
	EXPECT_EQ(p.allSubProperties()[2]->param<int>("i"), 1);

	EXPECT_EQ(p.removeSubProperties("item"), 2);
	EXPECT_EQ(p.removeSubProperties("item"), 0);
	ASSERT_EQ(p.allSubProperties().size(), 2u);
	EXPECT_EQ(p.allSubProperties()[0]->name(), "other");
	EXPECT_EQ(Properties().removeSubProperties("x"), 0);
}

// Comparison -----------------------------------------------------------------------------------------

TEST(PropertiesTest, EachCompareFlagSeesItsDifference)
{
	auto base = []
	{
		Properties p("set");
		p.setAttribute("a", "1");
		p.setParam("x", 1.0, 2.0);
		p.setParamType("x", ParamType::Slider);
		p.setParamAttribute("x", "min", "0");
		p.addSubProperties("sub").setParam("y", 3);
		return p;
	};
	struct Case
	{
		const char* what;
		unsigned flag;
		std::function<void(Properties&)> change;
	};
	const std::vector<Case> cases = {
	    {"value", Properties::CompareValues, [](Properties& p) { p.setParam("x", 1.5); }},
	    {"value type", Properties::CompareValues, [](Properties& p) { p.setParam("x", 1.0f); }},
	    {"default", Properties::CompareDefaults, [](Properties& p) { p.setParamDefault("x", PropertyValue(2.5)); }},
	    {"no default", Properties::CompareDefaults, [](Properties& p) { p.setParamDefault("x", std::nullopt); }},
	    {"type word", Properties::CompareTypes, [](Properties& p) { p.setParamType("x", ParamType::Color); }},
	    {"parameter attribute", Properties::CompareAttributes, [](Properties& p) { p.setParamAttribute("x", "min", "1"); }},
	    {"set attribute", Properties::CompareAttributes, [](Properties& p) { p.setAttribute("b", "2"); }},
	    {"extra sub-properties", Properties::CompareSubProperties, [](Properties& p) { p.addSubProperties("sub"); }},
	    {"sub-properties name", Properties::CompareSubProperties, [](Properties& p) { p.allSubProperties()[0]->setName("renamed"); }},
	    {"name", Properties::CompareNames, [](Properties& p) { p.setName("other"); }},
	};
	const Properties reference = base();
	EXPECT_TRUE(reference.compareWith(base()));
	for (const Case& c : cases)
	{
		Properties changed = base();
		c.change(changed);
		EXPECT_FALSE(reference.compareWith(changed, Properties::CompareAll)) << c.what;
		EXPECT_FALSE(changed.compareWith(reference, Properties::CompareAll)) << c.what;
		EXPECT_FALSE(reference.compareWith(changed, c.flag)) << c.what;
		EXPECT_TRUE(reference.compareWith(changed, Properties::CompareAll & ~c.flag)) << c.what;
	}

	// A value inside a sub-properties set counts as a value difference there.
	Properties changed = base();
	changed.subProperties("sub")->setParam("y", 4);
	EXPECT_FALSE(reference.compareWith(changed, Properties::CompareValues | Properties::CompareSubProperties));
	EXPECT_TRUE(reference.compareWith(changed, Properties::CompareAll & ~Properties::CompareSubProperties));
}

TEST(PropertiesTest, ComparisonIsExactForFloatingPoint)
{
	Properties a;
	a.setParam("nan", std::numeric_limits<double>::quiet_NaN());
	a.setParam("zero", 0.0);
	Properties b = a;
	EXPECT_TRUE(a.compareWith(b)); // a NaN equals its copy
	b.setParam("zero", -0.0);
	EXPECT_FALSE(a.compareWith(b));
	b.setParam("zero", 0.0);
	b.setParam("nan", -std::numeric_limits<double>::quiet_NaN());
	EXPECT_FALSE(a.compareWith(b));

	// Attributes are compared regardless of their order.
	Properties c;
	c.setAttribute("k1", "v1");
	c.setAttribute("k2", "v2");
	Properties d;
	d.setAttribute("k2", "v2");
	d.setAttribute("k1", "v1");
	EXPECT_TRUE(c.compareWith(d));
	// Parameters are matched by name, not position.
	Properties e;
	e.setParam("p", 1);
	e.setParam("q", 2);
	Properties f;
	f.setParam("q", 2);
	f.setParam("p", 1);
	EXPECT_TRUE(e.compareWith(f));
	f.removeParam("q");
	f.setParam("r", 2);
	EXPECT_FALSE(e.compareWith(f, 0));
}

// Conversions ----------------------------------------------------------------------------------------

TEST(PropertiesTest, NumbersConvertWhenTheValueFits)
{
	Properties p;
	p.setParam("int", 3);
	p.setParam("half", 2.5);
	p.setParam("whole", 3.0);
	p.setParam("big", std::int64_t(5000000000));
	p.setParam("max", std::numeric_limits<std::uint64_t>::max());
	p.setParam("negative", -1);
	p.setParam("huge", 1e300);
	p.setParam("nan", std::numeric_limits<double>::quiet_NaN());

	EXPECT_EQ(p.param<double>("int"), 3.0);
	EXPECT_EQ(p.param<float>("int"), 3.0f);
	EXPECT_EQ(p.param<std::int64_t>("int"), 3);
	EXPECT_EQ(p.param<bool>("int"), true);
	EXPECT_EQ(p.param<std::optional<int>>("int"), std::optional<int>(3));
	EXPECT_EQ(p.param<int>("whole"), 3);
	EXPECT_EQ(p.param<int>("half"), std::nullopt);
	EXPECT_EQ(p.param<int>("big"), std::nullopt);
	EXPECT_EQ(p.param<std::int64_t>("big"), 5000000000);
	EXPECT_EQ(p.param<std::int64_t>("max"), std::nullopt);
	EXPECT_EQ(p.param<std::uint64_t>("max"), std::numeric_limits<std::uint64_t>::max());
	EXPECT_EQ(p.param<std::uint64_t>("negative"), std::nullopt);
	EXPECT_EQ(p.param<int>("nan"), std::nullopt);
	EXPECT_EQ(p.param<float>("huge"), std::nullopt);
	p.setParam("justFits", 3.4028235e38); // above the largest float, but rounds to it
	EXPECT_EQ(p.param<float>("justFits"), std::numeric_limits<float>::max());
	EXPECT_TRUE(std::isnan(*p.param<float>("nan")));

	int kept = 7;
	EXPECT_FALSE(p.param("half", kept));
	EXPECT_EQ(kept, 7);
}

TEST(PropertiesTest, TextConvertsAsTheTextFormatWritesValues)
{
	Properties p;
	p.setParam("double", "0.5");
	p.setParam("bool", "true");
	p.setParam("vector", "1 2 3 4");
	p.setParam("list", "1 2 3");
	p.setParam("word", "abc");
	p.setParam("unset", "unset");

	EXPECT_EQ(p.param<double>("double"), 0.5);
	EXPECT_EQ(p.param<float>("double"), 0.5f);
	EXPECT_EQ(p.param<bool>("bool"), true);
	EXPECT_EQ(p.param<Eigen::Vector4d>("vector"), Eigen::Vector4d(1, 2, 3, 4));
	EXPECT_EQ(p.param<Eigen::Vector3d>("vector"), std::nullopt);
	EXPECT_EQ(p.param<std::vector<int>>("list"), (std::vector<int>{1, 2, 3}));
	EXPECT_EQ(p.param<double>("word"), std::nullopt);
	EXPECT_EQ(p.param<bool>("word"), std::nullopt);
	EXPECT_EQ(p.param<std::string>("word"), "abc");
	EXPECT_EQ(p.param<std::optional<std::string>>("word"), std::optional<std::string>("abc"));
	const auto unset = p.param<std::optional<int>>("unset");
	ASSERT_TRUE(unset.has_value());
	EXPECT_FALSE(unset->has_value());

	// Non-text values do not turn into text.
	p.setParam("number", 1.5);
	EXPECT_EQ(p.param<std::string>("number"), std::nullopt);
	p.setParam("optional", std::optional<std::string>("x"));
	EXPECT_EQ(p.param<std::string>("optional"), "x");
}
