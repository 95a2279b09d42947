#include "tests/io/GraphMLTestUtils.h"

#include "host/core/Log.h"
#include "host/core/Properties.h"
#include "host/lib/AlgorithmFactory.h"
#include "src/graph/Graph.h"
#include "src/io/GraphMLIoAlgorithm.h"
#include "src/plugin/GraphPluginFactory.h"
#include "tests/common/ScopedEnvironment.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <Eigen/Geometry>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cmath>
#include <csignal>
#include <functional>
#include <cstdlib>
#include <iostream>
#include <limits>

using namespace Quorvale;
using namespace Quorvale::GraphMLTest;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace
{
	/// Two nodes and one edge, 3-D, undirected, with the edge feature "diameter" and a node feature.
	Graph smallGraph()
	{
		Graph graph;
		const int radius = graph.getOrCreateNodeFeatureIdx("radius", 0.0);
		const uint64_t a = graph.addNode(Graph::NodeInfo({1.0, 2.5, -3.0}, {}));
		const uint64_t b = graph.addNode(Graph::NodeInfo({0.0, 0.0, 0.0}, {}));
		graph.editNode(a, [&](Graph::NodeInfo& info) { info.features()[radius] = 0.1; });
		graph.addEdge(b, a, Graph::EdgeInfo({2.0}));
		return graph;
	}

	/// Runs in a child process: saves with the file size limited to `bytes`, prints the errors and exits
	/// with 0 when the save succeeded, 3 when it failed.
	[[noreturn]] void saveUnderFileSizeLimit(const Graph& graph, const std::string& path, rlim_t bytes)
	{
		std::signal(SIGXFSZ, SIG_IGN);
		rlimit limit{bytes, bytes};
		setrlimit(RLIMIT_FSIZE, &limit);
		Log::ScopedCapture log;
		const bool written = save(graph, path);
		for (const auto& message : log->messages(Log::Error))
			std::cerr << message << "\n";
		std::exit(written ? 0 : 3);
	}

	std::string errorsOf(const Log::ScopedCapture& log)
	{
		std::string all;
		for (const auto& message : log->messages(Log::Error))
			all += message + "\n";
		return all;
	}
}

// --- The document the writer produces -----------------------------------------------------------------

TEST(GraphMLWriterTest, WritesTheDocumentByteForByte)
{
	TemporaryDirectory dir;
	ASSERT_TRUE(save(smallGraph(), dir.file("small.graphml")));
	const std::string expected = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
	                             "<graphml xmlns=\"http://graphml.graphdrawing.org/xmlns\">\n"
	                             "    <key id=\"x\" for=\"node\" attr.name=\"x\" attr.type=\"double\"/>\n"
	                             "    <key id=\"y\" for=\"node\" attr.name=\"y\" attr.type=\"double\"/>\n"
	                             "    <key id=\"z\" for=\"node\" attr.name=\"z\" attr.type=\"double\"/>\n"
	                             "    <key id=\"diameter\" for=\"edge\" attr.name=\"diameter\" attr.type=\"double\"/>\n"
	                             "    <key id=\"radius\" for=\"node\" attr.name=\"radius\" attr.type=\"double\"/>\n"
	                             "    <graph id=\"G\" edgedefault=\"undirected\">\n"
	                             "        <node id=\"n1\">\n"
	                             "            <data key=\"x\">1</data>\n"
	                             "            <data key=\"y\">2.5</data>\n"
	                             "            <data key=\"z\">-3</data>\n"
	                             "            <data key=\"radius\">0.10000000000000001</data>\n"
	                             "        </node>\n"
	                             "        <node id=\"n2\">\n"
	                             "            <data key=\"x\">0</data>\n"
	                             "            <data key=\"y\">0</data>\n"
	                             "            <data key=\"z\">0</data>\n"
	                             "            <data key=\"radius\">0</data>\n"
	                             "        </node>\n"
	                             "        <edge source=\"n1\" target=\"n2\">\n"
	                             "            <data key=\"diameter\">2</data>\n"
	                             "        </edge>\n"
	                             "    </graph>\n"
	                             "</graphml>\n";
	EXPECT_EQ(readText(dir.file("small.graphml")), expected);
}

TEST(GraphMLWriterTest, NumbersAreWrittenAsStreamInsertionWithPrecision17)
{
	const std::vector<double> values = {0.1,
	                                    1.0 / 3.0,
	                                    -0.0,
	                                    1e21,
	                                    123456789012345678.0,
	                                    1e-310,
	                                    std::numeric_limits<double>::denorm_min(),
	                                    std::numeric_limits<double>::max(),
	                                    std::numeric_limits<double>::lowest(),
	                                    std::numeric_limits<double>::quiet_NaN(),
	                                    -std::numeric_limits<double>::quiet_NaN(),
	                                    std::numeric_limits<double>::infinity(),
	                                    -std::numeric_limits<double>::infinity()};
	Graph graph;
	std::vector<Graph::FeatureDescriptor> descriptors;
	for (size_t i = 0; i < values.size(); ++i)
		descriptors.push_back({"f" + std::to_string(i), 0.0});
	graph.addNodeFeatureDescriptors(descriptors);
	graph.addNode(Graph::NodeInfo({0, 0, 0}, values));

	TemporaryDirectory dir;
	ASSERT_TRUE(save(graph, dir.file("numbers.graphml")));
	const std::string text = readText(dir.file("numbers.graphml"));
	for (size_t i = 0; i < values.size(); ++i)
	{
		std::ostringstream expected;
		expected.precision(17);
		expected << values[i];
		EXPECT_THAT(text, HasSubstr("<data key=\"f" + std::to_string(i) + "\">" + expected.str() + "</data>")) << "value " << i;
	}
}

