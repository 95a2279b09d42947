#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/lib/DataList.h"
#include "host/lib/Mesh.h"
#include "host/lib/MeshIo.h"
#include "host/lib/NiftiIo.h"
#include "host/lib/TypedImage.h"
#include "host/lib/QuorvaleFile.h"
#include "host/lib/SharedImageSet.h"
#include "tests/app/ProgramTestSupport.h"

using namespace Quorvale;
using namespace ProgramTestSupport;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

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

	// Two nodes on the z axis joined by one edge, without features.
	const char* kAxisGraphML = R"(<?xml version="1.0" encoding="utf-8"?>
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

	std::string readFile(const std::string& path)
	{
		std::ifstream in(path, std::ios::binary);
		std::stringstream text;
		text << in.rdbuf();
		return text.str();
	}

	/// 8-bit labels of a bar 4 voxels wide along z through the middle of a `size`^3 volume of 1 mm
	/// voxels (an even size); image coordinates are centred on the volume, so the bar's axis is at x = y = 0.
	void writeBarLabels(const std::string& path, int size = 12)
	{
		auto labels = byteImage(Eigen::Vector3i::Constant(size));
		auto& voxels = static_cast<TypedImage<unsigned char>&>(*labels->mem(0));
		for (int z = 0; z < size; ++z)
			for (int y = size / 2 - 2; y <= size / 2 + 1; ++y)
				for (int x = size / 2 - 2; x <= size / 2 + 1; ++x)
					voxels.at(x, y, z) = 1;
		NiftiIo::save(*labels, path);
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
	// A bar 4 voxels wide (x and y from 3 to 6) along z through a 10^3 volume of 1 mm voxels.
	writeBarLabels(folder.file("labels.nii.gz"), 10);
	std::ofstream(folder.file("axis.graphml")) << kAxisGraphML;
	const auto result = run("run Graph.ComputeFeatures axis.graphml labels.nii.gz --set mode=Diameter -o measured.graphml");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	const std::string text = readFile(folder.file("measured.graphml"));
	const std::string tag = "<data key=\"diameter\">";
	const auto at = text.find(tag);
	ASSERT_NE(at, std::string::npos) << text;
	const double diameter = std::stod(text.substr(at + tag.size()));
	EXPECT_NEAR(diameter, 4.0, 1.5);
}

TEST_F(GraphFilesCommandTest, RunsSayWhatTheyProducedAndFailWhenTheyMadeNothing)
{
	// An algorithm that builds new data and made none fails and writes nothing.
	auto result = run("run PartitionGraphs in.graphml --set minComponentSize=10000 -o parts.graphml");
	EXPECT_EQ(result.exitCode, 1);
	EXPECT_THAT(result.err, HasSubstr("Algorithm Graph.PartitionGraphs made no data from graph 'Graph' (in.graphml); nothing was written"));
	EXPECT_THAT(folder.fileNames(), ElementsAre("in.graphml"));

	// A failure names the algorithm's last error.
	std::ofstream(folder.file("axis.graphml")) << kAxisGraphML;
	result = run("run NodeToEdgeFeature axis.graphml -o edges.graphml");
	EXPECT_EQ(result.exitCode, 1);
	EXPECT_THAT(result.err, HasSubstr("Algorithm Graph.NodeToEdgeFeature failed with status 2 (invalid input): No node features found."));

	// In place: a run that changed nothing is a success that says so; a change is named too.
	result = run("run GraphSmoothing in.graphml --set mode=NeighborhoodWeightedAverage --set smoothingStrength=0 -o same.graphml");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	EXPECT_THAT(result.out, AllOf(HasSubstr("Left graph 'Graph' (in.graphml) unchanged"), HasSubstr("Wrote graph 'Graph' to same.graphml")));
	result = run("run GraphSmoothing in.graphml --set mode=NeighborhoodWeightedAverage --set smoothingStrength=1 -o smooth.graphml");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	EXPECT_THAT(result.out, HasSubstr("Changed graph 'Graph' read from in.graphml (that file is left as it was)"));
	EXPECT_NE(readFile(folder.file("smooth.graphml")), readFile(folder.file("same.graphml")));
	EXPECT_THAT(folder.fileNames(), ElementsAre("axis.graphml", "in.graphml", "same.graphml", "smooth.graphml"));
	// Written back to the file it came from: that file is changed.
	result = run("run GraphSmoothing in.graphml --set mode=NeighborhoodWeightedAverage --set smoothingStrength=1 -o in.graphml");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	EXPECT_THAT(result.out, HasSubstr("Changed graph 'Graph' (in.graphml) in place"));
}

