#include "host/core/Parameter.h"

#include "host/core/Configurable.h"
#include "host/core/Log.h"
#include "host/core/Properties.h"
#include "host/core/SubProperty.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using namespace Quorvale;
using PropertiesDetail::ParamType;

namespace
{
	enum class Mode
	{
		Fast,
		Exact,
		Careful
	};

	/// A settings group as algorithms declare them: members register in declaration order.
	struct Group : Configurable
	{
		Group() = default;
		Group(const Group& other)
		    : Configurable(other)
		{
			width.assign(other.width);
			mode.assign(other.mode);
		}

		Parameter<int> width{"width", 3, this};
		Parameter<Mode> mode{"mode", Mode::Fast, this};
	};

	struct Owner : Configurable
	{
		Parameter<double> threshold{"threshold", 0.5, this};
		Parameter<bool> enabled{"enabled", true, this};
		SubProperty<Group> group{"group", Group(), this};
		Parameter<std::string> name{"name", "n", this};
	};

	/// Counts the emissions of a signal without arguments.
	struct Counter
	{
		explicit Counter(Signal<>& signal)
		{
			connection = signal.connect([this] { ++count; });
		}
		int count = 0;
		std::shared_ptr<SignalConnection> connection;
	};
}

// Parameter ----------------------------------------------------------------------------------------------

TEST(ParameterTest, ConfigurationWritesValueDefaultTypeAndAttributes)
{
	Parameter<double> p("alpha", 1.5);
	p = 2.0;
	p.setAttribute("tooltip", "How much");
	p.setLabel("Alpha");

	Properties out;
	p.configuration(out);
	const Properties::Param* written = out.findParam("alpha");
	ASSERT_NE(written, nullptr);
	EXPECT_EQ(std::get<double>(written->value), 2.0);
	ASSERT_TRUE(written->defaultValue.has_value());
	EXPECT_EQ(std::get<double>(*written->defaultValue), 1.5);
	EXPECT_EQ(written->type, ParamType::Default);
	EXPECT_EQ(written->attributes, (std::vector<std::pair<std::string, std::string>>{{"tooltip", "How much"}, {"label", "Alpha"}}));

	// Without the flag no default, with a type word the word.
	p.setWriteDefault(false);
	p.setParamType(ParamType::Color);
	Properties second;
	p.configuration(second);
	EXPECT_FALSE(second.findParam("alpha")->defaultValue.has_value());
	EXPECT_EQ(second.paramType("alpha"), ParamType::Color);
}

TEST(ParameterTest, ConfigureReadsConvertibleValuesOnly)
{
	Parameter<double> p("alpha", 1.5);
	Counter changes(p.signalValueChanged);
	Properties in;
	p.configure(in); // missing: unchanged
	EXPECT_EQ(p.value(), 1.5);

	in.setParam("alpha", 4); // an int reads as a double
	p.configure(in);
	EXPECT_EQ(p.value(), 4.0);

	in.setParam("alpha", "not a number");
	p.configure(in);
	EXPECT_EQ(p.value(), 4.0);
	EXPECT_EQ(changes.count, 1);

	p.configureDefault();
	EXPECT_EQ(p.value(), 1.5);
	EXPECT_EQ(changes.count, 2);
}

TEST(ParameterTest, ChangeSignalFiresOnlyOnChange)
{
	Parameter<double> p("x", 1.0);
	Counter changes(p.signalValueChanged);
	p = 1.0;
	EXPECT_EQ(changes.count, 0);
	p = 2.0;
	EXPECT_EQ(changes.count, 1);
	p = std::numeric_limits<double>::quiet_NaN();
	p = std::numeric_limits<double>::quiet_NaN(); // NaN to NaN is no change
	EXPECT_EQ(changes.count, 2);

	Properties same;
	same.setParam("x", std::numeric_limits<double>::quiet_NaN());
	p.configure(same);
	EXPECT_EQ(changes.count, 2);

	Parameter<std::string> s("s", "a");
	Counter textChanges(s.signalValueChanged);
	s = "a";
	s = "b";
	EXPECT_EQ(textChanges.count, 1);
}

TEST(ParameterTest, EnumerationsAreStoredAsIntWithTypeEight)
{
	Parameter<Mode> p("mode", Mode::Exact);
	p.setAttribute("values", "Fast,Exact,Careful");
	Properties out;
	p.configuration(out);
	EXPECT_EQ(std::get<int>(out.findParam("mode")->value), 1);
	EXPECT_EQ(std::get<int>(*out.findParam("mode")->defaultValue), 1);
	EXPECT_EQ(static_cast<int>(out.paramType("mode")), 8);
	EXPECT_EQ(out.paramAttribute("mode", "values"), "Fast,Exact,Careful");

	Properties in;
	in.setParam("mode", 2);
	p.configure(in);
	EXPECT_EQ(p.value(), Mode::Careful);
}