TEST(GraphMLWriterTest, TwoDimensionalGraphHasNoZAndReadsBackTwoDimensional)
{
	Graph graph(Graph::Type::Undirected, Graph::Dimension::TwoD);
	graph.addNode(Graph::NodeInfo({1, 2, 7}, {}));
	TemporaryDirectory dir;
	ASSERT_TRUE(save(graph, dir.file("flat.graphml")));
	const std::string text = readText(dir.file("flat.graphml"));
	EXPECT_THAT(text, Not(HasSubstr("\"z\"")));

	auto loaded = GraphMLIoAlgorithm::loadFromGraphML(Filesystem::Path(dir.file("flat.graphml")));
	ASSERT_TRUE(loaded);
	EXPECT_EQ(loaded->dimension(), Graph::Dimension::TwoD);
	EXPECT_EQ(loaded->node(1).position(), Eigen::Vector3d(1, 2, 0));
}

TEST(GraphMLWriterTest, WritesWorldCoordinatesAndReadsThemBackAsTheyStand)
{
	Graph graph;
	Eigen::Affine3d toWorld =
	    Eigen::Translation3d(10, -20, 5) * Eigen::AngleAxisd(0.7, Eigen::Vector3d(1, 2, 3).normalized()) * Eigen::Scaling(2.0, 0.5, 3.0);
	graph.setMatrixToWorld(toWorld.matrix());
	const std::vector<Eigen::Vector3d> positions = {{1, 2, 3}, {-4, 0.25, 8}, {0, 0, 0}};
	for (const auto& p : positions)
		graph.addNode(Graph::NodeInfo(p, {}));

	TemporaryDirectory dir;
	ASSERT_TRUE(save(graph, dir.file("world.graphml")));
	auto loaded = GraphMLIoAlgorithm::loadFromGraphML(Filesystem::Path(dir.file("world.graphml")));
	ASSERT_TRUE(loaded);
	EXPECT_TRUE(loaded->matrixToWorld().isIdentity());
	for (size_t i = 0; i < positions.size(); ++i)
		EXPECT_TRUE(loaded->node(i + 1).position().isApprox(toWorld * positions[i], 1e-14)) << "node " << i + 1;
}

TEST(GraphMLWriterTest, UndirectedEdgeIsWrittenOnceFromTheLowerIdentifier)
{
	Graph graph;
	for (int i = 0; i < 3; ++i)
		graph.addNode(Graph::NodeInfo({0, 0, 0}, {}));
	graph.addEdge(3, 1, Graph::EdgeInfo({4.0}));
	graph.addEdge(2, 2, Graph::EdgeInfo({5.0}));
	TemporaryDirectory dir;
	ASSERT_TRUE(save(graph, dir.file("u.graphml")));
	const std::string text = readText(dir.file("u.graphml"));
	EXPECT_THAT(text, HasSubstr("<edge source=\"n1\" target=\"n3\">"));
	EXPECT_THAT(text, HasSubstr("<edge source=\"n2\" target=\"n2\">"));
	EXPECT_THAT(text, Not(HasSubstr("source=\"n3\"")));
	EXPECT_LT(text.find("source=\"n1\""), text.find("source=\"n2\""));
}

TEST(GraphMLWriterTest, WithoutFeaturesOnlyCoordinatesTravel)
{
	TemporaryDirectory dir;
	ASSERT_TRUE(save(smallGraph(), dir.file("bare.graphml"), false));
	const std::string text = readText(dir.file("bare.graphml"));
	EXPECT_THAT(text, Not(HasSubstr("diameter")));
	EXPECT_THAT(text, Not(HasSubstr("radius")));
	EXPECT_THAT(text, HasSubstr("<edge source=\"n1\" target=\"n2\"/>"));

	auto loaded = GraphMLIoAlgorithm::loadFromGraphML(Filesystem::Path(dir.file("bare.graphml")));
	ASSERT_TRUE(loaded);
	EXPECT_EQ(loaded->numNodeFeatures(), 0);
	EXPECT_EQ(loaded->numEdgeFeatures(), 0);
	EXPECT_EQ(loaded->numEdges(), 1);
}

