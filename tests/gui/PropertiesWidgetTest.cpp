#include "host/gui/PropertiesWidget.h"

#include "host/core/Log.h"
#include "host/gui/DoubleSpinBox.h"
#include "host/gui/IntegerSpinBox.h"
#include "src/algorithms/ComputeCommonGraphFeaturesAlgorithm.h"
#include "src/algorithms/MinimumSpanningTreeAlgorithm.h"
#include "src/graph/Graph.h"
#include "tests/gui/TestAlgorithms.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include <cstdint>
#include <limits>
#include <string>
#include <thread>
#include <vector>

using namespace Quorvale;
using namespace Quorvale::GuiTest;

namespace
{
	/// Types text into an editor the way a user does: select all, type, press Return.
	void typeInto(QWidget* widget, const QString& text)
	{
		if (auto* edit = qobject_cast<QLineEdit*>(widget))
			edit->selectAll();
		else if (auto* box = qobject_cast<QAbstractSpinBox*>(widget))
			box->selectAll();
		QTest::keyClicks(widget, text);
		QTest::keyClick(widget, Qt::Key_Return);
	}

	class PropertiesWidgetTest : public ::testing::Test
	{
	protected:
		PropertiesWidgetTest()
		    : spy(&widget, &PropertiesWidget::parameterChanged)
		{
			widget.setSplitCamelCase(true);
			widget.setConfigurable(&algorithm);
		}

		template <typename T>
		T* editorAs(const std::string& name)
		{
			return dynamic_cast<T*>(widget.editor(name));
		}

		template <typename T>
		std::vector<T*> partsOf(const std::string& name)
		{
			std::vector<T*> out;
			for (T* part : widget.editor(name)->findChildren<T*>())
				out.push_back(part);
			return out;
		}

		/// Names reported by `parameterChanged` so far, in order.
		std::vector<std::string> reported() const
		{
			std::vector<std::string> names;
			for (const auto& arguments : spy)
				names.push_back(arguments.at(0).toString().toStdString());
			return names;
		}

		KitchenSinkAlgorithm algorithm;
		PropertiesWidget widget;
		QSignalSpy spy;
	};
}

TEST_F(PropertiesWidgetTest, EditorsFollowTheValueTypeAndShowValuesExactly)
{
	ASSERT_NE(editorAs<QCheckBox>("enabled"), nullptr);
	EXPECT_TRUE(editorAs<QCheckBox>("enabled")->isChecked());
	ASSERT_NE(editorAs<QSpinBox>("iterations"), nullptr);
	EXPECT_EQ(editorAs<QSpinBox>("iterations")->value(), 10);
	ASSERT_NE(editorAs<IntegerSpinBox<std::uint64_t>>("seed"), nullptr);
	ASSERT_NE(editorAs<IntegerSpinBox<std::int64_t>>("offsetSteps"), nullptr);
	EXPECT_EQ(editorAs<IntegerSpinBox<std::int64_t>>("offsetSteps")->text(), "-5");

	// Qt's double spin box would show two decimals ("0.00", "0.90") and round the values to them.
	auto* weight = editorAs<DoubleSpinBox>("smoothingWeight");
	ASSERT_NE(weight, nullptr);
	EXPECT_EQ(weight->text(), "0.001");
	EXPECT_EQ(weight->value(), 0.001);
	auto* range = editorAs<DoubleSpinBox>("searchRange");
	ASSERT_NE(range, nullptr);
	EXPECT_TRUE(range->isSinglePrecision());
	EXPECT_EQ(range->text(), "0.9");

	ASSERT_NE(editorAs<QLineEdit>("outputName"), nullptr);
	EXPECT_EQ(editorAs<QLineEdit>("outputName")->text(), "result");

	auto* combo = editorAs<QComboBox>("weighting");
	ASSERT_NE(combo, nullptr);
	ASSERT_EQ(combo->count(), 3);
	EXPECT_EQ(combo->itemText(0), "EdgeLength");
	EXPECT_EQ(combo->itemText(2), "UserDefined");
	EXPECT_EQ(combo->currentIndex(), 1);

	EXPECT_NE(editorAs<QPushButton>("color"), nullptr);

	ASSERT_EQ(partsOf<QCheckBox>("maxNodes").size(), 1u);
	ASSERT_EQ(partsOf<QSpinBox>("maxNodes").size(), 1u);
	EXPECT_FALSE(partsOf<QCheckBox>("maxNodes")[0]->isChecked());
	EXPECT_FALSE(partsOf<QSpinBox>("maxNodes")[0]->isEnabled());
	ASSERT_EQ(partsOf<QLineEdit>("rootName").size(), 1u);
	EXPECT_FALSE(partsOf<QLineEdit>("rootName")[0]->isEnabled());

	const auto offset = partsOf<DoubleSpinBox>("offset");
	ASSERT_EQ(offset.size(), 3u);
	EXPECT_EQ(offset[0]->value(), 1.0);
	EXPECT_EQ(offset[2]->value(), 3.0);

	ASSERT_NE(editorAs<QLineEdit>("weights"), nullptr);
	EXPECT_EQ(editorAs<QLineEdit>("weights")->text(), "0.5 1.5");
	EXPECT_EQ(spy.count(), 0);
}

