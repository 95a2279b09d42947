#include "src/graph/GlGraphDisplayOptions.h"

#include "host/core/Log.h"
#include "host/core/Properties.h"
#include "host/core/PropertiesIO.h"
#include "src/graph/Graph.h"

#include <gtest/gtest.h>

using namespace Quorvale;
using Options = GlGraph::DisplayOptions;

TEST(GlGraphDisplayOptionsTest, NewGraphCarriesDefaultOptions)
{
	Graph graph;
	const Options* options = graph.components().get<Options>();
	ASSERT_NE(options, nullptr);
	const auto& general = options->generalOptions.value();
	EXPECT_TRUE(general.drawPoints.value());
	EXPECT_EQ(general.pointSize.value(), 8.0);
	EXPECT_EQ(general.pointColor.value(), Eigen::Vector4d(1, 0, 0, 1));
	EXPECT_TRUE(general.onlyDrawNontrivialNodes.value());
	EXPECT_FALSE(general.showNodeIndices.value());
	EXPECT_TRUE(general.drawLines.value());
	EXPECT_EQ(general.lineWidth.value(), 3.0);
	EXPECT_EQ(general.lineColor.value(), Eigen::Vector4d(0, 0, 1, 1));
	EXPECT_FALSE(general.drawDirectionOnLines.value());

	const auto& circles = options->featureCircleOptions.value();
	EXPECT_FALSE(circles.featureName.value().has_value());
	EXPECT_EQ(circles.circleColor.value(), Eigen::Vector4d(0, 1, 0, 1));
	EXPECT_EQ(circles.scalingMode.value(), Options::FeatureCircleOptions::ScalingMode::Raw);
	EXPECT_FALSE(circles.simplifyLinearChains.value());
	EXPECT_FALSE(circles.showLabels.value());
	EXPECT_EQ(circles.unitSuffix.value(), "");

	const auto& colormap = options->featureColorMapOptions.value();
	EXPECT_FALSE(colormap.edgeFeatureName.value().has_value());
	EXPECT_FALSE(colormap.nodeFeatureName.value().has_value());
	EXPECT_EQ(static_cast<int>(colormap.colormap.value()), 9);
}

TEST(GlGraphDisplayOptionsTest, ConfigurationLayout)
{
	Options options;
	Properties p;
	options.configuration(p);
	const auto subs = p.allSubProperties();
	ASSERT_EQ(subs.size(), 3u);
	EXPECT_EQ(subs[0]->name(), "featureCircleOptions");
	EXPECT_EQ(subs[1]->name(), "generalOptions");
	EXPECT_EQ(subs[2]->name(), "featureColorMapOptions");

	const Properties& general = *subs[1];
	EXPECT_EQ(general.paramNames(),
	          (std::vector<std::string>{"drawPoints", "pointSize", "pointColor", "onlyDrawNontrivialNodes", "showNodeIndices", "drawLines",
	                                    "lineWidth", "lineColor", "drawDirectionOnLines"}));
	EXPECT_EQ(general.paramType("lineColor"), PropertiesDetail::ParamType::Color);
	EXPECT_EQ(general.paramAttribute("pointColor", "type"), std::optional<std::string>("reduced"));
	EXPECT_EQ(general.paramType("pointSize"), PropertiesDetail::ParamType::Default);
	EXPECT_TRUE(general.findParam("pointSize")->defaultValue.has_value());

	const Properties& circles = *subs[0];
	EXPECT_EQ(circles.paramType("scalingMode"), PropertiesDetail::ParamType::Enumeration);
	EXPECT_EQ(circles.paramAttribute("scalingMode", "values"), std::optional<std::string>("Raw, RescaledMax, Logarithmic"));
	EXPECT_EQ(circles.param<int>("scalingMode"), 0);
	// An unset optional writes no default.
	EXPECT_FALSE(circles.findParam("featureName")->defaultValue.has_value());

	const Properties& colormap = *subs[2];
	EXPECT_EQ(colormap.paramType("colormap"), PropertiesDetail::ParamType::Default);
	EXPECT_FALSE(colormap.paramAttribute("colormap", "values").has_value());
	EXPECT_EQ(colormap.param<int>("colormap"), 9);
}

TEST(GlGraphDisplayOptionsTest, EqualityAssignmentAndSignals)
{
	Options a, b;
	EXPECT_TRUE(a.equals(b));
	b.generalOptions->lineWidth = 5.0;
	EXPECT_FALSE(a.equals(b));
	EXPECT_FALSE(a == b);

	int general = 0, circles = 0, colormap = 0, total = 0;
	a.generalOptions.signalValueChanged.connect([&] { ++general; });
	a.featureCircleOptions.signalValueChanged.connect([&] { ++circles; });
	a.featureColorMapOptions.signalValueChanged.connect([&] { ++colormap; });
	a.signalParametersChanged.connect([&](ParameterBase*) { ++total; });
	EXPECT_TRUE(a.assign(b));
	EXPECT_TRUE(a.equals(b));
	EXPECT_EQ(general, 1);
	EXPECT_EQ(circles, 1);
	EXPECT_EQ(colormap, 1);
	EXPECT_EQ(total, 3);
	EXPECT_EQ(a.generalOptions->lineWidth.value(), 5.0);

	// Changing one parameter reaches the group's and the component's signals once each.
	a.generalOptions->pointSize = 2.0;
	EXPECT_EQ(general, 2);
	EXPECT_EQ(total, 4);
	// Setting the same value again is no change.
	a.generalOptions->pointSize = 2.0;
	EXPECT_EQ(general, 2);
}

