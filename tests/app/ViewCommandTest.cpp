#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
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

// The extension names the format (anything else is refused before drawing), and the size asked for
// is the size drawn, also below the window's least size.
TEST(ViewCommandTest, ScreenshotsHaveTheFormatOfTheirExtensionAndTheSizeAskedFor)
{
	if (!GL::Context::isAvailable())
		GTEST_SKIP() << "No OpenGL context: " << GL::Context::failure();
	TemporaryFolder folder;
	NiftiIo::save(*rampImage({20, 20, 20}), folder.file("ramp.nii"));
	const std::string plugins = PluginManager::defaultPluginDirectory();
	struct Case
	{
		const char* file;
		const char* size;
		const char* magic;
		QSize drawn;
	};
	for (const Case& c : {Case{"shot.jpg", "16x16", "\xff\xd8", {16, 16}}, Case{"shot.png", "100x60", "\x89PNG", {100, 60}},
	                      Case{"shot.BMP", "129x129", "BM", {129, 129}}})
	{
		const ProgramRun view = runProgram(std::string("view ramp.nii --screenshot ") + c.file + " --size " + c.size, folder, plugins);
		ASSERT_EQ(view.exitCode, 0) << view.err;
		EXPECT_EQ(fileBytes(folder.file(c.file)).rfind(c.magic, 0), 0u) << c.file;
		EXPECT_EQ(QImage(QString::fromStdString(folder.file(c.file))).size(), c.drawn) << c.file;
	}
	for (const char* refused : {"shot.xyz", "shot"})
	{
		const ProgramRun view = runProgram(std::string("view ramp.nii --screenshot ") + refused, folder, plugins);
		EXPECT_EQ(view.exitCode, 1);
		EXPECT_NE(view.err.find("its extension names no image format that can be written (.bmp"), std::string::npos) << view.err;
		EXPECT_FALSE(std::filesystem::exists(folder.file(refused)));
	}
}

// A screenshot replaces its file only when written whole: a write that fails (here on a file size
// limit, as on a full disk) says why and leaves the old file, a read-only file or a link to one is
// refused, and nothing is left beside them.
TEST(ViewCommandTest, ScreenshotsReplaceTheirFileOnlyWhenWrittenWhole)
{
	if (!GL::Context::isAvailable())
		GTEST_SKIP() << "No OpenGL context: " << GL::Context::failure();
	TemporaryFolder folder;
	// Noise, so that the images do not compress to almost nothing.
	auto noise = rampImage({40, 40, 40});
	std::mt19937 random(5);
	auto* voxels = static_cast<float*>(noise->mem()->data());
	for (std::size_t i = 0; i < noise->mem()->descriptor().size(); ++i)
		voxels[i] = static_cast<float>(random() % 1000);
	NiftiIo::save(*noise, folder.file("ramp.nii"));
	const std::string plugins = PluginManager::defaultPluginDirectory();
	ASSERT_EQ(runProgram("view ramp.nii --screenshot old.png --size 64x64", folder, plugins).exitCode, 0);
	const std::string old = fileBytes(folder.file("old.png"));
	// The limit leaves room for the old image and for what the program writes besides (OpenMP's
	// run-time registers itself in a small file).
	ASSERT_LT(old.size(), 16000u);

	ProgramRun full;
	{
		Testing::ScopedFileSizeLimit limit(20000);
		ASSERT_TRUE(limit.ok());
		full = runProgram("view ramp.nii --screenshot old.png --size 600x600", folder, plugins);
	}
	EXPECT_EQ(full.exitCode, 1);
	EXPECT_NE(full.err.find("Cannot write 'old.png': File too large"), std::string::npos) << full.err;
	EXPECT_EQ(fileBytes(folder.file("old.png")), old);

	std::filesystem::permissions(folder.file("old.png"), std::filesystem::perms::owner_read);
	std::filesystem::create_symlink("old.png", folder.file("link.png"));
	for (const char* target : {"old.png", "link.png"})
	{
		const ProgramRun view = runProgram(std::string("view ramp.nii --screenshot ") + target, folder, plugins);
		EXPECT_EQ(view.exitCode, 1);
		EXPECT_NE(view.err.find("it is read-only"), std::string::npos) << view.err;
	}
	EXPECT_EQ(fileBytes(folder.file("old.png")), old);
	EXPECT_EQ(folder.fileNames(), (std::vector<std::string>{"link.png", "old.png", "ramp.nii"}));
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