TEST_F(PropertiesWidgetTest, AttributesBoundStepAndLabelRows)
{
	auto* iterations = editorAs<QSpinBox>("iterations");
	EXPECT_EQ(iterations->minimum(), 1);
	EXPECT_EQ(iterations->maximum(), 50);
	EXPECT_EQ(iterations->singleStep(), 5);
	iterations->stepBy(20);
	EXPECT_EQ(algorithm.iterations.value(), 50);
	typeInto(iterations, "80");
	EXPECT_EQ(algorithm.iterations.value(), 8) << "the digit that leaves the range is refused";

	auto* range = editorAs<DoubleSpinBox>("searchRange");
	EXPECT_EQ(range->minimum(), 0.0);
	EXPECT_EQ(range->maximum(), 10.0);
	auto* weight = editorAs<DoubleSpinBox>("smoothingWeight");
	EXPECT_EQ(weight->maximum(), std::numeric_limits<double>::max());
	// An unbounded box must not be as wide as the 309 digits of its largest value.
	EXPECT_LT(weight->sizeHint().width(), 400);

	// A model value outside the bounds is shown as it is, not clamped.
	algorithm.iterations = 0;
	EXPECT_EQ(iterations->value(), 0);

	EXPECT_EQ(widget.label("searchRange")->text(), "Search range");
	EXPECT_EQ(widget.label("outputName")->text(), "Name of the output");
	EXPECT_EQ(widget.label("iterations")->toolTip(), "How often to repeat");
	EXPECT_EQ(iterations->toolTip(), "How often to repeat");
	widget.setSplitCamelCase(false);
	EXPECT_EQ(widget.label("searchRange")->text(), "searchRange");

	EXPECT_TRUE(widget.label("internalCounter")->isHidden());
	EXPECT_TRUE(widget.editor("internalCounter")->isHidden());
	EXPECT_FALSE(widget.editor("iterations")->isHidden());
	EXPECT_FALSE(widget.label("iterations")->isHidden());
}

TEST_F(PropertiesWidgetTest, UserEditsReachTheAlgorithmAndAreReportedByName)
{
	editorAs<QCheckBox>("enabled")->click();
	EXPECT_FALSE(algorithm.enabled.value());

	editorAs<QComboBox>("weighting")->setCurrentIndex(2);
	EXPECT_EQ(algorithm.weighting.value(), Weighting::UserDefined);

	typeInto(editorAs<QLineEdit>("outputName"), "graph");
	EXPECT_EQ(algorithm.outputName.value(), "graph");

	typeInto(editorAs<DoubleSpinBox>("smoothingWeight"), "0.000125");
	EXPECT_EQ(algorithm.smoothingWeight.value(), 0.000125);
	typeInto(editorAs<DoubleSpinBox>("searchRange"), "2.3");
	EXPECT_EQ(algorithm.searchRange.value(), 2.3f);

	// Beyond 2^53, where a double spin box would round.
	typeInto(editorAs<IntegerSpinBox<std::uint64_t>>("seed"), "18446744073709551615");
	EXPECT_EQ(algorithm.seed.value(), std::numeric_limits<std::uint64_t>::max());
	typeInto(editorAs<IntegerSpinBox<std::int64_t>>("offsetSteps"), "-9007199254740993");
	EXPECT_EQ(algorithm.offsetSteps.value(), -9007199254740993LL);

	partsOf<DoubleSpinBox>("offset")[1]->setValue(5.5);
	EXPECT_EQ(algorithm.offset.value(), Eigen::Vector3d(1.0, 5.5, 3.0));

	typeInto(editorAs<QLineEdit>("weights"), "1 2 3");
	EXPECT_EQ(algorithm.weights.value(), (std::vector<double>{1.0, 2.0, 3.0}));

	EXPECT_EQ(reported(), (std::vector<std::string>{"enabled", "weighting", "outputName", "smoothingWeight", "searchRange", "seed",
	                                                "offsetSteps", "offset", "weights"}));
	EXPECT_EQ(widget.properties().param<int>("weighting"), 2);
}