TEST(GlGraphDisplayOptionsTest, OtherComponentTypesAreRefused)
{
	class Other : public DataComponent<Other>
	{
	public:
		std::string id() const override { return "Other"; }
	};
	Options options;
	Other other;
	EXPECT_FALSE(options.assign(other));
	EXPECT_FALSE(options.equals(other));
}

TEST(GlGraphDisplayOptionsTest, CopyIsIndependentAndEqual)
{
	Options a;
	a.featureCircleOptions->featureName = std::optional<std::string>("diameter");
	a.featureCircleOptions->scalingMode = Options::FeatureCircleOptions::ScalingMode::Logarithmic;
	Options b(a);
	EXPECT_TRUE(a == b);
	EXPECT_EQ(b.featureCircleOptions->featureName.value(), std::optional<std::string>("diameter"));
	b.featureCircleOptions->unitSuffix = std::string("mm");
	EXPECT_FALSE(a == b);
	EXPECT_EQ(a.featureCircleOptions->unitSuffix.value(), "");

	// The copy's groups forward their own changes, not the source's.
	int changes = 0;
	b.signalParametersChanged.connect([&](ParameterBase*) { ++changes; });
	a.generalOptions->drawLines = false;
	EXPECT_EQ(changes, 0);
	b.generalOptions->drawLines = false;
	EXPECT_EQ(changes, 1);

	auto clone = a.cloneDerived();
	EXPECT_TRUE(*clone == a);
}

TEST(GlGraphDisplayOptionsTest, AddingSecondOptionsKeepsOneComponent)
{
	Graph graph;
	Options* first = graph.components().get<Options>();
	auto second = std::make_unique<Options>();
	second->generalOptions->pointSize = 4.0;
	Options* returned = graph.components().add(std::move(second));
	EXPECT_EQ(returned, first);
	EXPECT_EQ(first->generalOptions->pointSize.value(), 4.0);
	int count = 0;
	for (auto* c : graph.components().all())
		count += dynamic_cast<Options*>(c) ? 1 : 0;
	EXPECT_EQ(count, 1);
}

TEST(GlGraphDisplayOptionsTest, ConfigureChangesOnlyWhatIsStored)
{
	Options options;
	Properties p;
	p.addSubProperties("generalOptions").setParam("pointSize", 4.0);
	options.configure(p);
	Options expected;
	expected.generalOptions->pointSize = 4.0;
	EXPECT_TRUE(options == expected);
}

TEST(GlGraphDisplayOptionsTest, GetOrCreateAddsDefaultsOnce)
{
	Graph graph;
	graph.components().remove(graph.components().get<Options>());
	ASSERT_EQ(graph.components().get<Options>(), nullptr);
	Options* created = graph.components().getOrCreate<Options>();
	ASSERT_NE(created, nullptr);
	EXPECT_TRUE(*created == Options());
	EXPECT_EQ(graph.components().getOrCreate<Options>(), created);
}

TEST(GlGraphDisplayOptionsTest, StoredTextRoundTrip)
{
	Options a;
	a.generalOptions->lineColor = Eigen::Vector4d(0.25, 0.5, 0.75, 1);
	a.featureColorMapOptions->edgeFeatureName = std::optional<std::string>("length");
	a.featureColorMapOptions->colormap = GlColormap::Preset::Viridis;
	Properties stored;
	a.configuration(stored);
	auto text = PropertiesIO::saveToString(stored, 4);
	ASSERT_TRUE(text);
	auto loaded = PropertiesIO::loadFromString(*text, 4);
	ASSERT_TRUE(loaded);
	Options b;
	b.configure(*loaded);
	EXPECT_TRUE(a == b);
}

TEST(GlGraphDisplayOptionsTest, DeprecatedNameIsReadWithWarning)
{
	Options options;
	options.generalOptions->pointSize.addDeprecatedName("nodeSize");
	Properties p;
	p.addSubProperties("generalOptions").setParam("nodeSize", 6.0);
	Log::ScopedCapture log;
	options.configure(p);
	EXPECT_EQ(options.generalOptions->pointSize.value(), 6.0);
	const auto records = log.sink().records();
	ASSERT_EQ(records.size(), 1u);
	EXPECT_EQ(records[0].category, "Core.Parameter");
	EXPECT_EQ(records[0].level, Log::Warning);
	EXPECT_EQ(records[0].message, "Using deprecated parameter name 'nodeSize'. Please use: 'pointSize' instead.");
}
