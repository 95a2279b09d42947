#include "host/gui/ColorBarOverlay.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

using namespace Quorvale::GUI;

TEST(ColorBarOverlayTest, BarRunsFromTheLowestColourAtTheBottomToTheHighestAtTheTop)
{
	ColorBarOverlay overlay;
	overlay.setColormap({1, 0, 0, 1, 0, 0, 1, 1}); // red lowest, blue highest
	overlay.setSize(150, 200);
	overlay.setMargin(10, 0);
	overlay.setTitle("Vessel width");
	overlay.setLabels({"1", "3"});
	overlay.setLabelHeights({0.0, 1.0});
	QImage image(400, 300, QImage::Format_RGB32);
	image.fill(Qt::black);
	{
		QPainter painter(&image);
		overlay.paint(painter, image.rect(), 7, 1.0);
	}
	const QRect area = overlay.rectIn(image.rect(), 7);
	EXPECT_EQ(area.topLeft(), QPoint(10, 0));
	const int x = area.left() + 10;
	EXPECT_EQ(image.pixelColor(x, area.top() + 20), QColor(Qt::blue));
	EXPECT_EQ(image.pixelColor(x, area.bottom() - 9), QColor(Qt::red));
	EXPECT_EQ(overlay.rectIn(image.rect(), 3).bottomRight(), QPoint(389, 299));

	overlay.setVisible(false);
	image.fill(Qt::black);
	QPainter painter(&image);
	overlay.paint(painter, image.rect(), 7, 1.0);
	EXPECT_EQ(image.pixelColor(x, area.top() + 20), QColor(Qt::black));
}