TEST_F(PropertiesWidgetTest, InvalidOrUnchangedInputWritesNothing)
{
	Log::ScopedCapture log;
	typeInto(editorAs<QLineEdit>("weights"), "1 x");
	EXPECT_EQ(algorithm.weights.value(), (std::vector<double>{0.5, 1.5}));
	EXPECT_EQ(editorAs<QLineEdit>("weights")->text(), "0.5 1.5");
	EXPECT_EQ(log.sink().count(Log::Warning), 1);

	auto* seed = editorAs<IntegerSpinBox<std::uint64_t>>("seed");
	QString negative = "-1";
	int position = 0;
	EXPECT_EQ(seed->validate(negative, position), QValidator::Invalid);
	QString tooLarge = "18446744073709551616";
	EXPECT_EQ(seed->validate(tooLarge, position), QValidator::Invalid);
	// Text left incomplete is replaced by the value when editing finishes.
	seed->selectAll();
	QTest::keyClick(seed, Qt::Key_Backspace);
	QTest::keyClick(seed, Qt::Key_Return);
	EXPECT_EQ(algorithm.seed.value(), 0u);
	EXPECT_EQ(seed->text(), "0");

	// Return on an unchanged line edit finishes editing again; that is no change.
	typeInto(editorAs<QLineEdit>("outputName"), "result");
	EXPECT_EQ(spy.count(), 0);
}

TEST_F(PropertiesWidgetTest, ModelChangesShowWithoutBeingReported)
{
	algorithm.iterations = 7;
	algorithm.seed = (std::uint64_t(1) << 60) + 1;
	algorithm.weighting = Weighting::EdgeLength;
	algorithm.maxNodes = std::optional<int>(3);
	algorithm.outputName = "changed";
	algorithm.color = Eigen::Vector4d(0.0, 1.0, 0.0, 1.0);

	EXPECT_EQ(editorAs<QSpinBox>("iterations")->value(), 7);
	EXPECT_EQ(editorAs<IntegerSpinBox<std::uint64_t>>("seed")->text(), "1152921504606846977");
	EXPECT_EQ(editorAs<QComboBox>("weighting")->currentIndex(), 0);
	EXPECT_TRUE(partsOf<QCheckBox>("maxNodes")[0]->isChecked());
	EXPECT_TRUE(partsOf<QSpinBox>("maxNodes")[0]->isEnabled());
	EXPECT_EQ(partsOf<QSpinBox>("maxNodes")[0]->value(), 3);
	EXPECT_EQ(editorAs<QLineEdit>("outputName")->text(), "changed");
	EXPECT_EQ(widget.properties().param<int>("iterations"), 7);

	algorithm.configureDefaults();
	EXPECT_EQ(editorAs<QSpinBox>("iterations")->value(), 10);
	EXPECT_EQ(spy.count(), 0);
	// The model's changes were not written back either: the values are what the model set.
	EXPECT_EQ(algorithm.iterations.value(), 10);
}

TEST_F(PropertiesWidgetTest, ChangesFromAnotherThreadAreShownFromTheEventLoop)
{
	std::thread worker([this] { algorithm.iterations = 33; });
	worker.join();
	auto* iterations = editorAs<QSpinBox>("iterations");
	EXPECT_EQ(iterations->value(), 10);
	QCoreApplication::processEvents();
	EXPECT_EQ(iterations->value(), 33);
	EXPECT_EQ(spy.count(), 0);
}

