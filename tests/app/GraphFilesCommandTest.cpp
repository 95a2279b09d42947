#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/lib/DataList.h"
#include "host/lib/NiftiIo.h"
#include "host/lib/TypedImage.h"
#include "host/lib/QuorvaleFile.h"
#include "host/lib/SharedImageSet.h"
#include "tests/app/ProgramTestSupport.h"

using namespace Quorvale;
using namespace ProgramTestSupport;
using ::testing::HasSubstr;

namespace
{
	// A directed 3-D graph of three nodes and two edges with one node and one edge feature.
	const char* kGraphML = R"(<?xml version="1.0" encoding="utf-8"?>
<graphml xmlns="http://graphml.graphdrawing.org/xmlns">
    <key id="x" for="node" attr.name="x" attr.type="double"/>
    <key id="y" for="node" attr.name="y" attr.type="double"/>
    <key id="z" for="node" attr.name="z" attr.type="double"/>
    <key id="diameter" for="edge" attr.name="diameter" attr.type="double"/>
    <key id="degree" for="node" attr.name="degree" attr.type="double"/>
    <graph id="G" edgedefault="directed">
        <node id="a"><data key="x">1</data><data key="y">2</data><data key="z">3</data><data key="degree">1</data></node>
        <node id="b"><data key="x">4</data><data key="y">5</data><data key="z">6</data><data key="degree">2</data></node>
        <node id="c"><data key="x">7</data><data key="y">8</data><data key="z">9.5</data><data key="degree">1</data></node>
        <edge source="a" target="b"><data key="diameter">0.25</data></edge>
        <edge source="b" target="c"><data key="diameter">0.75</data></edge>
    </graph>
</graphml>
)";

	std::string readFile(const std::string& path)
	{
		std::ifstream in(path, std::ios::binary);
		std::stringstream text;
		text << in.rdbuf();
		return text.str();
	}

	std::string graphPluginFolder()
	{
		const char* folder = std::getenv("QUORVALE_PLUGIN_DIR");
		return folder ? folder : "";
	}

	class GraphFilesCommandTest : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			if (graphPluginFolder().empty())
				GTEST_FAIL() << "QUORVALE_PLUGIN_DIR names the folder of the built graph plug-in";
			std::ofstream(folder.file("in.graphml")) << kGraphML;
		}

		ProgramRun run(const std::string& arguments) { return runProgram(arguments, folder, graphPluginFolder()); }

		TemporaryFolder folder;
	};
}

TEST_F(GraphFilesCommandTest, GraphsTravelThroughTheDataFileAndBack)
{
	auto result = run("convert in.graphml graph.qvf");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	EXPECT_THAT(result.out, HasSubstr("Wrote graph 'Graph' to graph.qvf"));

	result = run("convert graph.qvf out.graphml");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	const std::string text = readFile(folder.file("out.graphml"));
	// Nodes are renumbered from 1 in document order; features and positions come back.
	EXPECT_THAT(text, HasSubstr("edgedefault=\"directed\""));
	EXPECT_THAT(text, HasSubstr("<edge source=\"n2\" target=\"n3\">"));
	EXPECT_THAT(text, HasSubstr("<data key=\"z\">9.5</data>"));
	EXPECT_THAT(text, HasSubstr("<data key=\"diameter\">0.75</data>"));
	EXPECT_THAT(text, HasSubstr("<data key=\"degree\">2</data>"));
}

TEST_F(GraphFilesCommandTest, GraphAlgorithmsRunOnGraphFiles)
{
	// Two components: the chain a-b-c and the single node d.
	std::string twoParts = kGraphML;
	twoParts.replace(twoParts.find("        <edge"), 0, "        <node id=\"d\"><data key=\"x\">0</data></node>\n");
	std::ofstream(folder.file("parts.graphml")) << twoParts;
	const auto result = run("run Graph.PartitionGraphs parts.graphml -o part.graphml");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	EXPECT_THAT(result.out, HasSubstr("part-1.graphml"));
	EXPECT_THAT(result.out, HasSubstr("part-2.graphml"));
	EXPECT_TRUE(std::filesystem::exists(folder.file("part-1.graphml")));
}

