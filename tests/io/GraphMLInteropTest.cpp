// GraphML exchange with networkx, the reference implementation most users hold our files against:
// networkx must read what we write, and we must read what networkx writes.
#include "tests/io/GraphMLTestUtils.h"

#include "host/core/Log.h"
#include "src/graph/Graph.h"
#include "src/io/GraphMLIoAlgorithm.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <Eigen/Geometry>

#include <fmt/format.h>

#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace Quorvale;
using namespace Quorvale::GraphMLTest;
using ::testing::ElementsAre;

namespace
{
	using Attributes = std::map<std::string, std::string>;

	/// What the helper script prints about a graph (see tests/io/scripts/graphml_interop.py).
	struct Dump
	{
		bool directed = false;
		std::vector<std::pair<std::string, Attributes>> nodes;
		/// The first edge listed between two nodes (in the order listed).
		std::map<std::pair<std::string, std::string>, Attributes> edges;
		size_t edgeLines = 0;
	};

	struct ScriptResult
	{
		int exitCode = -1;
		std::string output;
	};

	ScriptResult runScript(const std::string& arguments)
	{
		const auto script = std::filesystem::path(QUORVALE_IO_TEST_DIR) / "scripts" / "graphml_interop.py";
		const std::string command = "/usr/bin/python3 '" + script.string() + "' " + arguments + " 2>&1";
		ScriptResult result;
		FILE* pipe = popen(command.c_str(), "r");
		if (!pipe)
			return result;
		char buffer[4096];
		size_t count;
		while ((count = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
			result.output.append(buffer, count);
		const int status = pclose(pipe);
		result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
		return result;
	}

	Attributes parseAttributes(std::istringstream& line)
	{
		Attributes attributes;
		std::string item;
		while (line >> item)
		{
			const auto equals = item.find('=');
			attributes[item.substr(0, equals)] = equals == std::string::npos ? "" : item.substr(equals + 1);
		}
		return attributes;
	}

	Dump parseDump(const std::string& text)
	{
		Dump dump;
		std::istringstream lines(text);
		std::string text_line;
		while (std::getline(lines, text_line))
		{
			std::istringstream line(text_line);
			std::string what;
			line >> what;
			if (what == "directed")
				line >> dump.directed;
			else if (what == "node")
			{
				std::string id;
				line >> id;
				dump.nodes.emplace_back(id, parseAttributes(line));
			}
			else if (what == "edge")
			{
				std::string source, target;
				line >> source >> target;
				dump.edges.emplace(std::pair{source, target}, parseAttributes(line));
				++dump.edgeLines;
			}
			else
				ADD_FAILURE() << "unexpected line from the script: " << text_line;
		}
		return dump;
	}

	/// The printed value as a double ("nan" and "inf" included).
	double number(const Attributes& attributes, const std::string& name)
	{
		const auto found = attributes.find(name);
		if (found == attributes.end())
		{
			ADD_FAILURE() << "no attribute " << name;
			return 0.0;
		}
		return std::stod(found->second);
	}

	/// A text as the script prints it: percent-encoded (all but letters, digits and "_.-~") in double quotes.
	std::string printed(const std::string& text)
	{
		std::string out = "\"";
		for (const unsigned char c : text)
			if (std::isalnum(c) || c == '_' || c == '.' || c == '-' || c == '~')
				out += static_cast<char>(c);
			else
				out += fmt::format("%{:02X}", c);
		return out + "\"";
	}

	bool isText(const std::string& printedValue) { return !printedValue.empty() && printedValue.front() == '"'; }

	/// The graph's features and text attributes of one node or edge against what the script printed:
	/// texts are attributes, everything else a feature.
	void expectSameAttributes(const Attributes& expected, const std::vector<Graph::FeatureDescriptor>& descriptors,
	                          const std::vector<double>& features, const Properties& attributes, const std::string& where)
	{
		for (const auto& entry : expected)
		{
			const std::string& name = entry.first;
			const std::string& value = entry.second;
			if (isText(value))
			{
				EXPECT_EQ(printed(attributes.param<std::string>(name).value_or("(none)")), value) << where << " " << name;
				continue;
			}
			const auto column = std::find_if(descriptors.begin(), descriptors.end(), [&](const auto& d) { return d.name == name; });
			ASSERT_NE(column, descriptors.end()) << where << " " << name;
			EXPECT_EQ(features[static_cast<size_t>(column - descriptors.begin())], std::stod(value)) << where << " " << name;
		}
	}

	void expectSameValue(double expected, double actual, const std::string& what)
	{
		if (std::isnan(expected))
			EXPECT_TRUE(std::isnan(actual)) << what;
		else
			EXPECT_EQ(expected, actual) << what;
	}

	/// Reads the file with networkx and checks it against the graph it was written from.
	void expectNetworkxReadsTheGraph(const Graph& graph, const std::string& path)
	{
		const auto result = runScript("read '" + path + "'");
		ASSERT_EQ(result.exitCode, 0) << result.output;
		const Dump dump = parseDump(result.output);

		EXPECT_EQ(dump.directed, graph.type() == Graph::Type::Directed);
		const bool threeD = graph.dimension() == Graph::Dimension::ThreeD;
		const Eigen::Matrix4d toWorld = graph.matrixToWorld();
		std::vector<uint64_t> ids = nodeIds(graph);
		ASSERT_EQ(dump.nodes.size(), ids.size());
		for (size_t i = 0; i < ids.size(); ++i)
		{
			const auto& [name, attributes] = dump.nodes[i];
			EXPECT_EQ(name, "n" + std::to_string(ids[i]));
			const auto& info = graph.node(ids[i]);
			const Eigen::Vector3d world = toWorld.topLeftCorner<3, 3>() * info.position() + toWorld.topRightCorner<3, 1>();
			EXPECT_EQ(attributes.size(), (threeD ? 3u : 2u) + info.features().size()) << name;
			EXPECT_EQ(number(attributes, "x"), world.x()) << name;
			EXPECT_EQ(number(attributes, "y"), world.y()) << name;
			if (threeD)
			{
				EXPECT_EQ(number(attributes, "z"), world.z()) << name;
			}
			for (size_t f = 0; f < info.features().size(); ++f)
			{
				const std::string feature = graph.nodeFeatureDescriptors()[f].name;
				expectSameValue(info.features()[f], number(attributes, feature), name + " " + feature);
			}
		}

		size_t edges = 0;
		graph.forEachEdge(
		    [&](const Graph::EdgeInfo& info, uint64_t from, uint64_t to)
		    {
			    ++edges;
			    const std::string source = "n" + std::to_string(from), target = "n" + std::to_string(to);
			    auto found = dump.edges.find({source, target});
			    if (found == dump.edges.end() && !dump.directed)
				    found = dump.edges.find({target, source});
			    ASSERT_NE(found, dump.edges.end()) << source << " " << target;
			    for (size_t f = 0; f < info.features().size(); ++f)
			    {
				    const std::string feature = graph.edgeFeatureDescriptors()[f].name;
				    expectSameValue(info.features()[f], number(found->second, feature), source + "-" + target + " " + feature);
			    }
		    });
		EXPECT_EQ(dump.edges.size(), edges);
	}

	/// A graph with gaps in its node ids, a transform to world, and awkward feature values.
	Graph exampleGraph(Graph::Type type, Graph::Dimension dimension)
	{
		Graph graph(type, dimension);
		graph.setMatrixToWorld((Eigen::Translation3d(1, 2, 3) * Eigen::AngleAxisd(0.3, Eigen::Vector3d::UnitZ())).matrix());
		// An edge feature named like a coordinate, a node and an edge feature of one name, and a name
		// with markup and letters beyond ASCII.
		graph.addEdgeFeatureDescriptors({{"length", 0.0}, {"x", 0.0}});
		graph.addNodeFeatureDescriptors({{"radius", 0.0}, {"flow", 0.0}, {"length", 0.0}, {"na\xc3\xafve&<\xc2\xb5m>\"", 0.0}});
		const double awkward[] = {0.1, 1.0 / 3.0, -2.5e10, 1e-300, std::nan(""), std::numeric_limits<double>::infinity()};
		for (int i = 0; i < 8; ++i)
			graph.addNode(Graph::NodeInfo({i * 0.7, -i / 3.0, dimension == Graph::Dimension::ThreeD ? i * 1e-3 : 0.0},
			                              {awkward[i % 6], -awkward[(i + 1) % 6], i * 2.0, awkward[(i + 2) % 6]}));
		graph.removeNode(3);
		graph.removeNode(6);
		const std::pair<uint64_t, uint64_t> edges[] = {{1, 2}, {2, 4}, {4, 1}, {5, 5}, {8, 7}, {7, 8}, {2, 1}};
		int i = 0;
		for (const auto& [from, to] : edges)
		{
			graph.addEdge(from, to, Graph::EdgeInfo({0.25 * i, awkward[i % 6], -awkward[(i + 3) % 6]}));
			++i;
		}
		return graph;
	}

	/// Loads the file at `path` and checks it against what the script printed when it wrote it: node k
	/// of the file becomes node k, coordinates are the position, texts attributes, everything else
	/// a feature; of parallel edges the first is kept.
	void expectWeReadTheDump(const std::string& path, const Dump& dump)
	{
		Log::ScopedCapture log;
		auto graph = GraphMLIoAlgorithm::loadFromGraphML(Filesystem::Path(path));
		ASSERT_TRUE(graph) << ::testing::PrintToString(log->messages());
		EXPECT_EQ(graph->type(), dump.directed ? Graph::Type::Directed : Graph::Type::Undirected);
		const bool threeD = dump.nodes.front().second.count("z") != 0;
		EXPECT_EQ(graph->dimension(), threeD ? Graph::Dimension::ThreeD : Graph::Dimension::TwoD);

		ASSERT_EQ(graph->numNodes(), static_cast<int>(dump.nodes.size()));
		std::map<std::string, uint64_t> idOf;
		for (size_t i = 0; i < dump.nodes.size(); ++i)
		{
			auto [name, attributes] = dump.nodes[i];
			idOf[name] = i + 1;
			const auto& info = graph->node(i + 1);
			EXPECT_EQ(info.position().x(), number(attributes, "x")) << name;
			EXPECT_EQ(info.position().y(), number(attributes, "y")) << name;
			EXPECT_EQ(info.position().z(), threeD ? number(attributes, "z") : 0.0) << name;
			for (const char* axis : {"x", "y", "z"})
				attributes.erase(axis);
			const auto features = std::count_if(attributes.begin(), attributes.end(), [](const auto& a) { return !isText(a.second); });
			EXPECT_EQ(graph->numNodeFeatures(), features) << name;
			expectSameAttributes(attributes, graph->nodeFeatureDescriptors(), info.features(), info.attributes(), name);
		}

		EXPECT_EQ(graph->numEdges(), static_cast<int>(dump.edges.size()));
		for (const auto& [ends, attributes] : dump.edges)
		{
			const auto& edge = graph->edge(idOf.at(ends.first), idOf.at(ends.second));
			ASSERT_TRUE(edge.has_value()) << ends.first << " " << ends.second;
			const auto features = std::count_if(attributes.begin(), attributes.end(), [](const auto& a) { return !isText(a.second); });
			EXPECT_EQ(graph->numEdgeFeatures(), features);
			expectSameAttributes(attributes, graph->edgeFeatureDescriptors(), edge->features(), edge->attributes(), ends.first + "-" + ends.second);
		}
		const size_t merged = dump.edgeLines - dump.edges.size();
		EXPECT_EQ(log->messages(Log::Warning).size(), merged > 0 ? 1u : 0u);
		if (merged > 0)
		{
			EXPECT_THAT(log->messages(Log::Warning)[0], ::testing::StartsWith("Merged " + std::to_string(merged) + " parallel edge(s)"));
		}
	}

	/// Loads what networkx wrote for `variant` with the script's `command` ("write": keys named after
	/// their attributes, "write-plain": networkx's default "d0", "d1", ...) and checks it against
	/// what the script printed.
	void expectWeReadWhatNetworkxWrote(const std::string& variant, const std::string& command = "write")
	{
		SCOPED_TRACE(command + " " + variant);
		TemporaryDirectory dir;
		const std::string path = dir.file(variant + ".graphml");
		const auto result = runScript(command + " '" + path + "' " + variant);
		ASSERT_EQ(result.exitCode, 0) << result.output;
		expectWeReadTheDump(path, parseDump(result.output));
	}
}

TEST(GraphMLInteropTest, NetworkxReadsWhatWeWrite)
{
	TemporaryDirectory dir;
	for (auto type : {Graph::Type::Undirected, Graph::Type::Directed})
		for (auto dimension : {Graph::Dimension::ThreeD, Graph::Dimension::TwoD})
		{
			SCOPED_TRACE(std::to_string(int(type)) + "/" + std::to_string(int(dimension)));
			const Graph graph = exampleGraph(type, dimension);
			const std::string path = dir.file("ours.graphml");
			ASSERT_TRUE(save(graph, path));
			expectNetworkxReadsTheGraph(graph, path);
		}
}

TEST(GraphMLInteropTest, NetworkxReadsWhatWeWriteWithoutFeatures)
{
	TemporaryDirectory dir;
	Graph graph = exampleGraph(Graph::Type::Undirected, Graph::Dimension::ThreeD);
	ASSERT_TRUE(save(graph, dir.file("bare.graphml"), false));
	graph.clearFeatureDescriptors();
	expectNetworkxReadsTheGraph(graph, dir.file("bare.graphml"));
}

TEST(GraphMLInteropTest, WeReadWhatNetworkxWrites)
{
	for (const char* variant :
	     {"undirected-3d-features", "undirected-2d", "directed-3d-features", "directed-2d", "undirected-2d-features", "directed-3d"})
		expectWeReadWhatNetworkxWrote(variant);
}

TEST(GraphMLInteropTest, KeysAreReadUnderTheirAttributeNamesAsNetworkxWritesThemByDefault)
{
	for (const char* variant : {"undirected-3d-features", "directed-2d", "undirected-2d-features"})
		expectWeReadWhatNetworkxWrote(variant, "write-plain");
}

TEST(GraphMLInteropTest, KeysAreReadUnderTheirAttributeNamesInIgraphsNaming)
{
	// igraph prefixes key ids with "v_" and "e_" and keeps the attribute's name in attr.name.
	std::istringstream in(R"(<?xml version="1.0" encoding="UTF-8"?>
<graphml xmlns="http://graphml.graphdrawing.org/xmlns">
  <key id="v_x" for="node" attr.name="x" attr.type="double"/>
  <key id="v_y" for="node" attr.name="y" attr.type="double"/>
  <key id="v_z" for="node" attr.name="z" attr.type="double"/>
  <key id="v_radius" for="node" attr.name="radius" attr.type="double"/>
  <key id="e_diameter" for="edge" attr.name="diameter" attr.type="double"/>
  <graph id="G" edgedefault="undirected">
    <node id="n0"><data key="v_x">1.5</data><data key="v_y">-2</data><data key="v_z">3.25</data><data key="v_radius">0.5</data></node>
    <node id="n1"><data key="v_x">4</data><data key="v_y">5</data><data key="v_z">6</data><data key="v_radius">0.75</data></node>
    <edge source="n0" target="n1"><data key="e_diameter">1.25</data></edge>
  </graph>
</graphml>
)");
	const auto graph = GraphMLIoAlgorithm::loadFromGraphML(in);
	ASSERT_TRUE(graph);
	EXPECT_EQ(graph->dimension(), Graph::Dimension::ThreeD);
	EXPECT_EQ(graph->node(1).position(), Eigen::Vector3d(1.5, -2, 3.25));
	EXPECT_EQ(graph->node(2).position(), Eigen::Vector3d(4, 5, 6));
	ASSERT_EQ(graph->nodeFeatureDescriptors().size(), 1u);
	EXPECT_EQ(graph->nodeFeatureDescriptors()[0].name, "radius");
	ASSERT_EQ(graph->edgeFeatureDescriptors().size(), 1u);
	EXPECT_EQ(graph->edgeFeatureDescriptors()[0].name, "diameter");
	EXPECT_EQ(graph->node(2).features(), std::vector<double>{0.75});
	ASSERT_TRUE(graph->edge(1, 2));
	EXPECT_EQ(graph->edge(1, 2)->features(), std::vector<double>{1.25});
}

TEST(GraphMLInteropTest, TextsBooleansIntegersAndParallelEdgesFromNetworkx)
{
	for (const char* variant : {"text", "typed", "multi"})
		for (const char* command : {"write", "write-plain"})
			expectWeReadWhatNetworkxWrote(variant, command);
}

// igraph's default writer: named vertices give the text key "name", booleans are written true and
// false, parallel edges stay. Keys for all (or without `for`) as networkx reads them.
TEST(GraphMLInteropTest, WeReadWhatIgraphsDefaultWriterWritesAndKeysForAllAsNetworkxReadsThem)
{
	TemporaryDirectory dir;
	const std::string forAll = dir.file("all.graphml");
	writeText(forAll, R"(<?xml version="1.0" encoding="UTF-8"?>
<graphml xmlns="http://graphml.graphdrawing.org/xmlns">
<key id="kx" for="all" attr.name="x" attr.type="double"/>
<key id="ky" attr.name="y" attr.type="double"/>
<key id="w" for="all" attr.name="weight" attr.type="double"/>
<key id="s" attr.name="label" attr.type="string"/>
<graph edgedefault="undirected">
<node id="a"><data key="kx">1</data><data key="ky">2</data><data key="w">0.5</data><data key="s">A b</data></node>
<node id="b"><data key="kx">4</data><data key="ky">5</data><data key="w">-1</data><data key="s">B</data></node>
<edge source="a" target="b"><data key="w">7</data><data key="s">e</data></edge>
</graph>
</graphml>
)");
	for (const auto& [command, path] : {std::pair{"igraph", dir.file("igraph.graphml")}, std::pair{"read", forAll}})
	{
		SCOPED_TRACE(command);
		const auto result = runScript(std::string(command) + " '" + path + "'");
		ASSERT_EQ(result.exitCode, 0) << result.output;
		expectWeReadTheDump(path, parseDump(result.output));
	}
}
