#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <QImage>

#include "app/GraphMLShape.h"
#include "app/ViewCommand.h"
#include "host/gl/Context.h"
#include "host/gui/GlSliceView.h"
#include "host/lib/Mesh.h"
#include "host/lib/MeshIo.h"
#include "host/lib/MemImage.h"
#include "host/lib/NiftiIo.h"
#include "host/lib/PluginManager.h"
#include "host/lib/PointCloud.h"
#include "host/lib/SharedImageSet.h"
#include "tests/app/ProgramTestSupport.h"
#include "tests/common/ScopedEnvironment.h"
#include "tests/common/ScopedFileSizeLimit.h"

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

namespace
{
	std::string fileBytes(const std::string& path)
	{
		std::ifstream in(path, std::ios::binary);
		return std::string(std::istreambuf_iterator<char>(in), {});
	}
}

// The extension names the format (anything else is refused before drawing) and the size asked for is
// the size drawn, also below the window's least size; Qt's notes on how the program runs (here on an
// unset XDG_RUNTIME_DIR) are not shown. The file is replaced only when written whole: a write that
// fails (on a file size limit, as on a full disk) says why and leaves the old file; a read-only file is refused.
TEST(ViewCommandTest, ScreenshotsAreWrittenWholeInTheFormatAndAtTheSizeAskedFor)
{
	if (!GL::Context::isAvailable())
		GTEST_SKIP() << "No OpenGL context: " << GL::Context::failure();
	TemporaryFolder folder;
	// Noise, so that the images do not compress to almost nothing.
	auto noise = rampImage({40, 40, 40});
	std::mt19937 random(5);
	std::generate_n(static_cast<float*>(noise->mem()->data()), 40 * 40 * 40, [&] { return static_cast<float>(random() % 1000); });
	NiftiIo::save(*noise, folder.file("noise.nii"));
	const Testing::ScopedEnvironment runtime("XDG_RUNTIME_DIR", "");
	for (const auto& [file, size, magic, drawn] : {std::tuple{"shot.jpg", "100x60", "\xff\xd8", QSize(100, 60)},
	                                               {"shot.BMP", "16x16", "BM", QSize(16, 16)}, {"old.png", "64x64", "\x89PNG", QSize(64, 64)}})
	{
		const ProgramRun view = runProgram(std::string("view noise.nii --screenshot ") + file + " --size " + size, folder);
		ASSERT_EQ(view.exitCode, 0) << view.err;
		EXPECT_EQ(view.err.find("XDG_RUNTIME_DIR"), std::string::npos) << view.err;
		EXPECT_EQ(view.err.find("propagateSizeHints"), std::string::npos) << view.err;
		EXPECT_EQ(fileBytes(folder.file(file)).rfind(magic, 0), 0u) << file;
		EXPECT_EQ(QImage(QString::fromStdString(folder.file(file))).size(), drawn) << file;
	}
	const ProgramRun refused = runProgram("view noise.nii --screenshot shot.xyz", folder);
	EXPECT_EQ(refused.exitCode, 1);
	EXPECT_NE(refused.err.find("its extension names no image format that can be written (.bmp"), std::string::npos) << refused.err;

	const std::string old = fileBytes(folder.file("old.png"));
	// Room for the old image and for what the program writes besides (OpenMP registers itself in a file).
	ASSERT_LT(old.size(), 16000u);
	ProgramRun full;
	{
		Testing::ScopedFileSizeLimit limit(20000);
		full = runProgram("view noise.nii --screenshot old.png --size 600x600", folder);
	}
	EXPECT_EQ(full.exitCode, 1);
	EXPECT_NE(full.err.find("Cannot write 'old.png': File too large"), std::string::npos) << full.err;
	std::filesystem::permissions(folder.file("old.png"), std::filesystem::perms::owner_read);
	const ProgramRun readOnly = runProgram("view noise.nii --screenshot old.png", folder);
	EXPECT_NE(readOnly.err.find("Cannot write 'old.png': it is read-only"), std::string::npos) << readOnly.err;
	EXPECT_EQ(fileBytes(folder.file("old.png")), old);
	EXPECT_EQ(folder.fileNames(), (std::vector<std::string>{"noise.nii", "old.png", "shot.BMP", "shot.jpg"}));
}

TEST(ViewCommandTest, WithoutADisplayTheWindowIsRefusedWithAdvice)
{
	TemporaryFolder folder;
	// No platform chosen: Qt takes X, which would abort without a display.
	Testing::ScopedEnvironment platform("QT_QPA_PLATFORM", "");
	for (const char* value : {"", ":4711"})
	{
		Testing::ScopedEnvironment display("DISPLAY", value);
		const ProgramRun view = runProgram("view", folder, PluginManager::defaultPluginDirectory());
		EXPECT_EQ(view.exitCode, 1);
		EXPECT_NE(view.err.find("use --screenshot FILE to draw the views into an image without a display, or run it under a virtual display"),
		          std::string::npos)
		    << view.err;
	}
}