TEST(GraphMLWriterTest, GraphsThatWouldNotReadBackAreRefusedBeforeTheFileIsTouched)
{
	struct Case
	{
		std::function<void(Graph&)> make;
		std::string message;
	};
	constexpr double inf = std::numeric_limits<double>::infinity();
	const std::vector<Case> cases = {
	    {[](Graph& g) { g.getOrCreateNodeFeatureIdx("", 1.5); }, "the node feature \"\" cannot be written: it is empty"},
	    {[](Graph& g) { g.getOrCreateEdgeFeatureIdx("a\tb", 0); }, "the edge feature \"a\\tb\" cannot be written: it holds the control character U+0009"},
	    {[](Graph& g) { g.getOrCreateNodeFeatureIdx("caf\xe9", 0); }, "the node feature \"caf\\xe9\" cannot be written: it is not valid UTF-8"},
	    {[](Graph& g) { g.getOrCreateNodeFeatureIdx("\xef\xbf\xbf", 0); },
	     "the node feature \"\xef\xbf\xbf\" cannot be written: it holds U+FFFF, which is no character"},
	    {[](Graph& g) { g.getOrCreateNodeFeatureIdx("y", 0); },
	     "the node feature \"y\" cannot be written: its key would be the key of the y coordinate; rename the feature"},
	    {[](Graph& g)
	     {
		     g.setDimension(Graph::Dimension::TwoD);
		     g.getOrCreateNodeFeatureIdx("z", 0);
	     },
	     "the node feature \"z\" cannot be written: its key would be the key of the z coordinate; rename the feature"},
	    {[](Graph& g) { g.addNodeFeatureDescriptors({{"r", 0}, {"s", 0}, {"r", 1}}); },
	     "the node feature \"r\" cannot be written: another node feature has the same name"},
	    {[](Graph& g) { g.editNode(1, [](Graph::NodeInfo& info) { info.position().y() = -inf; }); },
	     "node 1 is at (0, -inf, 0), which is no finite position"},
	    {[](Graph& g)
	     {
		     Eigen::Matrix4d m = Eigen::Matrix4d::Identity();
		     m(0, 0) = 1e308;
		     g.setMatrixToWorld(m);
		     g.editNode(1, [](Graph::NodeInfo& info) { info.position().x() = 10; });
	     },
	     "node 1 lies at (inf, 0, 0) in world coordinates, which is no finite position"},
	};
	TemporaryDirectory dir;
	const std::string path = dir.file("kept.graphml");
	writeText(path, "old content");
	for (const Case& c : cases)
	{
		SCOPED_TRACE(c.message);
		Graph graph;
		graph.addNode(Graph::NodeInfo({0, 0, 0}, {}));
		c.make(graph);
		Log::ScopedCapture log;
		EXPECT_FALSE(save(graph, path));
		EXPECT_THAT(log->messages(Log::Error), ElementsAre("Failed to write GraphML: " + c.message + "."));
		EXPECT_EQ(readText(path), "old content");
		EXPECT_THAT(dir.entries(), ElementsAre("kept.graphml"));
	}
	// Without features only the positions need to be sound.
	Graph named;
	named.getOrCreateNodeFeatureIdx("x", 0);
	named.addNode(Graph::NodeInfo({0, 0, 0}, {}));
	EXPECT_TRUE(save(named, path, false));
}

TEST(GraphMLWriterTest, LongFeatureNamesAreWrittenAndReadBack)
{
	// A regular expression over the key section recursed once per character of a name.
	const std::string edgeName(200000, 'e');
	const std::string nodeName = std::string(100000, 'n') + "<&\"'>";
	Graph graph;
	graph.getOrCreateEdgeFeatureIdx(edgeName, 0);
	graph.getOrCreateNodeFeatureIdx(nodeName, 0);
	const uint64_t a = graph.addNode(Graph::NodeInfo({0, 0, 0}, {0.5}));
	graph.addEdge(a, graph.addNode(Graph::NodeInfo({1, 0, 0}, {1.5})), Graph::EdgeInfo({2, 3}));
	TemporaryDirectory dir;
	ASSERT_TRUE(save(graph, dir.file("long.graphml")));
	const auto loaded = GraphMLIoAlgorithm::loadFromGraphML(Filesystem::Path(dir.file("long.graphml")));
	ASSERT_TRUE(loaded);
	EXPECT_THAT(featureNames(loaded->edgeFeatureDescriptors()), ElementsAre("diameter", edgeName));
	EXPECT_THAT(featureNames(loaded->nodeFeatureDescriptors()), ElementsAre(nodeName));
	EXPECT_EQ(loaded->edge(1, 2)->features(), std::vector<double>({2, 3}));
	EXPECT_EQ(loaded->node(2).features(), std::vector<double>{1.5});
}

TEST(GraphMLWriterTest, FeatureNamesWithMarkupAndDotsTravel)
{
	Graph graph;
	graph.getOrCreateEdgeFeatureIdx("a<b & \"c\"", 0.0);
	graph.getOrCreateEdgeFeatureIdx("mean.radius", 0.0);
	// An edge feature may be named like a coordinate, and a node and an edge feature alike.
	graph.getOrCreateEdgeFeatureIdx("z", 0.0);
	graph.getOrCreateNodeFeatureIdx("mean.radius", 0.0);
	graph.addNode(Graph::NodeInfo({0, 0, 0}, {3.0}));
	graph.addNode(Graph::NodeInfo({1, 0, 0}, {4.0}));
	graph.addEdge(1, 2, Graph::EdgeInfo({0.0, 7.0, 8.0, 9.0}));
	TemporaryDirectory dir;
	ASSERT_TRUE(save(graph, dir.file("escaped.graphml")));
	auto loaded = GraphMLIoAlgorithm::loadFromGraphML(Filesystem::Path(dir.file("escaped.graphml")));
	ASSERT_TRUE(loaded);
	EXPECT_THAT(featureNames(loaded->edgeFeatureDescriptors()), ElementsAre("diameter", "a<b & \"c\"", "mean.radius", "z"));
	EXPECT_THAT(featureNames(loaded->nodeFeatureDescriptors()), ElementsAre("mean.radius"));
	EXPECT_EQ(loaded->edge(1, 2)->features(), std::vector<double>({0.0, 7.0, 8.0, 9.0}));
	EXPECT_EQ(loaded->node(2).features(), std::vector<double>{4.0});
}

// --- Round trips --------------------------------------------------------------------------------------