TEST_F(PropertiesWidgetTest, OptionalValuesAreEngagedByTheirCheckBox)
{
	QCheckBox* engaged = partsOf<QCheckBox>("maxNodes")[0];
	QSpinBox* box = partsOf<QSpinBox>("maxNodes")[0];
	engaged->click();
	ASSERT_TRUE(algorithm.maxNodes->has_value());
	EXPECT_EQ(*algorithm.maxNodes.value(), 0);
	EXPECT_TRUE(box->isEnabled());
	box->setValue(12);
	EXPECT_EQ(algorithm.maxNodes.value(), std::optional<int>(12));
	engaged->click();
	EXPECT_FALSE(algorithm.maxNodes->has_value());
	EXPECT_FALSE(box->isEnabled());

	partsOf<QCheckBox>("rootName")[0]->click();
	EXPECT_EQ(algorithm.rootName.value(), std::optional<std::string>(""));
	typeInto(partsOf<QLineEdit>("rootName")[0], "root");
	EXPECT_EQ(algorithm.rootName.value(), std::optional<std::string>("root"));
	EXPECT_EQ(reported(), (std::vector<std::string>{"maxNodes", "maxNodes", "maxNodes", "rootName", "rootName"}));
}

TEST_F(PropertiesWidgetTest, ColourButtonOpensAPickerWhoseChoiceIsWritten)
{
	auto* button = editorAs<QPushButton>("color");
	QTest::mouseClick(button, Qt::LeftButton);
	auto* dialog = button->findChild<QColorDialog*>();
	ASSERT_NE(dialog, nullptr);
	EXPECT_EQ(dialog->currentColor(), QColor(255, 0, 0, 255));
	dialog->setCurrentColor(QColor(0, 51, 255, 102));
	dialog->accept();
	const Eigen::Vector4d expected(0.0, 0.2, 1.0, 0.4);
	EXPECT_TRUE(algorithm.color->isApprox(expected, 1e-12)) << algorithm.color->transpose();
	EXPECT_EQ(reported(), std::vector<std::string>{"color"});
}

namespace
{
	/// Keeps its limit even when configured with more: an editor must show what it kept.
	struct Limited : Configurable
	{
		void configure(const Properties& properties) override
		{
			Configurable::configure(properties);
			if (count.value() > 10)
				count = 10;
		}
		Parameter<int> count{"count", 5, this};
	};
}

TEST(PropertiesWidget, ShowsTheValueTheConfigurableKept)
{
	Limited limited;
	PropertiesWidget widget;
	widget.setConfigurable(&limited);
	QSignalSpy spy(&widget, &PropertiesWidget::parameterChanged);
	auto* box = dynamic_cast<QSpinBox*>(widget.editor("count"));
	box->setValue(20);
	EXPECT_EQ(limited.count.value(), 10);
	EXPECT_EQ(box->value(), 10);
	EXPECT_EQ(spy.count(), 1);
	box->setValue(30);
	EXPECT_EQ(box->value(), 10);
	EXPECT_EQ(spy.count(), 1);
}

TEST(PropertiesWidget, EditsACopyOfAPropertiesSet)
{
	Properties set;
	set.setParam("threshold", 0.5);
	set.setParam("label", std::string("a"));
	PropertiesWidget widget;
	widget.setProperties(set);
	QSignalSpy spy(&widget, &PropertiesWidget::parameterChanged);

	dynamic_cast<DoubleSpinBox*>(widget.editor("threshold"))->setValue(0.75);
	EXPECT_EQ(widget.properties().param<double>("threshold"), 0.75);
	EXPECT_EQ(set.param<double>("threshold"), 0.5);
	ASSERT_EQ(spy.count(), 1);
	EXPECT_EQ(spy.at(0).at(0).toString(), "threshold");

	// Model values are converted to the row's type and shown without a report.
	Properties update;
	update.setParam("threshold", 2);
	update.setParam("unknown", 1);
	widget.updateValues(update);
	EXPECT_EQ(dynamic_cast<DoubleSpinBox*>(widget.editor("threshold"))->value(), 2.0);
	EXPECT_EQ(widget.properties().param<double>("threshold"), 2.0);
	EXPECT_FALSE(widget.properties().hasParam("unknown"));
	EXPECT_EQ(spy.count(), 1);

	widget.setFilter([](const Properties::Param& p) { return p.name != "label"; });
	EXPECT_EQ(widget.editor("label"), nullptr);
	EXPECT_NE(widget.editor("threshold"), nullptr);
}