TEST_F(GraphFilesCommandTest, SeveralObjectsDoNotFitIntoOneGraphMLFile)
{
	auto first = rampImage(Eigen::Vector3i(2, 2, 1));
	first->setName("first");
	auto second = byteImage(Eigen::Vector3i(2, 2, 1));
	second->setName("second");
	ASSERT_TRUE(QuorvaleFile::save(DataList{first.get(), second.get()}, folder.file("two.qvf")));

	const auto result = run("convert two.qvf two.graphml");
	EXPECT_EQ(result.exitCode, 1);
	EXPECT_THAT(result.err, HasSubstr("holds one object; there are 2"));
	EXPECT_THAT(result.err, HasSubstr("image set 'first'"));
	EXPECT_THAT(result.err, HasSubstr("image set 'second'"));
	EXPECT_FALSE(std::filesystem::exists(folder.file("two.graphml")));
}

TEST_F(GraphFilesCommandTest, DamagedAndMissingFilesFail)
{
	ASSERT_EQ(run("convert in.graphml graph.qvf").exitCode, 0);
	const std::string full = readFile(folder.file("graph.qvf"));
	std::ofstream(folder.file("cut.qvf"), std::ios::binary) << full.substr(0, full.size() - 10);
	auto result = run("convert cut.qvf out.graphml");
	EXPECT_EQ(result.exitCode, 1);
	EXPECT_THAT(result.err, HasSubstr("is damaged"));
	EXPECT_FALSE(std::filesystem::exists(folder.file("out.graphml")));

	result = run("convert nothing.graphml out.qvf");
	EXPECT_EQ(result.exitCode, 1);
	EXPECT_THAT(result.err, HasSubstr("Input file not found: nothing.graphml"));

	result = run("convert in.graphml out.png");
	EXPECT_EQ(result.exitCode, 1);
	EXPECT_THAT(result.err, HasSubstr("Unknown file type of output 'out.png'"));
}

TEST_F(GraphFilesCommandTest, FeaturesAreMeasuredInALabelMapFromANiftiFile)
{
	// A bar 4 voxels wide (x and y from 3 to 6) along z through a 10^3 volume of 1 mm voxels; image
	// coordinates are centred on the volume, so the bar's axis is at x = y = 0.
	auto labels = byteImage(Eigen::Vector3i(10, 10, 10));
	auto& voxels = static_cast<TypedImage<unsigned char>&>(*labels->mem(0));
	for (int z = 0; z < 10; ++z)
		for (int y = 3; y <= 6; ++y)
			for (int x = 3; x <= 6; ++x)
				voxels.at(x, y, z) = 1;
	NiftiIo::save(*labels, folder.file("labels.nii.gz"));
	std::ofstream(folder.file("axis.graphml")) << R"(<?xml version="1.0" encoding="utf-8"?>
<graphml xmlns="http://graphml.graphdrawing.org/xmlns">
    <key id="x" for="node" attr.name="x" attr.type="double"/>
    <key id="y" for="node" attr.name="y" attr.type="double"/>
    <key id="z" for="node" attr.name="z" attr.type="double"/>
    <graph id="G" edgedefault="undirected">
        <node id="a"><data key="x">0</data><data key="y">0</data><data key="z">-3</data></node>
        <node id="b"><data key="x">0</data><data key="y">0</data><data key="z">3</data></node>
        <edge source="a" target="b"/>
    </graph>
</graphml>
)";
	const auto result = run("run Graph.ComputeFeatures axis.graphml labels.nii.gz --set mode=Diameter -o measured.graphml");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	const std::string text = readFile(folder.file("measured.graphml"));
	const std::string tag = "<data key=\"diameter\">";
	const auto at = text.find(tag);
	ASSERT_NE(at, std::string::npos) << text;
	const double diameter = std::stod(text.substr(at + tag.size()));
	EXPECT_NEAR(diameter, 4.0, 1.5);
}

TEST_F(GraphFilesCommandTest, DrawingANewGraphWritesItEmpty)
{
	const auto result = run("run DrawGraphAlgorithm --set dimensions=3D --set type=Directed -o new.graphml");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	const std::string text = readFile(folder.file("new.graphml"));
	EXPECT_THAT(text, HasSubstr("<graph id=\"G\" edgedefault=\"directed\"/>"));
}