TEST(GraphMLRoundTripTest, ThreeDimensionalGraphKeepsStructureAndFeaturesWithNodesRenumbered)
{
	Graph graph;
	graph.addEdgeFeatureDescriptors({{"length", 1.0}});
	graph.addNodeFeatureDescriptors({{"radius", 0.0}, {"degree", 0.0}});
	for (int i = 0; i < 6; ++i)
		graph.addNode(Graph::NodeInfo({i * 1.5, -i * 0.1, i * i * 1e-3}, {i * 0.5, double(i)}));
	graph.removeNode(2);
	graph.removeNode(5);
	graph.addEdge(1, 3, Graph::EdgeInfo({0.3, 1.25}));
	graph.addEdge(3, 4, Graph::EdgeInfo({0.4, 2.5}));
	graph.addEdge(6, 1, Graph::EdgeInfo({0.6, 3.75}));

	TemporaryDirectory dir;
	Log::ScopedCapture log;
	ASSERT_TRUE(save(graph, dir.file("g.graphml")));
	auto loaded = GraphMLIoAlgorithm::loadFromGraphML(Filesystem::Path(dir.file("g.graphml")));
	ASSERT_TRUE(loaded);
	EXPECT_THAT(log->messages(Log::Info), ElementsAre("Imported 3D graph with 4 nodes, 3 edges, 2 edge feature(s) and 2 node feature(s)."));

	EXPECT_EQ(loaded->type(), Graph::Type::Undirected);
	EXPECT_EQ(loaded->dimension(), Graph::Dimension::ThreeD);
	EXPECT_THAT(featureNames(loaded->edgeFeatureDescriptors()), ElementsAre("diameter", "length"));
	EXPECT_THAT(featureNames(loaded->nodeFeatureDescriptors()), ElementsAre("radius", "degree"));
	EXPECT_THAT(nodeIds(*loaded), ElementsAre(1, 2, 3, 4));
	// Old 1, 3, 4, 6 became 1, 2, 3, 4.
	const std::vector<uint64_t> old = {1, 3, 4, 6};
	for (size_t i = 0; i < old.size(); ++i)
	{
		EXPECT_EQ(loaded->node(i + 1).position(), graph.node(old[i]).position());
		EXPECT_EQ(loaded->node(i + 1).features(), graph.node(old[i]).features());
	}
	EXPECT_EQ(loaded->numEdges(), 3);
	EXPECT_EQ(loaded->edge(1, 2)->features(), std::vector<double>({0.3, 1.25}));
	EXPECT_EQ(loaded->edge(2, 3)->features(), std::vector<double>({0.4, 2.5}));
	EXPECT_EQ(loaded->edge(4, 1)->features(), std::vector<double>({0.6, 3.75}));
}

TEST(GraphMLRoundTripTest, DirectedGraphKeepsBothDirectionsApart)
{
	Graph graph(Graph::Type::Directed);
	graph.addNode(Graph::NodeInfo({0, 0, 0}, {}));
	graph.addNode(Graph::NodeInfo({1, 0, 0}, {}));
	graph.addEdge(1, 2, Graph::EdgeInfo({1.0}));
	graph.addEdge(2, 1, Graph::EdgeInfo({2.0}));
	TemporaryDirectory dir;
	ASSERT_TRUE(save(graph, dir.file("d.graphml")));
	EXPECT_THAT(readText(dir.file("d.graphml")), HasSubstr("edgedefault=\"directed\""));

	auto loaded = GraphMLIoAlgorithm::loadFromGraphML(Filesystem::Path(dir.file("d.graphml")));
	ASSERT_TRUE(loaded);
	EXPECT_EQ(loaded->type(), Graph::Type::Directed);
	EXPECT_EQ(loaded->numEdges(), 2);
	EXPECT_EQ(loaded->edge(1, 2)->features(), std::vector<double>({1.0}));
	EXPECT_EQ(loaded->edge(2, 1)->features(), std::vector<double>({2.0}));
}

TEST(GraphMLRoundTripTest, NotANumberAndInfinitiesSurvive)
{
	Graph graph;
	const double nan = std::numeric_limits<double>::quiet_NaN();
	const double inf = std::numeric_limits<double>::infinity();
	graph.addNodeFeatureDescriptors({{"a", 0.0}, {"b", 0.0}, {"c", 0.0}, {"d", 0.0}});
	graph.addNode(Graph::NodeInfo({0, 0, 0}, {nan, -nan, inf, -inf}));
	TemporaryDirectory dir;
	ASSERT_TRUE(save(graph, dir.file("special.graphml")));
	Log::ScopedCapture log;
	auto loaded = GraphMLIoAlgorithm::loadFromGraphML(Filesystem::Path(dir.file("special.graphml")));
	ASSERT_TRUE(loaded) << errorsOf(log);
	const auto& f = loaded->node(1).features();
	EXPECT_TRUE(std::isnan(f[0]));
	EXPECT_TRUE(std::isnan(f[1]));
	EXPECT_EQ(f[2], inf);
	EXPECT_EQ(f[3], -inf);
}

TEST(GraphMLRoundTripTest, EmptyGraphsLoadBack)
{
	TemporaryDirectory dir;
	for (auto dimension : {Graph::Dimension::TwoD, Graph::Dimension::ThreeD})
	{
		Graph graph(Graph::Type::Undirected, dimension);
		ASSERT_TRUE(save(graph, dir.file("empty.graphml")));
		Log::ScopedCapture log;
		auto loaded = GraphMLIoAlgorithm::loadFromGraphML(Filesystem::Path(dir.file("empty.graphml")));
		ASSERT_TRUE(loaded) << errorsOf(log);
		EXPECT_TRUE(loaded->empty());
		EXPECT_EQ(loaded->dimension(), dimension);
		EXPECT_THAT(featureNames(loaded->edgeFeatureDescriptors()), ElementsAre("diameter"));
	}
}

// --- Replacing the file safely ------------------------------------------------------------------------

