#include "host/gui/DataController.h"
#include "host/gui/DefaultAlgorithmController.h"
#include "host/gui/IoController.h"
#include "host/gui/PropertiesWidget.h"

#include "host/core/Log.h"
#include "host/lib/Data.h"
#include "tests/gui/TestAlgorithms.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <stdexcept>

using namespace Quorvale;
using namespace Quorvale::GuiTest;

TEST(DefaultAlgorithmController, ShowsTheParametersAndComputes)
{
	KitchenSinkAlgorithm algorithm;
	DefaultAlgorithmController panel(&algorithm, "Sink", true, false);
	EXPECT_EQ(panel.propertiesWidget(), nullptr);
	panel.init();
	panel.init();
	ASSERT_NE(panel.propertiesWidget(), nullptr);
	EXPECT_EQ(panel.findChildren<PropertiesWidget*>().size(), 1);
	EXPECT_EQ(panel.windowTitle(), "Sink");
	EXPECT_TRUE(panel.firstFlag());
	EXPECT_FALSE(panel.secondFlag());

	// The editor is bound to the algorithm.
	dynamic_cast<QSpinBox*>(panel.propertiesWidget()->editor("iterations"))->setValue(20);
	EXPECT_EQ(algorithm.iterations.value(), 20);
	EXPECT_EQ(panel.propertiesWidget()->label("searchRange")->text(), "Search range");

	QTest::mouseClick(panel.computeButton(), Qt::LeftButton);
	EXPECT_EQ(algorithm.computeCount, 1);
	EXPECT_EQ(algorithm.status(), Algorithm::Success);

	int runs = 0;
	panel.setRunner(
	    [&runs](Algorithm& a)
	    {
		    ++runs;
		    a.setStatus(Algorithm::IncompleteInput);
	    });
	panel.onCompute();
	EXPECT_EQ(runs, 1);
	EXPECT_EQ(algorithm.computeCount, 1);
	EXPECT_EQ(algorithm.status(), Algorithm::IncompleteInput);
}

TEST(DefaultAlgorithmController, FailingRunsEndAsFailedStatus)
{
	KitchenSinkAlgorithm algorithm;
	algorithm.throwOnCompute = true;
	DefaultAlgorithmController panel(&algorithm, "", false, false);
	panel.init();
	Log::ScopedCapture log;
	panel.onCompute();
	EXPECT_EQ(algorithm.status(), Algorithm::Error);
	EXPECT_EQ(log.sink().count(Log::Error), 1);

	panel.setRunner([](Algorithm&) { throw std::runtime_error("runner broke"); });
	algorithm.setStatus(Algorithm::Success);
	panel.onCompute();
	EXPECT_EQ(algorithm.status(), Algorithm::Error);
	ASSERT_EQ(log.sink().count(Log::Error), 2);
	EXPECT_NE(log.sink().messages(Log::Error).back().find("runner broke"), std::string::npos);
}

TEST(DefaultAlgorithmController, ComputeButtonCanBeHiddenBeforeAndAfterInit)
{
	KitchenSinkAlgorithm algorithm;
	DefaultAlgorithmController panel(&algorithm, "", false, false);
	panel.hideComputeButton(true);
	panel.init();
	EXPECT_TRUE(panel.computeButton()->isHidden());
	panel.hideComputeButton(false);
	EXPECT_FALSE(panel.computeButton()->isHidden());
	panel.hideComputeButton();
	EXPECT_TRUE(panel.computeButton()->isHidden());
}

TEST(IoController, ShowsTheUserOptionsAndSetsTheLocation)
{
	TestIoAlgorithm algorithm;
	algorithm.setLocation("/data/in.tst");
	IoController panel(&algorithm, true, false);
	panel.init();
	EXPECT_TRUE(panel.firstFlag());
	ASSERT_NE(panel.propertiesWidget(), nullptr);
	EXPECT_NE(panel.propertiesWidget()->editor("compress"), nullptr);
	EXPECT_EQ(panel.propertiesWidget()->editor("verbose"), nullptr);
	EXPECT_EQ(panel.propertiesWidget()->editor("blockSize"), nullptr);
	EXPECT_EQ(panel.locationEdit()->text(), "/data/in.tst");

	panel.locationEdit()->selectAll();
	QTest::keyClicks(panel.locationEdit(), "/data/other.tst");
	QTest::keyClick(panel.locationEdit(), Qt::Key_Return);
	EXPECT_EQ(algorithm.location(), "/data/other.tst");
}

TEST(IoController, BrowsingChoosesTheLocation)
{
	QTemporaryDir folder;
	ASSERT_TRUE(folder.isValid());
	const QString file = folder.filePath("graph.tst");
	{
		QFile touch(file);
		ASSERT_TRUE(touch.open(QIODevice::WriteOnly));
	}
	TestIoAlgorithm algorithm;
	IoController panel(&algorithm, false, false);
	panel.init();
	QTest::mouseClick(panel.browseButton(), Qt::LeftButton);
	auto* dialog = panel.findChild<QFileDialog*>();
	ASSERT_NE(dialog, nullptr);
	EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
	EXPECT_TRUE(dialog->nameFilters().first().contains("*.tst"));
	dialog->setDirectory(folder.path());
	dialog->selectFile(file);
	// accept() is protected in QFileDialog; the dialog interface has it public.
	static_cast<QDialog*>(dialog)->accept();
	EXPECT_EQ(algorithm.location(), file.toStdString());
	EXPECT_EQ(panel.locationEdit()->text(), file);

	TestIoAlgorithm writer(IoAlgorithm::IoMode::Write);
	IoController savePanel(&writer, false, false);
	savePanel.init();
	savePanel.onBrowse();
	auto* saveDialog = savePanel.findChild<QFileDialog*>();
	ASSERT_NE(saveDialog, nullptr);
	EXPECT_EQ(saveDialog->acceptMode(), QFileDialog::AcceptSave);
	saveDialog->reject();
}

TEST(DataController, KeepsTheSelection)
{
	Data first("first");
	Data second("second");
	DataController panel(DataList{&first});
	panel.init();
	ASSERT_EQ(panel.data().size(), 1);
	panel.onSelectedDataChanged(DataList{&first, &second});
	EXPECT_EQ(panel.data().size(), 2);
	EXPECT_EQ(panel.data().get(1), &second);
	panel.onVisibleDataChanged(DataList{});
	EXPECT_EQ(panel.data().size(), 2);
}