TEST_F(GraphFilesCommandTest, RunOfTheGraphMLAlgorithmReadsItsFileAndWritesByExtension)
{
	auto result = run("run GraphMLIo in.graphml --set exportFeatures=false -o plain.graphml");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	EXPECT_THAT(readFile(folder.file("plain.graphml")), AllOf(HasSubstr("<edge source=\"n2\" target=\"n3\""), Not(HasSubstr("degree"))));
	result = run("run GraphMLIo in.graphml -o graph.qvf");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	EXPECT_THAT(result.out, HasSubstr("Wrote graph 'Graph' to graph.qvf"));

	result = run("run GraphMLIo graph.qvf -o again.graphml");
	EXPECT_EQ(result.exitCode, 1);
	EXPECT_THAT(result.err, HasSubstr("Algorithm Graph.GraphMLIo reads .graphml files, not 'graph.qvf'"));
}

TEST_F(GraphFilesCommandTest, SetRefusesValuesOutsideTheParameterRangeButTakesHiddenOnes)
{
	auto result = run("run PruneTerminalPaths in.graphml --set pruningThreshold=-1 -o pruned.graphml");
	EXPECT_EQ(result.exitCode, 1);
	EXPECT_THAT(result.err, AllOf(HasSubstr("Value '-1' of parameter 'pruningThreshold' is not allowed: it must be at least 0.0"),
	                              HasSubstr("  sensitivity       double       1\n      End branches shorter than sensitivity times the "
	                                        "largest distance-image value along them are removed (factor; DistanceBased). (hidden in "
	                                        "the window's panel; --set sets it)\n")));
	EXPECT_THAT(run("run PruneTerminalPaths in.graphml --set pruningThreshold=nan").err, HasSubstr("must be at least 0.0"));
	EXPECT_THAT(run("run GraphReindexing in.graphml --set rootIndex=4").err, HasSubstr("must lie between 0 and 3"));
	EXPECT_THAT(run("run NodeToEdgeFeature in.graphml --set nodeFeatureName=width").err, HasSubstr("it must be one of degree"));
	EXPECT_THAT(folder.fileNames(), ElementsAre("in.graphml"));

	result = run("run PruneTerminalPaths in.graphml --set sensitivity=2 -o pruned.graphml");
	EXPECT_EQ(result.exitCode, 0) << result.err;
}

TEST_F(GraphFilesCommandTest, AnAlgorithmDescribesItsInputsAndParameters)
{
	const auto described = run("algorithms PruneTerminalPaths");
	ASSERT_EQ(described.exitCode, 0) << described.err;
	EXPECT_THAT(described.out, AllOf(HasSubstr("Menu name:  Graph;Prune Terminal Paths"),
	                                 HasSubstr("Input:      one graph; mode=DistanceBased also needs a distance image"),
	                                 HasSubstr("Result:     a new graph; with inPlace=true its graph input, changed in place"),
	                                 // The defaults are those of a run on such inputs: with an image it prunes against it.
	                                 HasSubstr("mode              enumeration  DistanceBased  GlobalThreshold, DistanceBased\n"),
	                                 HasSubstr("pruningThreshold  double       1              at least 0.0\n"
	                                           "      End branches shorter than this are removed, up to the first junction (mm; "
	                                           "GlobalThreshold).\n")));
	const auto help = run("run PruneTerminalPaths --help");
	ASSERT_EQ(help.exitCode, 0) << help.err;
	EXPECT_THAT(help.out, AllOf(HasSubstr(".graphml (Graph (graphml))"), HasSubstr(described.out)));

	EXPECT_THAT(run("algorithms CenterlineGraphExtraction").out,
	            HasSubstr("minVesselDiameter      double       1                at least 0.0\n"
	                      "      Smallest vessel diameter (in mm) that should be accurately resolved."));
	EXPECT_THAT(run("algorithms GraphMLIo").out, HasSubstr("Input:      one .graphml file, read by it"));
}