TEST(GraphMLSafeWriteTest, OverwriteReplacesContentKeepsPermissionsAndLeavesNoTemporaryFile)
{
	TemporaryDirectory dir;
	const std::string path = dir.file("g.graphml");
	writeText(path, "old content that is longer than nothing");
	std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
	                                       std::filesystem::perms::group_read);
	ASSERT_TRUE(save(smallGraph(), path));
	EXPECT_THAT(readText(path), HasSubstr("<graphml"));
	EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
	          std::filesystem::perms::owner_read | std::filesystem::perms::owner_write | std::filesystem::perms::group_read);
	EXPECT_THAT(dir.entries(), ElementsAre("g.graphml"));
}

TEST(GraphMLSafeWriteTest, WritingThroughALinkReplacesTheLinkedFile)
{
	TemporaryDirectory dir;
	writeText(dir.file("real.graphml"), "old");
	std::filesystem::create_symlink(dir.file("real.graphml"), dir.file("link.graphml"));
	ASSERT_TRUE(save(smallGraph(), dir.file("link.graphml")));
	EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.graphml")));
	EXPECT_THAT(readText(dir.file("real.graphml")), HasSubstr("<graphml"));
}

TEST(GraphMLSafeWriteTest, DocumentBeyondTheMemoryLimitIsRefusedAndTheFileKept)
{
	// A data element per value: 1,000 nodes with 100 features make a document of about 150 MB.
	Graph graph(Graph::Type::Undirected, Graph::Dimension::ThreeD);
	graph.clearFeatureDescriptors();
	std::vector<Graph::FeatureDescriptor> features;
	for (int k = 0; k < 100; ++k)
		features.push_back({"f" + std::to_string(k), 0.0});
	graph.addNodeFeatureDescriptors(features);
	for (int n = 0; n < 1000; ++n)
		graph.addNode(Graph::NodeInfo({0, 0, 0}, std::vector<double>(100, 1.0)));
	TemporaryDirectory dir;
	writeText(dir.file("g.graphml"), "old");
	Testing::ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", "64M");
	Log::ScopedCapture log;
	EXPECT_FALSE(save(graph, dir.file("g.graphml")));
	EXPECT_THAT(log->messages(Log::Error), ElementsAre("Failed to write GraphML: The GraphML document would need 154 MB of memory, "
	                                                   "more than the 67.1 MB available"));
	EXPECT_EQ(readText(dir.file("g.graphml")), "old");
	EXPECT_THAT(dir.entries(), ElementsAre("g.graphml"));
}

TEST(GraphMLSafeWriteTest, DeviceIsWrittenInPlaceNotReplaced)
{
	// A private null device (major 1, minor 3), so that a faulty writer can only replace this one.
	TemporaryDirectory dir;
	const std::string device = dir.file("null");
	if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
		GTEST_SKIP() << "cannot create a device node here";
	ASSERT_TRUE(save(smallGraph(), device));
	EXPECT_TRUE(std::filesystem::is_character_file(device));
	EXPECT_THAT(dir.entries(), ElementsAre("null"));
}

TEST(GraphMLSafeWriteTest, UnopenableTargetIsReportedAndStatusIsFailure)
{
	TemporaryDirectory dir;
	Graph graph = smallGraph();
	// The message says why, in the words of the system.
	for (const auto& [path, reason] : {std::pair{dir.file("missing/dir/g.graphml"), std::string("No such file or directory")},
	                                   std::pair{dir.file(""), std::string("it is a folder")}})
	{
		Log::ScopedCapture log;
		GraphMLIoAlgorithm writer(graph);
		writer.setLocation(path);
		writer.compute();
		EXPECT_EQ(writer.status(), Algorithm::Error);
		EXPECT_THAT(log->messages(Log::Error), ElementsAre("Failed to open '" + path + "': " + reason + "."));
	}
}

TEST(GraphMLSafeWriteTest, FailedWriteLeavesTheOldFileIntact)
{
	TemporaryDirectory dir;
	const std::string path = dir.file("g.graphml");
	const std::string old = "precious old content\n";
	writeText(path, old);
	Graph big;
	for (int i = 0; i < 2000; ++i)
		big.addNode(Graph::NodeInfo({double(i), 0, 0}, {}));

	// A file size limit below the document's size makes the write fail part-way (EFBIG).
	EXPECT_EXIT(saveUnderFileSizeLimit(big, path, 4096), ::testing::ExitedWithCode(3),
	            "Failed to write GraphML: could not write '.*g\\.graphml'");
	EXPECT_EQ(readText(path), old);
	EXPECT_THAT(dir.entries(), ElementsAre("g.graphml"));
}

// --- Reading: accepted input --------------------------------------------------------------------------

TEST(GraphMLReaderTest, AcceptsNumberSpellingsAndWhitespace)
{
	auto graph =
	    loadText(document("<key id=\"f\" for=\"node\"/><key id=\"g\" for=\"node\"/><graph edgedefault=\"undirected\">"
	                      "<node id=\"a\"><data key=\"x\"> 2.5\n</data><data key=\"y\">+1e3</data><data key=\"f\">NaN</data></node>"
	                      "<node id=\"b\"><data key=\"f\">INF</data><data key=\"g\">-Infinity</data></node>"
	                      "<node id=\"c\"><data key=\"x\">1e-400</data><data key=\"y\">4.9406564584124654e-324</data><data key=\"f\">-nan</data></node>"
	                      "</graph>"));
	ASSERT_TRUE(graph);
	EXPECT_EQ(graph->dimension(), Graph::Dimension::TwoD);
	EXPECT_EQ(graph->node(1).position(), Eigen::Vector3d(2.5, 1000, 0));
	EXPECT_TRUE(std::isnan(graph->node(1).features()[0]));
	EXPECT_EQ(graph->node(2).features()[0], std::numeric_limits<double>::infinity());
	EXPECT_EQ(graph->node(2).features()[1], -std::numeric_limits<double>::infinity());
	EXPECT_TRUE(std::isnan(graph->node(3).features()[0]));
	EXPECT_EQ(graph->node(3).position().x(), 0.0);
	EXPECT_EQ(graph->node(3).position().y(), std::numeric_limits<double>::denorm_min());
}