TEST(PropertiesWidgetChoiceTest, ChoiceEditorOffersTheValuesAndKeepsAnUnlistedOne)
{
	Properties properties;
	properties.setParamValue("feature", std::optional<std::string>("width"));
	properties.setParamType("feature", PropertiesDetail::ParamType::Choice);
	properties.setParamAttribute("feature", "values", "diameter, length");
	properties.setParamValue("mode", std::string("fast"));
	properties.setParamType("mode", PropertiesDetail::ParamType::Choice);
	properties.setParamAttribute("mode", "values", "fast,slow");
	PropertiesWidget widget;
	widget.setProperties(properties);
	auto* feature = qobject_cast<QComboBox*>(widget.editor("feature"));
	auto* mode = qobject_cast<QComboBox*>(widget.editor("mode"));
	ASSERT_NE(feature, nullptr);
	ASSERT_NE(mode, nullptr);
	EXPECT_EQ(feature->count(), 4); // (none), diameter, length and the unlisted value shown
	EXPECT_EQ(feature->currentText(), "width");
	EXPECT_EQ(mode->count(), 2);
	feature->setCurrentIndex(0);
	EXPECT_EQ(std::get<std::optional<std::string>>(widget.properties().findParam("feature")->value), std::nullopt);
	mode->setCurrentIndex(1);
	EXPECT_EQ(widget.properties().param<std::string>("mode"), std::optional<std::string>("slow"));
}

TEST(PropertiesWidgetChoiceTest, ChoicesFollowTheValuesAttributeOfAConfigurable)
{
	struct Panel : Configurable
	{
		Parameter<std::string> feature{"feature", "length", this};
	} panel;
	panel.feature.setParamType(PropertiesDetail::ParamType::Choice);
	panel.feature.setAttribute("values", "length");
	PropertiesWidget widget;
	widget.setConfigurable(&panel);
	auto* combo = qobject_cast<QComboBox*>(widget.editor("feature"));
	ASSERT_NE(combo, nullptr);
	EXPECT_EQ(combo->count(), 1);
	panel.feature.setAttribute("values", "diameter,length,radius");
	EXPECT_EQ(widget.editor("feature"), combo);
	EXPECT_EQ(combo->count(), 3);
	EXPECT_EQ(combo->currentText(), "length");
}

TEST(PropertiesWidgetReloadTest, SameParametersAreReloadedInPlaceEvenFromARowsOwnSignal)
{
	Properties properties;
	properties.setParam("showLabels", false);
	properties.setParam("unitSuffix", std::string("mm"));
	properties.setParamAttribute("unitSuffix", "hidden", "true");
	PropertiesWidget widget;
	widget.setProperties(properties);
	auto* box = qobject_cast<QCheckBox*>(widget.editor("showLabels"));
	QObject::connect(&widget, &PropertiesWidget::parameterChanged, &widget,
	                 [&widget]
	                 {
		                 Properties next = widget.properties();
		                 next.setParamAttribute("unitSuffix", "hidden", next.param<bool>("showLabels").value_or(false) ? "false" : "true");
		                 widget.setProperties(next);
	                 });
	box->click();
	EXPECT_EQ(widget.editor("showLabels"), box);
	EXPECT_TRUE(box->isChecked());
	EXPECT_FALSE(widget.editor("unitSuffix")->isHidden());

	// Other parameters: new rows, the old ones go once the event loop runs.
	Properties other;
	other.setParam("count", 3);
	QObject::connect(box, &QCheckBox::toggled, &widget, [&widget, &other] { widget.setProperties(other); });
	box->click();
	EXPECT_NE(widget.editor("count"), nullptr);
	EXPECT_EQ(widget.editor("showLabels"), nullptr);
	QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The algorithm's handler of one enumeration shows or hides other rows: the panel follows at once.
TEST(PropertiesWidgetReloadTest, RowsFollowTheHiddenAttributeThatTheAlgorithmSets)
{
	Graph graph;
	MinimumSpanningTreeAlgorithm spanningTree(graph, nullptr);
	ComputeCommonGraphFeaturesAlgorithm features(graph, nullptr);
	// The enumeration, the value chosen, the rows hidden before and shown after.
	for (const auto& [algorithm, choice, index, shown] : {
	         std::tuple<Algorithm*, const char*, int, std::vector<std::string>>{&spanningTree, "weightMode", 3, {"edgeFeatureName"}},
	         {&features, "mode", 4, {"averageZeroEdges", "slidingAverage", "clampEdges"}},
	     })
	{
		PropertiesWidget widget;
		widget.setConfigurable(algorithm);
		auto* combo = dynamic_cast<QComboBox*>(widget.editor(choice));
		ASSERT_NE(combo, nullptr) << choice;
		for (int chosen : {index, 0})
		{
			combo->setCurrentIndex(chosen);
			for (const std::string& name : shown)
				EXPECT_EQ(widget.editor(name)->isHidden(), chosen == 0) << name;
		}
	}
}
