#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include <QImage>

#include "app/GraphMLShape.h"
#include "app/ViewCommand.h"
#include "host/gl/Context.h"
#include "host/gui/GlSliceView.h"
#include "host/lib/Mesh.h"
#include "host/lib/MeshIo.h"
#include "host/lib/NiftiIo.h"
#include "host/lib/PointCloud.h"
#include "host/lib/PluginManager.h"
#include "host/lib/SharedImageSet.h"
#include "tests/app/ProgramTestSupport.h"

using namespace Quorvale;
using namespace ProgramTestSupport;

TEST(ViewCommandTest, SizeIsWidthByHeightWithinLimits)
{
	int w = 0, h = 0;
	EXPECT_TRUE(ViewCommand::parseSize("640x480", w, h));
	EXPECT_EQ(std::make_pair(w, h), std::make_pair(640, 480));
	for (const char* bad : {"640", "640x", "x480", "8x480", "640x99999", "640 x 480", "-640x480"})
		EXPECT_FALSE(ViewCommand::parseSize(bad, w, h)) << bad;
}

TEST(ViewCommandTest, ScreenshotOfTheDemoShowsTheGraphOverItsImage)
{
	if (!GL::Context::isAvailable())
		GTEST_SKIP() << "No OpenGL context: " << GL::Context::failure();
	TemporaryFolder folder;
	const std::string plugins = PluginManager::defaultPluginDirectory();
	ASSERT_EQ(runProgram("demo --size 48 --out demo", folder, plugins).exitCode, 0);
	const ProgramRun view =
	    runProgram("view demo/vessel-tree.nii.gz demo/vessel-tree.graphml --screenshot shot.png --size 802x802", folder, plugins);
	ASSERT_EQ(view.exitCode, 0) << view.err;
	const QImage shot(QString::fromStdString(folder.file("shot.png")));
	ASSERT_EQ(shot.size(), QSize(802, 802));

	// The axial view fills the top left 400 x 400 pixels and frames the image: where does each edge's
	// middle land there?
	auto image = NiftiIo::load(folder.file("demo/vessel-tree.nii.gz"));
	GlSliceView axial(2);
	axial.setImage(image.get());
	ASSERT_FALSE(axial.render(400, 400).isNull());
	const GraphMLShape::Shape shape = GraphMLShape::read(folder.file("demo/vessel-tree.graphml"), "diameter");
	ASSERT_FALSE(shape.edges.empty());
	int onLine = 0;
	for (const auto& [a, b] : shape.edges)
	{
		const Eigen::Vector3d w = axial.viewState().project((shape.nodes[a] + shape.nodes[b]) / 2.0);
		bool blue = false;
		for (int dx = -1; dx <= 1; ++dx)
			for (int dy = -1; dy <= 1; ++dy)
			{
				const QColor c = shot.pixelColor(static_cast<int>(w.x()) + dx, 399 - static_cast<int>(w.y()) + dy);
				blue = blue || (c.blue() > 150 && c.red() < 100 && c.green() < 100);
			}
		onLine += blue ? 1 : 0;
	}
	EXPECT_GE(onLine, static_cast<int>(0.9 * static_cast<double>(shape.edges.size())));
}

TEST(ViewCommandTest, ScreenshotsShowMeshesInTheVolumeViewAndPointCloudsEverywhere)
{
	if (!GL::Context::isAvailable())
		GTEST_SKIP() << "No OpenGL context: " << GL::Context::failure();
	TemporaryFolder folder;
	// A green square across the 3-D view and three points on a line.
	Mesh mesh({{0, 0, 0}, {10, 0, 0}, {10, 0, 10}, {0, 0, 10}}, {{0, 1, 2}, {0, 2, 3}});
	mesh.setBaseColors(std::vector<Eigen::Vector4f>(4, Eigen::Vector4f(0, 1, 0, 1)));
	MeshIo::save(mesh, folder.file("square.ply"));
	MeshIo::save(PointCloud({{0, 5, 0}, {5, 5, 5}, {10, 5, 10}}, 0, 0, "points"), folder.file("points.ply"));
	const ProgramRun view = runProgram("view square.ply points.ply --screenshot shot.png --size 400x400", folder,
	                                   PluginManager::defaultPluginDirectory());
	ASSERT_EQ(view.exitCode, 0) << view.err;
	const QImage shot(QString::fromStdString(folder.file("shot.png")));
	ASSERT_EQ(shot.size(), QSize(400, 400));
	// Quadrants: axial, 3-D; coronal, sagittal.
	const auto count = [&](int left, int top, auto&& is)
	{
		int n = 0;
		for (int y = top; y < top + 200; ++y)
			for (int x = left; x < left + 200; ++x)
				n += is(shot.pixelColor(x, y)) ? 1 : 0;
		return n;
	};
	const auto green = [](const QColor& c) { return c.green() > 60 && c.green() > 2 * c.red() && c.green() > 2 * c.blue(); };
	const auto orange = [](const QColor& c) { return c.red() > 200 && c.green() > 100 && c.green() < 180 && c.blue() < 60; };
	EXPECT_GT(count(200, 0, green), 2000);
	for (const auto& [left, top] : {std::pair(0, 0), std::pair(200, 0), std::pair(0, 200), std::pair(200, 200)})
		EXPECT_GT(count(left, top, orange), 5) << left << ", " << top;
}

TEST(ViewCommandTest, ScreenshotWithoutOpenGLFailsAndWritesNothing)
{
	TemporaryFolder folder;
	setenv("QUORVALE_GL", "none", 1);
	const ProgramRun view = runProgram("view --screenshot shot.png", folder, PluginManager::defaultPluginDirectory());
	unsetenv("QUORVALE_GL");
	EXPECT_NE(view.exitCode, 0);
	EXPECT_NE(view.err.find("no OpenGL context"), std::string::npos) << view.err;
	EXPECT_FALSE(std::filesystem::exists(folder.file("shot.png")));
}