TEST(GraphMLReaderTest, StructuralRulesOfTheReader)
{
	// No edgedefault reads as directed; a z found only in the first node's data makes the graph 3-D;
	// unrecognised data is never converted; nodes of one graph element may be named by edges of
	// another and by edges before them; keys for anything but nodes and edges are skipped, keys for
	// all serve both; x, y and z are never node features.
	auto graph = loadText(document("<key id=\"w\" for=\"edge\"/><key id=\"r\" for=\"node\"/><key id=\"x\" for=\"node\"/>"
	                               "<key id=\"g\" for=\"graph\"/><key id=\"h\" for=\"hyperedge\"/><key id=\"all\" for=\"all\"/>"
	                               "<graph><data key=\"g\">not a number</data>"
	                               "<edge source=\"b\" target=\"a\"><data key=\"w\">7</data><data key=\"other\">text</data></edge>"
	                               "<node id=\"a\"><data key=\"z\">3</data><data key=\"r\">0.5</data><data key=\"h\">nope</data></node>"
	                               "<node id=\"b\"><data key=\"x\">1</data><data key=\"all\">2</data></node>"
	                               "<node id=\"d\"><data key=\"x\">99</data><data key=\"w\">nope</data></node>"
	                               "<edge source=\"e\" target=\"a\"/>"
	                               "</graph>"
	                               "<graph edgedefault=\"undirected\"><node id=\"c\"/><edge source=\"c\" target=\"a\"/><node id=\"e\"/></graph>"));
	ASSERT_TRUE(graph);
	EXPECT_EQ(graph->type(), Graph::Type::Directed);
	EXPECT_EQ(graph->dimension(), Graph::Dimension::ThreeD);
	EXPECT_THAT(featureNames(graph->edgeFeatureDescriptors()), ElementsAre("w", "all"));
	EXPECT_THAT(featureNames(graph->nodeFeatureDescriptors()), ElementsAre("r", "all"));
	EXPECT_EQ(graph->numNodes(), 5);
	EXPECT_EQ(graph->node(1).position(), Eigen::Vector3d(0, 0, 3));
	EXPECT_EQ(graph->node(1).features(), std::vector<double>({0.5, 0.0}));
	EXPECT_EQ(graph->node(2).features(), std::vector<double>({0.0, 2.0}));
	EXPECT_EQ(graph->node(3).position().x(), 99.0);
	EXPECT_EQ(graph->edge(2, 1)->features(), std::vector<double>({7.0, 0.0}));
	EXPECT_TRUE(graph->edge(5, 1).has_value());
	EXPECT_TRUE(graph->edge(4, 1).has_value());
	EXPECT_FALSE(graph->edge(1, 4).has_value());
	EXPECT_EQ(graph->numEdges(), 3);

	// Without a node key named z and without z in the first node, later z data is neither read nor
	// converted; an edge key named z is an edge feature.
	auto flat = loadText(document("<key id=\"z\" for=\"edge\"/><graph><node id=\"a\"/><node id=\"b\"><data key=\"z\">not a number</data>"
	                              "</node><edge source=\"a\" target=\"b\"><data key=\"z\">5</data></edge></graph>"));
	ASSERT_TRUE(flat);
	EXPECT_EQ(flat->dimension(), Graph::Dimension::TwoD);
	EXPECT_EQ(flat->node(2).position().z(), 0.0);
	EXPECT_EQ(flat->edge(1, 2)->features(), std::vector<double>{5.0});
}

TEST(GraphMLReaderTest, DeepButAcceptableNestingAndTrickyMarkupParse)
{
	// Markup that looks like start tags inside comments, CDATA, processing instructions and attribute values
	// must not count as nesting.
	std::string noise;
	for (int i = 0; i < 3000; ++i)
		noise += "<!-- <a> --><![CDATA[<b>]]><?pi <c>?>";
	std::string deep;
	for (int i = 0; i < 900; ++i)
		deep += "<d>";
	for (int i = 0; i < 900; ++i)
		deep += "</d>";
	const std::string text = "<?xml version=\"1.0\"?>\n<graphml>" + noise + deep +
	                         "<graph><node id=\"a>b\"><data key=\"x\">1</data></node><node id='c&gt;'/></graph></graphml>";
	Log::ScopedCapture log;
	auto graph = loadText(text);
	ASSERT_TRUE(graph) << errorsOf(log);
	EXPECT_EQ(graph->numNodes(), 2);
}

// --- Reading: refused input ---------------------------------------------------------------------------

