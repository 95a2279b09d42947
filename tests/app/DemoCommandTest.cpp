#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/DemoCommand.h"
#include "app/GraphMLShape.h"
#include "host/lib/Mesh.h"
#include "host/lib/MeshIo.h"
#include "host/lib/NiftiIo.h"
#include "host/lib/PluginManager.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "synthetic/VoxelSurface.h"
#include "tests/app/ProgramTestSupport.h"

using namespace Quorvale;
using namespace ProgramTestSupport;
using ::testing::HasSubstr;

namespace
{
	/// The number after `label` in the demo's summary, or -1.
	double figure(const std::string& text, const std::string& label)
	{
		std::smatch match;
		if (!std::regex_search(text, match, std::regex(label + " +([0-9.]+)")))
			return -1.0;
		return std::stod(match[1]);
	}
}

TEST(DemoCommandTest, SmallDemoWritesTheTreeAndAGraphThatFollowsIt)
{
	TemporaryFolder folder;
	const ProgramRun demo = runProgram("demo --size 64 --out result", folder, PluginManager::defaultPluginDirectory());
	ASSERT_EQ(demo.exitCode, 0) << demo.err;

	EXPECT_THAT(demo.out, HasSubstr("Synthetic vessel tree: 64^3 voxels of 0.5 mm"));
	EXPECT_GT(figure(demo.out, "nodes"), 10);
	EXPECT_GT(figure(demo.out, "edges"), 10);
	EXPECT_EQ(figure(demo.out, "components"), 1);
	EXPECT_GT(figure(demo.out, "total length"), 20.0);
	EXPECT_GT(figure(demo.out, "mean diameter"), 0.5);
	EXPECT_GE(figure(demo.out, "within tolerance"), 95.0);
	EXPECT_LT(figure(demo.out, "largest distance"), 1.0);
	for (const char* stage :
	     {"generate tree", "write labels", "write surface", "extract centerline", "vessel diameters", "match", "write graph", "total"})
		EXPECT_GE(figure(demo.out, stage), 0.0) << stage;

	const auto result = folder.path() / "result";
	for (const char* file : {"vessel-tree.nii.gz", "vessel-surface.ply", "vessel-tree.graphml", "vessel-tree.qvf"})
	{
		EXPECT_THAT(demo.out, HasSubstr("Wrote " + (std::filesystem::path("result") / file).string()));
		ASSERT_TRUE(std::filesystem::exists(result / file)) << file;
		EXPECT_GT(std::filesystem::file_size(result / file), 0u) << file;
	}
	const auto labels = NiftiIo::load((result / "vessel-tree.nii.gz").string());
	ASSERT_EQ(labels->size(), 1);
	EXPECT_EQ(labels->get(0)->descriptor().dimensions(), Eigen::Vector3i::Constant(64));
	// The surface is the one of the labelled voxels.
	const auto surface = MeshIo::load((result / "vessel-surface.ply").string());
	EXPECT_EQ(dynamic_cast<const Mesh&>(*surface).vertices(), SyntheticVolumes::voxelSurfaceMesh(*labels->get(0))->vertices());

	// The same extraction runs on the written file through `run`, and the graph file reads back.
	const ProgramRun run = runProgram("run Graph.CenterlineGraphExtraction result/vessel-tree.nii.gz -o graph.graphml", folder,
	                                  PluginManager::defaultPluginDirectory());
	ASSERT_EQ(run.exitCode, 0) << run.err;
	EXPECT_TRUE(std::filesystem::exists(folder.path() / "graph.graphml"));
	const ProgramRun convert = runProgram("convert result/vessel-tree.qvf again.graphml", folder, PluginManager::defaultPluginDirectory());
	EXPECT_EQ(convert.exitCode, 0) << convert.err;
}

TEST(DemoCommandTest, RefusesSizesWithoutRoomForATreeAndRunsWithoutThePlugIn)
{
	TemporaryFolder folder;
	for (const char* size : {"16", "47", "2000"})
	{
		const ProgramRun run = runProgram(std::string("demo --size ") + size, folder, PluginManager::defaultPluginDirectory());
		EXPECT_EQ(run.exitCode, 1) << size;
		EXPECT_THAT(run.err, HasSubstr("--size must lie between 48 and 1024 voxels")) << size;
	}
	// Nothing is written before the checks.
	EXPECT_TRUE(folder.fileNames().empty());

	// A plug-in folder without the graph plug-in: the missing algorithm is named.
	const ProgramRun missing = runProgram("demo --size 48", folder);
	EXPECT_EQ(missing.exitCode, 1);
	EXPECT_THAT(missing.err, HasSubstr("Graph.CenterlineGraphExtraction"));
	EXPECT_TRUE(folder.fileNames().empty());
}

// The README's example prunes the graph of the demo (the same extraction with vessel diameters) and says
// what that leaves: the test holds it to its word.
TEST(DemoCommandTest, TheReadmeSaysWhatItsPruningOfTheDemoGraphLeaves)
{
	std::stringstream readme;
	readme << std::ifstream(QUORVALE_README).rdbuf();
	const std::string text = readme.str();
	std::smatch said;
	ASSERT_TRUE(std::regex_search(text, said, std::regex(R"(run PruneTerminalPaths \S+ (--set pruningThreshold=\S+) -o \S+ +# removes )"
	                                                     R"(the \d+ end branches shorter than \S+ mm: (\d+) of the (\d+) nodes stay)")));
	TemporaryFolder folder;
	const std::string plugins = PluginManager::defaultPluginDirectory();
	ASSERT_EQ(runProgram("demo --out demo", folder, plugins).exitCode, 0);
	const ProgramRun pruned = runProgram("run PruneTerminalPaths demo/vessel-tree.graphml " + said[1].str() + " -o pruned.graphml", folder, plugins);
	ASSERT_EQ(pruned.exitCode, 0) << pruned.err;
	EXPECT_EQ(GraphMLShape::read(folder.file("demo/vessel-tree.graphml"), "diameter").nodes.size(), std::stoul(said[3]));
	EXPECT_EQ(GraphMLShape::read(folder.file("pruned.graphml"), "diameter").nodes.size(), std::stoul(said[2]));
}