TEST_F(GraphFilesCommandTest, OutputsThatCannotBeWrittenAreRefusedBeforeComputing)
{
	std::filesystem::create_directory(folder.file("folder"));
	ASSERT_EQ(::mkfifo(folder.file("pipe.graphml").c_str(), 0600), 0);
	std::ofstream(folder.file("readonly.graphml")) << kGraphML;
	std::filesystem::permissions(folder.file("readonly.graphml"), std::filesystem::perms::owner_read);
	struct Case
	{
		std::string output;
		std::string message;
		bool inputRead;
	};
	for (const Case& c : {Case{"missing/out.graphml", "The output folder 'missing' does not exist", false},
	                      Case{"folder", "Cannot write 'folder': it is a folder; give a file name", false},
	                      Case{"pipe.graphml", "Cannot write 'pipe.graphml': it is a named pipe that no program reads", false},
	                      Case{"readonly.graphml", "Cannot write 'readonly.graphml': it is read-only", false},
	                      Case{"/sys/out.graphml", "Cannot write into the output folder '/sys': Permission denied", false},
	                      Case{"out.nii.gz", "changes its graph input in place, which cannot be written to 'out.nii.gz': the NIfTI format holds "
	                                         "image set data only",
	                           true}})
	{
		const auto result = run("run GraphSmoothing in.graphml -o " + c.output);
		EXPECT_EQ(result.exitCode, 1) << c.output;
		EXPECT_THAT(result.err, HasSubstr(c.message)) << c.output;
		EXPECT_EQ(result.err.find("Imported") != std::string::npos, c.inputRead) << c.output;
	}
	// Errors of the writer itself name the system's reason.
	const auto result = run("convert in.graphml /proc/out.graphml");
	EXPECT_EQ(result.exitCode, 1);
	EXPECT_THAT(result.err, HasSubstr("Failed to open '/proc/out.graphml': No such file or directory"));
}

TEST_F(GraphFilesCommandTest, AnOutputLinkToAFileNotMadeYetMakesThatFile)
{
	std::filesystem::create_directory(folder.file("made"));
	std::filesystem::create_symlink("made/out.graphml", folder.file("link.graphml"));
	for (const char* command : {"convert in.graphml link.graphml", "run GraphSmoothing in.graphml -o link.graphml"})
	{
		std::filesystem::remove(folder.file("made/out.graphml"));
		const auto result = run(command);
		ASSERT_EQ(result.exitCode, 0) << result.err;
		EXPECT_TRUE(std::filesystem::is_symlink(folder.file("link.graphml")));
		EXPECT_THAT(readFile(folder.file("made/out.graphml")), HasSubstr("<graphml")) << command;
	}
}

TEST_F(GraphFilesCommandTest, DrawingANewGraphWritesItEmpty)
{
	const auto result = run("run DrawGraphAlgorithm --set dimensions=3D --set type=Directed -o new.graphml");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	const std::string text = readFile(folder.file("new.graphml"));
	EXPECT_THAT(text, HasSubstr("<graph id=\"G\" edgedefault=\"directed\"/>"));
}

