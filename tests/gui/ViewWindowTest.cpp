#include "app/ViewWindow.h"

#include "host/gui/DataDisplayHandlerFactory.h"
#include "host/gui/DisplayWidgetMulti.h"
#include "host/gui/GlSliceView.h"
#include "host/gui/View.h"
#include "host/lib/DataModel.h"
#include "host/lib/FactoryRegistry.h"
#include "src/gl/GraphDisplayHandler.h"
#include "src/gui/GlGraphDisplayOptionsWidget.h"
#include "src/gui/FeatureKey.h"
#include "src/gui/GraphDataController.h"
#include "src/plugin/GraphPluginControllerFactory.h"
#include "tests/gui/RenderTestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QListWidget>
#include <QMessageBox>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTimer>
#include <QToolButton>

using namespace Quorvale;

namespace
{
	/// The graph panels and display handler, registered once for the window's tests.
	bool registerGraphWindowParts()
	{
		static const bool registered = []
		{
			FactoryRegistry::get().registerFactories(nullptr, std::make_unique<GraphPluginControllerFactory>(), nullptr);
			return DataDisplayHandlerFactory::registerHandler("Quorvale.GraphDisplayHandler", [] { return std::make_unique<GraphDisplayHandler>(); });
		}();
		return registered;
	}
}

TEST(ViewWindowTest, SelectingAGraphOffersItsPanelAndOptionsUntilItGoes)
{
	ASSERT_TRUE(registerGraphWindowParts());
	DataModel model;
	auto* graph = static_cast<Graph*>(model.add(RenderTest::corner()));
	auto* image = model.add(RenderTest::image({20, 20, 20}));
	{
		ViewWindow window(model);
		window.showAll();
		EXPECT_TRUE(window.display()->isShown(graph));
		EXPECT_EQ(window.display()->currentImage(), image);
		EXPECT_EQ(window.dataList()->item(0)->checkState(), Qt::Checked);

		window.dataList()->item(0)->setSelected(true);
		auto* panel = dynamic_cast<GraphDataController*>(window.dataPanel());
		ASSERT_NE(panel, nullptr);
		EXPECT_NE(dynamic_cast<GlGraphDisplayOptionsWidget*>(window.optionsWidget()), nullptr);
		panel->featureCombo()->setCurrentIndex(1);
		EXPECT_EQ(RenderTest::options(*graph).featureColorMapOptions->edgeFeatureName.value(), std::optional<std::string>("diameter"));

		// Unticking hides the graph; removing it from the model leaves no panel on it.
		window.dataList()->item(0)->setCheckState(Qt::Unchecked);
		EXPECT_FALSE(window.display()->isShown(graph));
		model.remove(graph);
		EXPECT_EQ(window.dataList()->count(), 1);
		EXPECT_EQ(window.optionsWidget(), nullptr);
	}
}

TEST(ViewWindowTest, TheColourPanelOpensOnTheGraphsColouringAndLegend)
{
	ASSERT_TRUE(registerGraphWindowParts());
	DataModel model;
	auto* graph = static_cast<Graph*>(model.add(RenderTest::corner()));
	ViewWindow window(model);
	window.showAll();
	auto& colorMap = RenderTest::options(*graph).featureColorMapOptions.value();
	colorMap.edgeFeatureName.setValue(std::string("diameter"));
	colorMap.colormap.setValue(GlColormap::Preset::Jet);
	using Legend = GraphDataController::FeatureLegend;
	Legend::getOrCreate(*graph, window.display()->view3D(0)->glView())->setVisible(true);

	window.dataList()->item(0)->setSelected(true);
	auto* panel = dynamic_cast<GraphDataController*>(window.dataPanel());
	ASSERT_NE(panel, nullptr);
	EXPECT_EQ(panel->featureCombo()->currentData().value<detail::FeatureKey>(), (detail::FeatureKey{detail::FeatureKey::Edge, "diameter"}));
	EXPECT_EQ(panel->colormapCombo()->currentText(), "Jet");
	EXPECT_TRUE(panel->legendButton()->isChecked());
	EXPECT_TRUE(graph->components().get<Legend>()->isVisible());

	// Pressing Legend hides the legend and keeps the colouring.
	panel->legendButton()->click();
	EXPECT_FALSE(graph->components().get<Legend>()->isVisible());
	EXPECT_EQ(colorMap.edgeFeatureName.value(), std::optional<std::string>("diameter"));
	EXPECT_EQ(colorMap.colormap.value(), GlColormap::Preset::Jet);
}