TEST(GraphMLReaderTest, RefusedDocumentsGiveTheirMessages)
{
	struct Case
	{
		std::string text;
		std::string message;
	};
	const std::vector<Case> cases = {
	    {"", "Parsed GraphML tree is empty"},
	    {"<?xml version=\"1.0\"?>\n", "Parsed GraphML tree is empty"},
	    {document("<graph><node id=\"a\"><data key=\"x\">abc</data></node></graph>"),
	     "Error during parsing of file: line 3: the value \"abc\" of key \"x\" at node \"a\" is not a number"},
	    {document("<graph><node id=\"a\"><data key=\"y\">1.5abc</data></node></graph>"),
	     "Error during parsing of file: line 3: the value \"1.5abc\" of key \"y\" at node \"a\" is not a number"},
	    {document("<graph><node id=\"a\"><data key=\"x\"></data></node></graph>"),
	     "Error during parsing of file: line 3: the value \"\" of key \"x\" at node \"a\" is not a number"},
	    {document("<graph><node id=\"a\"><data key=\"x\">1e400</data></node></graph>"),
	     "Error during parsing of file: line 3: the value \"1e400\" of key \"x\" at node \"a\" is not a number"},
	    {document("<key id=\"w\" for=\"edge\"/><graph><node id=\"a\"/><edge source=\"a\" target=\"a\"><data key=\"w\">--1</data></edge>"
	              "</graph>"),
	     "Error during parsing of file: line 3: the value \"--1\" of key \"w\" at edge \"a -> a\" is not a number"},
	};
	for (const auto& c : cases)
	{
		Log::ScopedCapture log;
		EXPECT_FALSE(loadText(c.text)) << c.text;
		EXPECT_THAT(log->messages(Log::Error), ElementsAre(c.message)) << c.text;
	}
}

TEST(GraphMLReaderTest, MalformedXmlIsAParseError)
{
	for (const std::string text : {"<graphml><graph>", "<graphml attr=\"unterminated></graphml>", "no markup at all <"})
	{
		Log::ScopedCapture log;
		EXPECT_FALSE(loadText(text));
		const auto errors = log->messages(Log::Error);
		ASSERT_EQ(errors.size(), 1u) << text;
		EXPECT_THAT(errors[0], ::testing::StartsWith("Could not parse GraphML input: ")) << text;
	}
}

TEST(GraphMLReaderTest, ExcessiveNestingIsRefusedInsteadOfOverflowingTheStack)
{
	constexpr int levels = 200000;
	std::string text = "<graphml><graph>";
	text.reserve(text.size() + levels * 7);
	for (int i = 0; i < levels; ++i)
		text += "<a>";
	for (int i = 0; i < levels; ++i)
		text += "</a>";
	text += "</graph></graphml>";
	Log::ScopedCapture log;
	EXPECT_FALSE(loadText(text));
	EXPECT_THAT(log->messages(Log::Error), ElementsAre("Could not parse GraphML input: elements are nested deeper than 1000 levels"));
}

TEST(GraphMLReaderTest, DocumentsTheTreeParserWouldMisreadAreRefused)
{
	std::string deep;
	for (int i = 0; i < 200000; ++i)
		deep += "<a>";
	const std::string doctype = "Could not parse GraphML input: a document type declaration (DOCTYPE) is not allowed";
	const std::vector<std::pair<std::string, std::string>> cases = {
	    // A quote inside a DOCTYPE hid the nesting from a bracket count, and the tree parser's recursion overflowed the stack.
	    {"<!DOCTYPE x \">" + deep + "\">", "Could not parse GraphML input: syntax error (line 1, column 13)"},
	    {"<!DOCTYPE x SYSTEM \">" + deep + "\">", doctype},
	    {"<!DOCTYPE x [<!ENTITY e \"]>" + deep, doctype},
	    // A broken closing tag and no end of the root loaded as a graph of one node.
	    {"<graphml><graph><node id=\"a\"></nod></graph>", "Could not parse GraphML input: mismatched tag (line 1, column 32)"},
	    {document("<graph/>") + "<graph><node id=\"b\"/></graph>",
	     "Could not parse GraphML input: junk after document element (line 4, column 1)"},
	    {document("<graph/>").substr(0, 60), "Could not parse GraphML input: unclosed token (line 2, column 1)"},
	    {"<graphml><graph>", "Could not parse GraphML input: the document ends inside an element (line 1)"},
	    {"<?xml version=\"1.0\"?>\n<!-- nothing -->\n", "Parsed GraphML tree is empty"},
	};
	for (const auto& [text, message] : cases)
	{
		Log::ScopedCapture log;
		EXPECT_FALSE(loadText(text)) << text.substr(0, 80);
		EXPECT_THAT(log->messages(Log::Error), ElementsAre(message)) << text.substr(0, 80);
	}
}

TEST(GraphMLReaderTest, FilesImplyingMoreMemoryThanAvailableOrNotRegularAreRefused)
{
	// Keys on bare nodes: 100 for nodes on 10,000 nodes, 8 MB of feature values from a file of 172 kB;
	// 1,000 for all (that is, without `for`) on 2,000 nodes, 16 MB from 49 kB.
	for (const auto& [keys, forWhat, nodes, limit, message] :
	     {std::tuple{100, " for=\"node\"", 10000, "8M",
	                 "Reading a GraphML document of 172 kB into a graph of 10000 nodes with 100 features and 0 edges with 0 features "
	                 "would need 12 MB of memory, more than the 8.39 MB available"},
	      std::tuple{1000, "", 2000, "12M",
	                 "Reading a GraphML document of 48.9 kB into a graph of 2000 nodes with 1000 features and 0 edges with 1000 "
	                 "features would need 17.5 MB of memory, more than the 12.6 MB available"}})
	{
		std::string body;
		for (int k = 0; k < keys; ++k)
			body += "<key id=\"f" + std::to_string(k) + "\"" + forWhat + "/>";
		body += "<graph>";
		for (int n = 0; n < nodes; ++n)
			body += "<node id=\"" + std::to_string(n) + "\"/>";
		body += "</graph>";
		Testing::ScopedEnvironment variable("QUORVALE_MEMORY_LIMIT", limit);
		Log::ScopedCapture log;
		EXPECT_FALSE(loadText(document(body)));
		EXPECT_THAT(log->messages(Log::Error), ElementsAre(std::string("Error during parsing of file: ") + message));
	}

	// A pipe or a device would be read without end.
	TemporaryDirectory dir;
	ASSERT_EQ(::mkfifo(dir.file("pipe.graphml").c_str(), 0600), 0);
	std::filesystem::create_symlink("/dev/zero", dir.file("zero.graphml"));
	for (const std::string name : {"pipe.graphml", "zero.graphml"})
	{
		Log::ScopedCapture log;
		EXPECT_FALSE(GraphMLIoAlgorithm::loadFromGraphML(Filesystem::Path(dir.file(name))));
		EXPECT_THAT(log->messages(Log::Error), ElementsAre("Could not open " + dir.file(name) + " for reading: it is not a regular file."));
	}
}