TEST(ParameterTest, OptionalParametersStartUnsetAndWriteNoDefault)
{
	Parameter<std::optional<int>> p("limit");
	EXPECT_FALSE(p.value().has_value());
	EXPECT_FALSE(p.writesDefault());

	Properties out;
	p.configuration(out);
	EXPECT_EQ(std::get<std::optional<int>>(out.findParam("limit")->value), std::nullopt);
	EXPECT_FALSE(out.findParam("limit")->defaultValue.has_value());

	Properties in;
	in.setParam("limit", 5);
	p.configure(in);
	EXPECT_EQ(p.value(), std::optional<int>(5));
	p.configuration(out);
	EXPECT_EQ(std::get<std::optional<int>>(out.findParam("limit")->value), std::optional<int>(5));
	EXPECT_FALSE(out.findParam("limit")->defaultValue.has_value());
}

TEST(ParameterTest, DeprecatedNamesAreReadWithAWarning)
{
	Parameter<int> p("new", 0);
	p.addDeprecatedName("old");
	Properties in;
	in.setParam("old", 4);
	{
		Log::ScopedCapture log;
		p.configure(in);
		ASSERT_EQ(log->records().size(), 1u);
		const Log::Record record = log->records()[0];
		EXPECT_EQ(record.level, 3);
		EXPECT_EQ(record.category, "Core.Parameter");
		EXPECT_EQ(record.message, "Using deprecated parameter name 'old'. Please use: 'new' instead.");
	}
	EXPECT_EQ(p.value(), 4);

	// The current name wins, silently.
	in.setParam("new", 9);
	Log::ScopedCapture log;
	p.configure(in);
	EXPECT_EQ(p.value(), 9);
	EXPECT_TRUE(log->records().empty());
}

TEST(ParameterTest, AssignTakesEverythingFromTheSameTypeOnly)
{
	Parameter<int> source("a", 1);
	source = 5;
	source.setWriteDefault(false);
	source.setParamType(ParamType::Slider);
	source.setAttribute("min", "0");
	Parameter<int> target("b", 2);
	Counter changes(target.signalValueChanged);
	EXPECT_TRUE(target.assign(source));
	EXPECT_EQ(target.value(), 5);
	EXPECT_EQ(target.defaultValue(), 1);
	EXPECT_FALSE(target.writesDefault());
	EXPECT_EQ(target.paramType(), ParamType::Slider);
	EXPECT_EQ(target.attribute("min"), "0");
	EXPECT_EQ(target.name(), "b");
	EXPECT_EQ(changes.count, 1);

	Parameter<double> other("c", 1.0);
	EXPECT_FALSE(target.assign(other));
	EXPECT_EQ(changes.count, 1);
}

// Configurable -------------------------------------------------------------------------------------------

TEST(ParameterTest, ConfigurableWalksParametersInRegistrationOrder)
{
	Owner owner;
	ASSERT_EQ(owner.parameters().size(), 4u);
	EXPECT_EQ(owner.parameters()[0], &owner.threshold);
	EXPECT_EQ(owner.parameter("name"), &owner.name);
	EXPECT_EQ(owner.parameter("missing"), nullptr);

	Properties out;
	owner.configuration(out);
	EXPECT_EQ(out.paramNames(), (std::vector<std::string>{"threshold", "enabled", "name"}));
	ASSERT_EQ(out.allSubProperties().size(), 1u);

	std::vector<ParameterBase*> changed;
	owner.signalParametersChanged.connect([&](ParameterBase* p) { changed.push_back(p); });
	Properties in;
	in.setParam("enabled", false);
	in.setParam("threshold", 0.75);
	owner.configure(in);
	EXPECT_EQ(owner.threshold.value(), 0.75);
	EXPECT_FALSE(owner.enabled.value());
	EXPECT_EQ(changed, (std::vector<ParameterBase*>{&owner.threshold, &owner.enabled}));

	owner.group->width = 10;
	owner.configureDefaults();
	EXPECT_EQ(owner.threshold.value(), 0.5);
	EXPECT_TRUE(owner.enabled.value());
	EXPECT_EQ(owner.group->width.value(), 3);
}

