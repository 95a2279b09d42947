// GraphML as other programs write it: keys for every domain, typed values, defaults, parallel edges,
// and the documents that are refused with the element to blame.
#include "tests/io/GraphMLTestUtils.h"

#include "host/core/Log.h"
#include "src/graph/Graph.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Quorvale;
using namespace Quorvale::GraphMLTest;
using ::testing::ElementsAre;

namespace
{
	std::string text(const Properties& attributes, const std::string& name) { return attributes.param<std::string>(name).value_or("(none)"); }

	std::string errors(const Log::ScopedCapture& log) { return ::testing::PrintToString(log->messages(Log::Error)); }
}

TEST(GraphMLReaderTest, KeysForAllOrWithoutForServeNodesAndEdgesWithCoordinatesForNodesOnly)
{
	Log::ScopedCapture log;
	const auto graph = loadText(document(R"(<key id="kx" for="all" attr.name="x" attr.type="double"/>
<key id="ky" attr.name="y" attr.type="double"/>
<key id="kz" for="all" attr.name="z" attr.type="double"/>
<key id="w" attr.name="weight" attr.type="double"/>
<key id="len" for="edge" attr.name="" attr.type="double"/>
<graph edgedefault="undirected">
<node id="a"><data key="kx">1</data><data key="ky">2</data><data key="kz">3</data><data key="w">0.5</data></node>
<node id="b"><data key="kx">4</data><data key="ky">5</data><data key="kz">6</data></node>
<edge source="a" target="b"><data key="w">7</data><data key="kx">99</data><data key="len">4</data></edge>
</graph>
)"));
	ASSERT_TRUE(graph) << errors(log);
	EXPECT_EQ(graph->dimension(), Graph::Dimension::ThreeD);
	EXPECT_EQ(graph->node(1).position(), Eigen::Vector3d(1, 2, 3));
	EXPECT_EQ(graph->node(2).position(), Eigen::Vector3d(4, 5, 6));
	EXPECT_THAT(featureNames(graph->nodeFeatureDescriptors()), ElementsAre("weight"));
	// A key with an empty attr.name is named by its id.
	EXPECT_THAT(featureNames(graph->edgeFeatureDescriptors()), ElementsAre("weight", "len"));
	EXPECT_EQ(graph->node(1).features(), std::vector<double>{0.5});
	EXPECT_EQ(graph->node(2).features(), std::vector<double>{0.0});
	EXPECT_EQ(graph->edge(1, 2)->features(), std::vector<double>({7.0, 4.0}));
}

TEST(GraphMLReaderTest, ValuesAreReadByTheirKeysTypeAndTextsBecomeAttributes)
{
	Log::ScopedCapture log;
	const auto graph = loadText(document(R"(<key id="i" for="node" attr.name="count" attr.type="int"/>
<key id="l" for="node" attr.name="big" attr.type="long"/>
<key id="f" for="node" attr.name="ratio" attr.type="float"/>
<key id="b" for="node" attr.name="flag" attr.type="boolean"/>
<key id="s" for="node" attr.name="name" attr.type="string"/>
<key id="e" for="edge" attr.name="label" attr.type="string"/>
<graph edgedefault="undirected">
<node id="a"><data key="i">-3</data><data key="l"> +12345678901234567890 </data><data key="f">1.5</data><data key="b">true</data><data key="s">vessel &amp; "a"</data></node>
<node id="b"><data key="b">True</data><data key="s"> 12 </data><data key="s">later</data></node>
<node id="c"><data key="b">1</data></node>
<node id="d"><data key="b">false</data></node>
<node id="e"><data key="b">False</data></node>
<node id="f"><data key="b"> 0 </data></node>
<edge source="a" target="b"><data key="e">main</data></edge>
<edge source="b" target="c"/>
</graph>
)"));
	ASSERT_TRUE(graph) << errors(log);
	EXPECT_THAT(featureNames(graph->nodeFeatureDescriptors()), ElementsAre("count", "big", "ratio", "flag"));
	EXPECT_TRUE(graph->edgeFeatureDescriptors().empty());
	EXPECT_EQ(graph->node(1).features(), std::vector<double>({-3.0, 12345678901234567890.0, 1.5, 1.0}));
	std::vector<double> flags;
	for (uint64_t id = 1; id <= 6; ++id)
		flags.push_back(graph->node(id).features()[3]);
	EXPECT_EQ(flags, std::vector<double>({1, 1, 1, 0, 0, 0}));
	// Texts stay as they stand, white space included; of two values the later wins.
	EXPECT_EQ(text(graph->node(1).attributes(), "name"), "vessel & \"a\"");
	EXPECT_EQ(text(graph->node(2).attributes(), "name"), "later");
	EXPECT_TRUE(graph->node(3).attributes().isEmpty());
	EXPECT_EQ(text(graph->edge(1, 2)->attributes(), "label"), "main");
	EXPECT_TRUE(graph->edge(2, 3)->attributes().isEmpty());
}

TEST(GraphMLReaderTest, DefaultsApplyToElementsWithoutAValue)
{
	Log::ScopedCapture log;
	const auto graph = loadText(document(R"(<key id="r" for="node" attr.name="radius" attr.type="double"><default>2.5</default></key>
<key id="k" for="node" attr.name="kind" attr.type="string"><desc>what it is</desc><default>unknown</default></key>
<key id="x" for="node" attr.name="x" attr.type="double"><default>10</default></key>
<key id="o" for="edge" attr.name="open" attr.type="boolean"><default>true</default></key>
<graph edgedefault="directed">
<node id="a"><data key="r">1</data><data key="k">root</data><data key="x">3</data></node>
<node id="b"/>
<edge source="a" target="b"/>
<edge source="b" target="a"><data key="o">0</data></edge>
</graph>
)"));
	ASSERT_TRUE(graph) << errors(log);
	EXPECT_EQ(graph->node(1).features(), std::vector<double>{1.0});
	EXPECT_EQ(graph->node(2).features(), std::vector<double>{2.5});
	EXPECT_EQ(text(graph->node(1).attributes(), "kind"), "root");
	EXPECT_EQ(text(graph->node(2).attributes(), "kind"), "unknown");
	EXPECT_EQ(graph->node(1).position().x(), 3.0);
	EXPECT_EQ(graph->node(2).position().x(), 10.0);
	EXPECT_EQ(graph->edge(1, 2)->features(), std::vector<double>{1.0});
	EXPECT_EQ(graph->edge(2, 1)->features(), std::vector<double>{0.0});
}

TEST(GraphMLReaderTest, ParallelEdgesAreMergedIntoTheFirstWithOneWarning)
{
	for (const auto& [edgeDefault, edges, merged] : {std::tuple{"undirected", 2, 5}, std::tuple{"directed", 3, 4}})
	{
		SCOPED_TRACE(edgeDefault);
		Log::ScopedCapture log;
		const auto graph = loadText(document(std::string("<key id=\"w\" for=\"edge\" attr.type=\"double\"/><graph edgedefault=\"") + edgeDefault +
		                                     "\"><node id=\"a\"/><node id=\"b\"/>"
		                                     "<edge source=\"a\" target=\"b\"><data key=\"w\">1</data></edge>"
		                                     "<edge source=\"b\" target=\"a\"><data key=\"w\">2</data></edge>"
		                                     "<edge source=\"a\" target=\"b\"><data key=\"w\">3</data></edge>"
		                                     "<edge source=\"a\" target=\"a\"/><edge source=\"a\" target=\"a\"/>"
		                                     "<edge source=\"b\" target=\"a\"/><edge source=\"a\" target=\"a\"/>"
		                                     "</graph>"));
		ASSERT_TRUE(graph) << errors(log);
		EXPECT_EQ(graph->numEdges(), edges);
		EXPECT_EQ(graph->edge(1, 2)->features(), std::vector<double>{1.0});
		EXPECT_THAT(log->messages(Log::Warning),
		            ElementsAre("Merged " + std::to_string(merged) +
		                        " parallel edge(s) into the edge listed first between the same nodes: a graph holds one edge per pair "
		                        "of nodes (per direction when directed)."));
	}
}

TEST(GraphMLReaderTest, RefusedDocumentsNameTheKeyTheElementAndTheLine)
{
	const std::string read = "Error during parsing of file: ";
	const std::string parse = "Could not parse GraphML input: ";
	const std::vector<std::pair<std::string, std::string>> cases = {
	    {document("<key id=\"i\" for=\"node\" attr.type=\"int\"/>\n<graph>\n<node id=\"a\"><data key=\"i\">1.5</data></node>\n</graph>"),
	     read + "line 5: the value \"1.5\" of key \"i\" at node \"a\" is not an integer"},
	    {document("<key id=\"b\" for=\"edge\" attr.type=\"boolean\"/>\n<graph><node id=\"a\"/>\n<edge source=\"a\" target=\"a\">\n<data "
	              "key=\"b\">yes</data></edge></graph>"),
	     read + "line 6: the value \"yes\" of key \"b\" at edge \"a -> a\" is not a boolean (true, false, 1 or 0)"},
	    {document("<key id=\"d\" for=\"node\"/>\n<graph><node id=\"a\"><data key=\"d\">" + std::string(50, '7') + "x</data></node></graph>"),
	     read + "line 4: the value \"7777777777777777777777777777777777777777...\" of key \"d\" at node \"a\" is not a number"},
	    {document("<key id=\"r\" for=\"node\" attr.type=\"double\"><default>wide</default></key><graph/>"),
	     read + "line 3: the default \"wide\" of key \"r\" is not a number"},
	    {document("<key id=\"k\" for=\"node\" attr.type=\"complex\"/><graph/>"),
	     read + "line 3: key \"k\" has the attr.type \"complex\", which is none of GraphML's types (boolean, int, long, float, double, string)"},
	    {document("<key for=\"edge\"/><graph/>"), read + "line 3: a key without an id"},
	    {document("<key id=\"k\" for=\"node\"/>\n<key id=\"k\" for=\"all\"/><graph/>"), read + "line 4: the key id \"k\" is declared twice for nodes"},
	    {document("<key id=\"k\" for=\"all\"/>\n<key id=\"k\" for=\"edge\"/><graph/>"), read + "line 4: the key id \"k\" is declared twice for edges"},
	    {document("<key id=\"k\" for=\"node\" attr.name=\"a&#10;b\"/><graph/>"),
	     read + "line 3: key \"k\" names a feature \"a\\nb\" that cannot be stored: it holds the control character U+000A"},
	    {document("<graph><node id=\"a\"/>\n<node id=\"b\"/>\n<node id=\"a\"/></graph>"), read + "line 5: a second node with the id \"a\""},
	    {document("<graph>\n<node/></graph>"), read + "line 4: a node without an id"},
	    {document("<graph><node id=\"a\"/>\n<edge source=\"a\"/></graph>"), read + "line 4: an edge without a target"},
	    {document("<graph><node id=\"a\"/>\n<edge target=\"a\"/></graph>"), read + "line 4: an edge without a source"},
	    {document("<graph><node id=\"n1\"/>\n<edge source=\"n1\" target=\"n9\"/></graph>"),
	     read + "line 4: Edge refers to undefined node: n1 or n9"},
	    {document("<graph>\n<node id=\"a\"><data key=\"x\">-inf</data><data key=\"y\">1</data></node></graph>"),
	     read + "line 4: node \"a\" is at (-inf, 1, 0), which is not a finite position"},
	    {document("<key id=\"z\" for=\"node\"/><graph>\n<node id=\"a\"><data key=\"z\">nan</data></node></graph>"),
	     read + "line 4: node \"a\" is at (0, 0, nan), which is not a finite position"},
	    {"<other/>", read + "the document's root element is <other>, not <graphml>"},
	    {"<?xml version=\"1.0\"?>\n<g:graphml xmlns:g=\"http://graphml.graphdrawing.org/xmlns\"><g:graph/></g:graphml>",
	     parse + "GraphML written with a namespace prefix (<g:graphml> on line 2) is not read; write its elements without a prefix"},
	    {document("<graph><g:node xmlns:g=\"http://graphml.graphdrawing.org/xmlns\" id=\"a\"/></graph>"),
	     parse + "GraphML written with a namespace prefix (<g:node> on line 3) is not read; write its elements without a prefix"},
	    {std::string("\xff\xfe<\0g\0", 6), parse + "GraphML in UTF-16 is not read; save it as UTF-8"},
	    {std::string("\0<\0g", 4), parse + "GraphML in UTF-16 is not read; save it as UTF-8"},
	};
	for (const auto& [input, message] : cases)
	{
		SCOPED_TRACE(input);
		Log::ScopedCapture log;
		EXPECT_FALSE(loadText(input));
		EXPECT_THAT(log->messages(Log::Error), ElementsAre(message));
	}
}