TEST_F(GraphFilesCommandTest, FailedRunsSayWhatTheAlgorithmMakesOrNeedsWithoutComputingInVain)
{
	writeBarLabels(folder.file("labels.nii.gz"));
	MeshIo::save(Mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, "surface"), folder.file("surface.ply"));
	for (const auto& [arguments, message] : std::initializer_list<std::pair<const char*, const char*>>{
	         // Inputs it does not take: what it takes, as 'quorvale algorithms' lists it.
	         {"PruneTerminalPaths labels.nii.gz -o out.graphml",
	          "does not accept the inputs given: image set 'labels' (labels.nii.gz). It takes one graph; mode=DistanceBased also needs a "
	          "distance image"},
	         {"PruneTerminalPaths", "does not accept the inputs given: no inputs. It takes one graph;"},
	         {"CenterlineGraphExtraction in.graphml -o out.graphml",
	          "does not accept the inputs given: graph 'Graph' (in.graphml). It takes one label image (an image set of one image)"},
	         // A required value that is missing: its parameter and what it may name.
	         {"TransferGraphFeatureToMeshAlgorithm in.graphml surface.ply -o out.ply",
	          "No edge feature name specified: set edgeFeatureName to diameter, the one feature painted (the graph's edge features: "
	          "diameter)"},
	         {"EvaluateGraphAtImage in.graphml labels.nii.gz -o out.graphml",
	          "No edge feature name specified: set edgeFeatureName to the edge feature that receives the image's values, a new name or "
	          "one of the graph's (diameter)"},
	         // Outputs of the wrong type are refused before computing.
	         {"CenterlineGraphExtraction labels.nii.gz -o out.nii.gz",
	          "Algorithm Graph.CenterlineGraphExtraction makes a graph, which cannot be written to 'out.nii.gz': the NIfTI format holds "
	          "image set data only"},
	         {"GraphToPointCloud in.graphml -o out.graphml", "makes a point cloud, which cannot be written to 'out.graphml'"},
	         {"GraphToLabelMapAlgorithm in.graphml -o out.ply", "makes an image set, which cannot be written to 'out.ply'"},
	         // The line of a failed algorithm adds what it needs.
	         {"ComputeFeatures in.graphml --set mode=VesselDiameter -o out.graphml",
	          "Label not set. (mode=VesselDiameter measures in a label map, which is needed as the second input)"},
	         {"PruneTerminalPaths in.graphml labels.nii.gz --set mode=DistanceBased -o out.graphml",
	          "require PixelType::Float. (mode=DistanceBased needs a distance image, an image set of 32-bit floats, as the second input)"},
	         // A value offered only on other inputs: what it needs comes first, not a refusal of the value.
	         {"PruneTerminalPaths in.graphml --set mode=DistanceBased -o out.graphml",
	          "quorvale: error: Graph.PruneTerminalPaths: mode=DistanceBased needs a distance image (an image set of 32-bit floats) as "
	          "the second input; given: graph 'Graph' (in.graphml)\n"},
	         {"GraphSmoothing in.graphml --set mode=distanceweightedcurveshortening -o out.graphml",
	          "quorvale: error: Graph.GraphSmoothing: mode=DistanceWeightedCurveShortening needs a label map as the second input; given: "
	          "graph 'Graph' (in.graphml)\n"},
	         {"GraphReindexing in.graphml -o out.graphml",
	          "Invalid root node index selected. (rootIndex must be a node identifier of the graph, 1 to 3)"},
	     })
	{
		const auto result = run(std::string("run ") + arguments);
		EXPECT_EQ(result.exitCode, 1) << arguments;
		EXPECT_THAT(result.err, AllOf(HasSubstr(message), Not(HasSubstr("Resampling")), Not(HasSubstr("Cannot read")))) << arguments;
	}
	EXPECT_THAT(folder.fileNames(), ElementsAre("in.graphml", "labels.nii.gz", "surface.ply"));
}

TEST_F(GraphFilesCommandTest, EveryAlgorithmIsDescribedWithItsInputsAndParameters)
{
	const auto listing = run("algorithms");
	ASSERT_EQ(listing.exitCode, 0) << listing.err;
	std::istringstream lines(listing.out);
	int described = 0;
	for (std::string line; std::getline(lines, line);)
	{
		if (line.rfind("Graph.", 0) != 0)
			continue;
		const std::string id = line.substr(0, line.find(' '));
		const auto description = run("algorithms " + id);
		++described;
		EXPECT_EQ(description.exitCode, 0) << id;
		EXPECT_THAT(description.out, AllOf(HasSubstr("\nDoes:       "), HasSubstr("\nInput:      "), Not(HasSubstr("typical selections")),
		                                   HasSubstr("set them with --set NAME=VALUE")))
		    << id;
		// Every parameter row of the table is followed by its description.
		if (const size_t header = description.out.find("\n  NAME "); header != std::string::npos)
		{
			EXPECT_FALSE(std::regex_search(description.out.substr(description.out.find('\n', header + 1)),
			                               std::regex("\n  [^ ][^\n]*(\n  [^ ]|\n?$)")))
			    << description.out;
		}
	}
	EXPECT_EQ(described, 15);
	// The heading names the inputs the parameters follow, not data the algorithm ignores.
	for (const char* id : {"NodeToEdgeFeature", "GraphReindexing", "MinimumSpanningTree"})
		EXPECT_THAT(run(std::string("algorithms ") + id).out, HasSubstr("\nParameters (on one graph); set them")) << id;
	EXPECT_THAT(run("algorithms PruneTerminalPaths").out, HasSubstr("\nParameters (on one graph and one image set); set them"));
	// Ranges of the sample inputs are not shown as the parameter's own.
	EXPECT_THAT(run("algorithms GraphReindexing").out,
	            HasSubstr("rootIndex  uint64       0        a node identifier of the graph (they start at 1)"));
	EXPECT_THAT(run("algorithms TransferGraphFeatureToMeshAlgorithm").out,
	            AllOf(HasSubstr("Input:      one graph with the edge feature diameter and one surface mesh"),
	                  HasSubstr("edgeFeatureName  string           an edge feature of the graph; only diameter is supported")));
}