TEST(GraphMLReaderTest, MissingFileFailsSilentlyAndDirectoryIsNoFile)
{
	TemporaryDirectory dir;
	for (const std::string& path : {dir.file("none.graphml"), dir.file("")})
	{
		Log::ScopedCapture log;
		GraphMLIoAlgorithm reader;
		reader.setLocation(path);
		reader.compute();
		EXPECT_EQ(reader.status(), Algorithm::Error);
		EXPECT_TRUE(reader.takeOutput().isEmpty());
		EXPECT_TRUE(log->records().empty());
	}
}

// --- The algorithm in the host ------------------------------------------------------------------------

TEST(GraphMLIoAlgorithmTest, CompatibleWithNothingForReadingAndOneGraphForWriting)
{
	Graph a, b;
	Data other;
	EXPECT_TRUE(GraphMLIoAlgorithm::createCompatible(DataList{}, nullptr));
	EXPECT_TRUE(GraphMLIoAlgorithm::createCompatible(DataList{&a}, nullptr));
	EXPECT_FALSE(GraphMLIoAlgorithm::createCompatible(DataList{&a, &b}, nullptr));
	EXPECT_FALSE(GraphMLIoAlgorithm::createCompatible(DataList{&other}, nullptr));

	Algorithm* created = nullptr;
	ASSERT_TRUE(GraphMLIoAlgorithm::createCompatible(DataList{}, &created));
	std::unique_ptr<Algorithm> reader(created);
	EXPECT_EQ(dynamic_cast<IoAlgorithm&>(*reader).ioMode(), IoAlgorithm::IoMode::Read);
	ASSERT_TRUE(GraphMLIoAlgorithm::createCompatible(DataList{&a}, &created));
	std::unique_ptr<Algorithm> writer(created);
	EXPECT_EQ(dynamic_cast<IoAlgorithm&>(*writer).ioMode(), IoAlgorithm::IoMode::Write);
}

TEST(GraphMLIoAlgorithmTest, RegisteredAsTheGraphMLInputOutputAlgorithm)
{
	GraphPluginFactory factory;
	const auto* descriptor = factory.algorithmDescriptor("Graph.GraphMLIo");
	ASSERT_NE(descriptor, nullptr);
	EXPECT_EQ(descriptor->name, "IO;Graph (graphml)");
	EXPECT_TRUE(descriptor->isIo);
	auto algorithm = factory.instantiateIoAlgorithm("Graph.GraphMLIo", DataList{});
	ASSERT_TRUE(algorithm);
	EXPECT_TRUE(dynamic_cast<GraphMLIoAlgorithm*>(algorithm.get()));
	EXPECT_EQ(algorithm->factoryInfo().name, "Graph (graphml)");
	EXPECT_EQ(algorithm->supportedFileExtensions(), std::vector<std::string>({"graphml"}));
	EXPECT_TRUE(algorithm->canLoad("/some/where/Vessels.GraphML"));
}

TEST(GraphMLIoAlgorithmTest, WriteThenReadThroughComputeAndConfiguration)
{
	TemporaryDirectory dir;
	Graph graph = smallGraph();
	GraphMLIoAlgorithm writer(graph);
	EXPECT_EQ(writer.exportFeatures.attribute("useroption"), std::optional<std::string>("rw"));
	Properties settings;
	settings.setParam("exportFeatures", false);
	writer.configure(settings);
	writer.setLocation(dir.file("out.graphml"));
	writer.compute();
	EXPECT_EQ(writer.status(), Algorithm::Success);
	EXPECT_TRUE(writer.takeOutput().isEmpty());

	GraphMLIoAlgorithm reader;
	reader.setLocation(dir.file("out.graphml"));
	reader.compute();
	EXPECT_EQ(reader.status(), Algorithm::Success);
	OwningDataList output = reader.takeOutput();
	ASSERT_EQ(output.size(), 1);
	auto loaded = output.extractFirst<Graph>();
	ASSERT_TRUE(loaded);
	EXPECT_EQ(loaded->numNodes(), 2);
	EXPECT_EQ(loaded->numNodeFeatures(), 0);
	EXPECT_TRUE(reader.takeOutput().isEmpty());

	// A failed read after a good one that was not taken leaves nothing behind.
	reader.compute();
	reader.setLocation(dir.file("absent.graphml"));
	reader.compute();
	EXPECT_EQ(reader.status(), Algorithm::Error);
	EXPECT_TRUE(reader.takeOutput().isEmpty());
}