TEST(ViewWindowTest, TicksSayExactlyWhatIsShown)
{
	ASSERT_TRUE(registerGraphWindowParts());
	DataModel model;
	auto* volume = model.add(RenderTest::image({8, 8, 8}));
	auto* labels = model.add(RenderTest::image({8, 8, 8}));
	model.add(RenderTest::corner());
	ViewWindow window(model);
	window.showAll();
	const auto ticks = [&window]
	{
		std::vector<bool> checked;
		for (int i = 0; i < window.dataList()->count(); ++i)
			checked.push_back(window.dataList()->item(i)->checkState() == Qt::Checked);
		return checked;
	};
	EXPECT_EQ(ticks(), (std::vector<bool>{true, false, true}));
	// A new image (a label map made by an algorithm) replaces the one shown: its tick goes.
	window.setShown(labels, true);
	EXPECT_EQ(window.display()->currentImage(), labels);
	EXPECT_EQ(ticks(), (std::vector<bool>{false, true, true}));
	// Unticking an image that is not shown leaves the one that is.
	window.setShown(volume, true);
	window.setShown(labels, false);
	EXPECT_EQ(window.display()->currentImage(), volume);
	EXPECT_EQ(ticks(), (std::vector<bool>{true, false, true}));
}

TEST(ViewWindowTest, RepeatedNamesAreToldApartByANumber)
{
	DataModel model;
	ViewWindow window(model);
	model.add(RenderTest::corner());
	Data* second = model.add(RenderTest::corner());
	model.add(RenderTest::corner());
	model.remove(second);
	model.add(RenderTest::corner());
	QStringList labels;
	for (int i = 0; i < window.dataList()->count(); ++i)
		labels << window.dataList()->item(i)->text();
	EXPECT_EQ(labels, (QStringList{"Graph", "Graph 3", "Graph 2"}));
}

TEST(ViewWindowTest, DeleteInTheListRemovesTheSelectedDataAfterAsking)
{
	DataModel model;
	model.add(RenderTest::corner());
	model.add(RenderTest::image({4, 4, 4}));
	ViewWindow window(model);
	EXPECT_EQ(window.dataList()->contextMenuPolicy(), Qt::ActionsContextMenu);
	EXPECT_TRUE(window.dataList()->actions().contains(window.removeAction()));
	window.dataList()->item(0)->setSelected(true);
	const auto answer = [](QMessageBox::StandardButton button)
	{
		QTimer::singleShot(0, [button]
		                   {
			                   auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
			                   ASSERT_NE(box, nullptr);
			                   box->button(button)->click();
		                   });
	};
	QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
	answer(QMessageBox::No);
	QApplication::sendEvent(window.dataList(), &del);
	EXPECT_EQ(model.size(), 2);
	answer(QMessageBox::Yes);
	QApplication::sendEvent(window.dataList(), &del);
	EXPECT_EQ(model.size(), 1);
	EXPECT_EQ(window.dataList()->count(), 1);
	EXPECT_EQ(window.dataList()->item(0)->text(), QString::fromStdString(model.getAll().items()[0]->describe()));
}

TEST(ViewWindowTest, AtSmallScreenSizesTheViewsKeepHalfTheWidthAndEveryTextShowsWhole)
{
	ASSERT_TRUE(registerGraphWindowParts());
	DataModel model;
	model.add(RenderTest::corner());
	// 512 slices axially and sagittally: the longest labels.
	model.add(RenderTest::image({512, 8, 512}));
	ViewWindow window(model);
	window.showAll();
	window.dataList()->item(0)->setSelected(true);
	QFont font("DejaVu Sans");
	font.setPixelSize(12);
	for (const QSize size : {QSize(1024, 700), QSize(1366, 768)})
	{
		SCOPED_TRACE(size.width());
		window.resize(size);
		window.show();
		QApplication::processEvents();
		EXPECT_GE(window.display()->width(), size.width() / 2);
		for (GUI::View* view : window.display()->viewsSlice())
		{
			const std::string label = static_cast<const GlSliceView*>(view->glView())->label();
			EXPECT_LE(QFontMetrics(font).horizontalAdvance(QString::fromStdString(label)) + 2 * 6, view->width()) << label;
		}
		for (QComboBox* combo : window.findChildren<QComboBox*>())
		{
			QStyleOptionComboBox option;
			option.initFrom(combo);
			const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
			for (int i = 0; i < combo->count() && combo->isVisibleTo(&window); ++i)
				EXPECT_GE(field.width(), combo->fontMetrics().horizontalAdvance(combo->itemText(i))) << combo->itemText(i).toStdString();
		}
	}
}