// A named result keeps its name (unnamed ones are named after their file: RunCommandTest).
TEST_F(GraphFilesCommandTest, ALabelMapIsWrittenUnderTheNameOfItsGraph)
{
	const auto result = run("run GraphToLabelMapAlgorithm in.graphml --set forceCPU=true -o mask.nii.gz");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	EXPECT_THAT(result.out, HasSubstr("Wrote image set 'Graph Label Map' to mask.nii.gz"));
}

TEST_F(GraphFilesCommandTest, LogMessagesEndingInALineFeedLeaveNoEmptyLine)
{
	// The extraction logs "Resampling from 1 to 1" with a line feed of its own.
	writeBarLabels(folder.file("labels.nii.gz"));
	const auto result = run("run CenterlineGraphExtraction labels.nii.gz -o graph.graphml");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	EXPECT_THAT(result.err, HasSubstr("Resampling from 1 to 1\n"));
	EXPECT_THAT(result.err, Not(HasSubstr("\n\n")));
}

TEST_F(GraphFilesCommandTest, ARefusedSettingListsTheParametersAsTheDescriptionDoes)
{
	// On a graph and a label map the vessel-diameter settings are hidden; both listings say so alike.
	writeBarLabels(folder.file("labels.nii.gz"));
	const std::string described = run("algorithms ComputeFeatures").out;
	const auto refused = run("run ComputeFeatures in.graphml labels.nii.gz --set mode=Width -o out.graphml");
	EXPECT_EQ(refused.exitCode, 1);
	std::string table = described.substr(described.find("  NAME "));
	table.replace(table.find("DEFAULT"), 7, "VALUE  ");
	EXPECT_THAT(refused.err, HasSubstr("Parameters of Graph.ComputeFeatures:\n" + table));
	EXPECT_THAT(table, HasSubstr("  slidingAverage    optint       3\n      Half-width of the sliding median of the diameters along each "
	                             "segment, in edges; none for no smoothing (VesselDiameter). (hidden in the window's panel; --set sets it)"));
}

TEST_F(GraphFilesCommandTest, AFolderAsOutputGetsOneMessageInEveryCommand)
{
	for (const char* name : {"out", "x.stl", "shot.png"})
		std::filesystem::create_directory(folder.file(name));
	for (const auto& [command, output] : std::initializer_list<std::pair<const char*, const char*>>{
	         {"run GraphSmoothing in.graphml -o out", "out"},
	         {"convert in.graphml out", "out"},
	         {"convert in.graphml x.stl", "x.stl"},
	         {"view in.graphml --screenshot shot.png", "shot.png"},
	     })
	{
		const auto result = run(command);
		EXPECT_EQ(result.exitCode, 1) << command;
		EXPECT_EQ(result.err, std::string("quorvale: error: Cannot write '") + output + "': it is a folder; give a file name\n") << command;
	}
}

TEST_F(GraphFilesCommandTest, EachErrorIsPrintedOnce)
{
	std::ofstream(folder.file("bad.graphml")) << "<graphml><bad";
	std::ofstream(folder.file("axis.graphml")) << kAxisGraphML;
	ASSERT_EQ(run("convert in.graphml graph.qvf").exitCode, 0);
	const std::string full = readFile(folder.file("graph.qvf"));
	std::ofstream(folder.file("cut.qvf"), std::ios::binary) << full.substr(0, full.size() - 10);
	for (const auto& [command, error] : std::initializer_list<std::pair<const char*, const char*>>{
	         {"convert bad.graphml out.qvf", "Could not parse GraphML input: unclosed token"},
	         {"convert cut.qvf out.graphml", "it is truncated"},
	         {"run NodeToEdgeFeature axis.graphml -o out.graphml", "No node features found."},
	     })
	{
		const auto result = run(command);
		EXPECT_EQ(result.exitCode, 1) << command;
		const size_t first = result.err.find(error);
		EXPECT_NE(first, std::string::npos) << command << ": " << result.err;
		EXPECT_EQ(result.err.find(error, first + 1), std::string::npos) << command << ": " << result.err;
		EXPECT_EQ(result.err.find("[error]"), std::string::npos) << command << ": " << result.err;
	}
}