TEST(ParameterTest, ParametersAndOwnersMayDieInEitherOrder)
{
	Configurable owner;
	{
		Parameter<int> shortLived("x", 1, &owner);
		EXPECT_EQ(owner.parameters().size(), 1u);
		EXPECT_EQ(shortLived.owner(), &owner);
	}
	EXPECT_TRUE(owner.parameters().empty());
	Properties out;
	owner.configuration(out); // must not touch the destroyed parameter
	EXPECT_TRUE(out.isEmpty());

	auto parameter = std::make_unique<Parameter<int>>("y", 1);
	{
		Configurable shortOwner;
		shortOwner.registerParameter(parameter.get());
		EXPECT_EQ(parameter->owner(), &shortOwner);
	}
	EXPECT_EQ(parameter->owner(), nullptr);
	*parameter = 2; // its change no longer reaches the destroyed owner
	parameter.reset();

	// Registering on a second owner moves the parameter.
	Configurable first, second;
	Parameter<int> moving("z", 0, &first);
	second.registerParameter(&moving);
	EXPECT_TRUE(first.parameters().empty());
	EXPECT_EQ(second.parameters(), std::vector<ParameterBase*>{&moving});
}

// SubProperty --------------------------------------------------------------------------------------------

TEST(ParameterTest, SubPropertyIsStoredAsNamedSubProperties)
{
	Owner owner;
	owner.group.setAttribute("hidden", "true");
	owner.group->width = 7;
	Properties out;
	owner.configuration(out);
	const Properties* sub = out.subProperties("group");
	ASSERT_NE(sub, nullptr);
	EXPECT_EQ(sub->name(), "group");
	EXPECT_EQ(sub->param<int>("width"), 7);
	EXPECT_EQ(static_cast<int>(sub->paramType("mode")), 8);
	EXPECT_EQ(sub->attribute("hidden"), "true");

	// Writing again updates the same sub-properties instead of adding another.
	owner.configuration(out);
	EXPECT_EQ(out.allSubProperties().size(), 1u);

	Owner reader;
	Properties in;
	in.addSubProperties("group").setParam("mode", static_cast<int>(Mode::Careful));
	in.setParam("width", 99); // not inside the group: ignored by it
	reader.configure(in);
	EXPECT_EQ(reader.group->mode.value(), Mode::Careful);
	EXPECT_EQ(reader.group->width.value(), 3);
}

TEST(ParameterTest, SubPropertyForwardsItsGroupsChanges)
{
	Owner owner;
	Counter groupChanges(owner.group.signalValueChanged);
	std::vector<ParameterBase*> ownerChanges;
	owner.signalParametersChanged.connect([&](ParameterBase* p) { ownerChanges.push_back(p); });
	owner.group->width = 4;
	owner.group->width = 4;
	EXPECT_EQ(groupChanges.count, 1);
	EXPECT_EQ(ownerChanges, std::vector<ParameterBase*>{&owner.group});
}

TEST(ParameterTest, SubPropertyAssignEmitsOnceForItselfAndOncePerParameter)
{
	Owner source;
	source.group->width = 12;
	source.group->mode = Mode::Exact;
	source.group.setAttribute("label", "Group");
	Owner target;
	Counter groupChanges(target.group.signalValueChanged);
	Counter widthChanges(target.group->width.signalValueChanged);
	Counter modeChanges(target.group->mode.signalValueChanged);

	EXPECT_TRUE(target.group.assign(source.group));
	EXPECT_EQ(target.group->width.value(), 12);
	EXPECT_EQ(target.group->mode.value(), Mode::Exact);
	EXPECT_EQ(target.group.attribute("label"), "Group");
	EXPECT_EQ(groupChanges.count, 1);
	EXPECT_EQ(widthChanges.count, 1);
	EXPECT_EQ(modeChanges.count, 1);

	// Forwarding still works after the assignment.
	target.group->width = 13;
	EXPECT_EQ(groupChanges.count, 2);

	EXPECT_FALSE(target.group.assign(source.threshold));
	EXPECT_EQ(groupChanges.count, 2);
}

TEST(ParameterTest, AttributeChangesAreSignalledOnTheirOwnAndForwardedByTheOwner)
{
	Owner owner;
	Counter own(owner.threshold.signalAttributeChanged);
	Counter value(owner.threshold.signalValueChanged);
	std::vector<std::string> forwarded;
	const auto connection = owner.signalAttributeChanged.connect([&](ParameterBase* p) { forwarded.push_back(p->name()); });
	// A new text, the same again, a changed one, a removal, a removal of nothing, a value.
	owner.threshold.setAttribute("hidden", "true");
	owner.threshold.setAttribute("hidden", "true");
	EXPECT_EQ(own.count, 1);
	owner.threshold.setAttribute("hidden", "false");
	EXPECT_EQ(own.count, 2);
	owner.threshold.removeAttribute("hidden");
	owner.threshold.removeAttribute("hidden");
	owner.threshold.setValue(0.7);
	EXPECT_EQ(own.count, 3);
	EXPECT_EQ(value.count, 1);
	EXPECT_EQ(forwarded, std::vector<std::string>(3, "threshold"));
}
