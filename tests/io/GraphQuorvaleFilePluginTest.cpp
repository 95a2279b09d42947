#include "host/core/Log.h"
#include "host/core/PropertiesIO.h"
#include "src/graph/Graph.h"
#include "src/io/GraphQuorvaleFilePlugin.h"
#include "tests/io/GraphQvfTestUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <tuple>

using namespace Quorvale;
using namespace Quorvale::GraphQvfTest;

namespace
{
	const GraphQuorvaleFilePlugin& handler()
	{
		static const GraphQuorvaleFilePlugin instance(158323);
		return instance;
	}

	std::string bodyOf(const Graph& graph)
	{
		std::ostringstream out;
		EXPECT_TRUE(handler().write(graph, out));
		return out.str();
	}

	/// A graph as `createData` makes it, with the body read into it; the result of `load` in `ok`.
	std::unique_ptr<Graph> readBody(const std::string& body, bool& ok)
	{
		std::unique_ptr<Data> data = handler().createData(158323);
		std::istringstream in(body);
		ok = handler().load(body.size(), *data, in);
		return std::unique_ptr<Graph>(static_cast<Graph*>(data.release()));
	}

	std::unique_ptr<Graph> roundTrip(const Graph& graph)
	{
		bool ok = false;
		auto copy = readBody(bodyOf(graph), ok);
		EXPECT_TRUE(ok);
		return copy;
	}

	/// Little-endian pieces for writing expected bodies by hand.
	std::string u32(uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
	std::string u64(uint64_t v) { return u32(uint32_t(v)) + u32(uint32_t(v >> 32)); }
	std::string f64(double v) { return u64(bitsOf(v)); }

	/// An output buffer with room for `capacity` bytes, like a disk that fills up.
	class SmallDisk : public std::streambuf
	{
	public:
		explicit SmallDisk(size_t capacity)
		    : m_capacity(capacity)
		{
		}

	protected:
		int_type overflow(int_type ch) override
		{
			if (traits_type::eq_int_type(ch, traits_type::eof()))
				return traits_type::not_eof(ch);
			if (m_used == m_capacity)
				return traits_type::eof();
			++m_used;
			return ch;
		}

	private:
		size_t m_capacity;
		size_t m_used = 0;
	};
}

// The body layout ----------------------------------------------------------------------------------

TEST(GraphQuorvaleFilePluginTest, ANewGraphWritesThe209ByteBody)
{
	std::string expected = "GRAPH:METADATA:";
	for (int column = 0; column < 4; ++column)
		for (int row = 0; row < 4; ++row)
			expected += f64(row == column ? 1.0 : 0.0);
	expected += std::string("\0\0", 2) + u64(0) + u32(0) + u32(1) + u32(8) + "diameter" + f64(0.0);
	expected += "NODES:" + u64(0) + "EDGES:" + u64(0);
	ASSERT_EQ(expected.size(), 209u);
	EXPECT_EQ(bodyOf(Graph()), expected);
}

TEST(GraphQuorvaleFilePluginTest, TheEmptyBodyReadsBackAsANewGraphWithOneDiameterDescriptor)
{
	bool ok = false;
	auto graph = readBody(bodyOf(Graph()), ok);
	ASSERT_TRUE(ok);
	EXPECT_EQ(graph->type(), Graph::Type::Undirected);
	EXPECT_EQ(graph->dimension(), Graph::Dimension::ThreeD);
	EXPECT_EQ(graph->numNodes(), 0);
	ASSERT_EQ(graph->numEdgeFeatures(), 1);
	EXPECT_EQ(graph->edgeFeatureDescriptors()[0].name, "diameter");
	EXPECT_EQ(graph->numNodeFeatures(), 0);
}

TEST(GraphQuorvaleFilePluginTest, NodesAndEdgesAreLaidOutAsRecords)
{
	Graph graph;
	graph.clearFeatureDescriptors();
	graph.addNode(Graph::NodeInfo(Eigen::Vector3d(1, 2, 3), {}));
	graph.addNode(Graph::NodeInfo(Eigen::Vector3d(4, 5, 6), {}));
	graph.addEdge(2, 1, Graph::EdgeInfo());
	const std::string body = bodyOf(graph);
	// An undirected edge is written once, from the smaller identifier.
	const std::string nodes = "NODES:" + u64(2) + u64(1) + f64(1) + f64(2) + f64(3) + u32(0) + u64(2) + f64(4) + f64(5) + f64(6) + u32(0);
	const std::string edges = "EDGES:" + u64(1) + u64(1) + u64(2) + u32(0);
	EXPECT_EQ(body.substr(body.size() - nodes.size() - edges.size()), nodes + edges);

	bool ok = false;
	auto copy = readBody(body, ok);
	ASSERT_TRUE(ok);
	EXPECT_TRUE(copy->edge(1, 2).has_value());
	EXPECT_TRUE(copy->edge(2, 1).has_value());
	EXPECT_EQ(copy->numEdges(), 1);
}

// Round trips --------------------------------------------------------------------------------------

TEST(GraphQuorvaleFilePluginTest, AGraphComesBackWhole)
{
	const Graph graph = sampleGraph();
	expectSameGraph(graph, *roundTrip(graph));
}

TEST(GraphQuorvaleFilePluginTest, DirectedTwoDimensionalGraphsStaySo)
{
	Graph graph(Graph::Type::Directed, Graph::Dimension::TwoD);
	for (int i = 0; i < 3; ++i)
		graph.addNode(Graph::NodeInfo(Eigen::Vector3d(i, i, 0), {}));
	graph.addEdge(1, 2, Graph::EdgeInfo({1.0}));
	graph.addEdge(2, 1, Graph::EdgeInfo({2.0}));
	graph.addEdge(3, 1, Graph::EdgeInfo({3.0}));
	graph.addEdge(3, 3, Graph::EdgeInfo({4.0}));
	auto copy = roundTrip(graph);
	EXPECT_EQ(copy->type(), Graph::Type::Directed);
	EXPECT_EQ(copy->dimension(), Graph::Dimension::TwoD);
	expectSameGraph(graph, *copy);
	// Node 1 keeps the empty entry that marks the edge 3 → 1 arriving there.
	EXPECT_FALSE(copy->edge(1, 3).has_value());
	EXPECT_EQ(copy->numEdges(), 4);

	Graph undirected(Graph::Type::Undirected, Graph::Dimension::TwoD);
	auto undirectedCopy = roundTrip(undirected);
	EXPECT_EQ(undirectedCopy->type(), Graph::Type::Undirected);
	EXPECT_EQ(undirectedCopy->dimension(), Graph::Dimension::TwoD);
}

TEST(GraphQuorvaleFilePluginTest, TheMaximumIdentifierSurvivesTheRemovalOfTheLargestNode)
{
	Graph graph;
	for (int i = 0; i < 3; ++i)
		graph.addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {}));
	graph.addEdge(2, 3, Graph::EdgeInfo());
	graph.removeNode(3);
	auto copy = roundTrip(graph);
	EXPECT_EQ(copy->maxNodeIdx(), 3u);
	EXPECT_FALSE(copy->hasNode(3));
	EXPECT_EQ(copy->addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {})), 4u);

	// Without any node left the stored maximum still holds.
	Graph emptied;
	emptied.addOrReplaceNode(1000000007, Graph::NodeInfo(Eigen::Vector3d::Zero(), {}));
	emptied.removeNode(1000000007);
	EXPECT_EQ(roundTrip(emptied)->maxNodeIdx(), 1000000007u);
}

TEST(GraphQuorvaleFilePluginTest, AttributesOfEveryValueTypeComeBackExactly)
{
	Graph graph;
	graph.addNode(Graph::NodeInfo(Eigen::Vector3d(std::nan(""), -0.0, 1e308), {}));
	graph.addNode(Graph::NodeInfo(Eigen::Vector3d::Ones(), {}));
	graph.nodeAttributes(1) = everyKindOfAttribute();
	Graph::EdgeInfo edge;
	edge.attributes() = everyKindOfAttribute();
	edge.attributes().setName("named set");
	graph.addEdge(1, 2, edge);
	graph.addNodeFeatureDescriptors({{"na\xc3\xafve \"quoted\" \\ name", std::nan("0x7")}, {" ", -0.0}});
	auto copy = roundTrip(graph);
	expectSameGraph(graph, *copy);
	EXPECT_EQ(copy->nodeAttributes(1).param<std::string>("text"), graph.nodeAttributes(1).param<std::string>("text"));
	EXPECT_TRUE(copy->nodeAttributes(2).isEmpty());
}

TEST(GraphQuorvaleFilePluginTest, OnlyGraphsAreHandled)
{
	const Data plain("not a graph");
	std::ostringstream out;
	EXPECT_EQ(handler().blockType(plain), 0u);
	EXPECT_FALSE(handler().write(plain, out));
	EXPECT_TRUE(out.str().empty());
	std::istringstream in(bodyOf(Graph()));
	Data target;
	EXPECT_FALSE(handler().load(209, target, in));

	class Vessels : public Graph
	{
	};
	EXPECT_EQ(handler().blockType(Vessels()), 158323u);
	EXPECT_EQ(handler().createData(158322), nullptr);
	EXPECT_EQ(handler().createData(0), nullptr);
	EXPECT_NE(dynamic_cast<Graph*>(handler().createData(158323).get()), nullptr);
	// The second number is added to the type the handler saves and reads.
	const GraphQuorvaleFilePlugin shifted(158323, 2);
	EXPECT_EQ(shifted.blockType(Graph()), 158325u);
	EXPECT_NE(shifted.createData(158325), nullptr);
}

// Reading damaged bodies ---------------------------------------------------------------------------

TEST(GraphQuorvaleFilePluginTest, WrongTagsAreNamed)
{
	const std::string body = bodyOf(Graph());
	const std::pair<size_t, const char*> tags[] = {
	    {0, "Invalid header"}, {6, "Invalid metadata header"}, {181, "Invalid nodes header"}, {195, "Invalid edges header"}};
	for (const auto& [offset, message] : tags)
	{
		std::string damaged = body;
		damaged[offset] = 'X';
		Log::ScopedCapture log;
		bool ok = true;
		auto graph = readBody(damaged, ok);
		EXPECT_FALSE(ok) << message;
		EXPECT_EQ(log->messages(Log::Error), std::vector<std::string>{message});
		if (offset == 0)
		{
			// The descriptors of the new graph are gone before the header is checked.
			EXPECT_EQ(graph->numEdgeFeatures(), 0);
		}
	}
}

TEST(GraphQuorvaleFilePluginTest, ACutAtEveryByteFailsWithAMessage)
{
	const std::string body = bodyOf(sampleGraph());
	for (size_t cut = 0; cut < body.size(); ++cut)
	{
		Log::ScopedCapture log;
		bool ok = true;
		EXPECT_NO_THROW(readBody(body.substr(0, cut), ok)) << "cut at " << cut;
		EXPECT_FALSE(ok) << "cut at " << cut;
		EXPECT_EQ(log->count(Log::Error), 1) << "cut at " << cut;
	}
}

TEST(GraphQuorvaleFilePluginTest, RandomlyFlippedBytesNeverCrashTheReader)
{
	const Graph graph = sampleGraph();
	const std::string body = bodyOf(graph);
	std::mt19937 random(7321);
	std::uniform_int_distribution<size_t> position(0, body.size() - 1);
	std::uniform_int_distribution<int> mask(1, 255);
	std::uniform_int_distribution<int> flips(1, 6);
	int failed = 0;
	for (int round = 0; round < 3000; ++round)
	{
		std::string damaged = body;
		const int count = flips(random);
		for (int i = 0; i < count; ++i)
			damaged[position(random)] ^= static_cast<char>(mask(random));
		Log::ScopedCapture log;
		bool ok = false;
		std::unique_ptr<Graph> copy;
		ASSERT_NO_THROW(copy = readBody(damaged, ok)) << "round " << round;
		if (!ok)
		{
			++failed;
			EXPECT_GE(log->count(Log::Error), 1) << "round " << round;
			continue;
		}
		// Whatever loaded is a sound graph: it can be written and read again unchanged.
		auto again = roundTrip(*copy);
		expectSameGraph(*copy, *again);
	}
	EXPECT_GT(failed, 0);
}

TEST(GraphQuorvaleFilePluginTest, LengthsAndCountsBeyondTheBlockAreRefused)
{
	Graph graph;
	graph.addNodeFeatureDescriptors({{"radius", 0.0}});
	graph.addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {1.0}));
	graph.nodeAttributes(1).setParam("a", 1);
	graph.addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {2.0}));
	graph.addEdge(1, 2, Graph::EdgeInfo());
	const std::string body = bodyOf(graph);
	const size_t nodeFeatureCount = 6 + 9 + 128 + 2 + 8;
	const size_t firstNameLength = nodeFeatureCount + 4;
	const size_t nodeCount = body.find("NODES:") + 6;
	const size_t firstAttributeLength = nodeCount + 8 + 8 + 24 + 8;
	const size_t edgeCount = body.find("EDGES:") + 6;

	const std::pair<size_t, std::string> damages[] = {{nodeFeatureCount, u32(0xFFFFFFFFu)},
	                                                  {firstNameLength, u32(0x7FFFFFFFu)},
	                                                  {nodeCount, u64(uint64_t(1) << 62)},
	                                                  {firstAttributeLength, u32(0xFFFFFFF0u)},
	                                                  {edgeCount, u64(~uint64_t(0))}};
	for (const auto& [offset, value] : damages)
	{
		std::string damaged = body;
		damaged.replace(offset, value.size(), value);
		Log::ScopedCapture log;
		bool ok = true;
		readBody(damaged, ok);
		EXPECT_FALSE(ok) << offset;
		const auto errors = log->messages(Log::Error);
		ASSERT_EQ(errors.size(), 1u) << offset;
		EXPECT_NE(errors[0].find("exceeds what the block holds"), std::string::npos) << errors[0];
	}
}

TEST(GraphQuorvaleFilePluginTest, AnEdgeToANodeThatIsNotStoredIsAnError)
{
	Graph graph;
	graph.addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {}));
	graph.addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {}));
	graph.addEdge(1, 2, Graph::EdgeInfo());
	std::string body = bodyOf(graph);
	// The last record is the edge: from, to, one feature, attribute length 0.
	body.replace(body.size() - 4 - 8 - 8, 8, u64(7));

	Log::ScopedCapture log;
	bool ok = true;
	EXPECT_NO_THROW(readBody(body, ok));
	EXPECT_FALSE(ok);
	EXPECT_EQ(log->messages(Log::Error), std::vector<std::string>{"Edge refers to unknown node 7 (edge 1 to 7)"});
}

TEST(GraphQuorvaleFilePluginTest, UnreadableAttributeTextIsNamed)
{
	for (bool onNode : {true, false})
	{
		Graph graph;
		graph.addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {}));
		Graph::EdgeInfo edge;
		if (onNode)
			graph.nodeAttributes(1).setParam("key", 1);
		else
			edge.attributes().setParam("key", 1);
		graph.addEdge(1, 1, edge);
		std::string body = bodyOf(graph);
		const size_t text = body.find("begin");
		ASSERT_NE(text, std::string::npos);
		body.replace(text, 5, "bogus");
		Log::ScopedCapture log;
		bool ok = true;
		readBody(body, ok);
		EXPECT_FALSE(ok);
		const auto errors = log->messages(Log::Error);
		ASSERT_FALSE(errors.empty());
		EXPECT_EQ(errors.back(), onNode ? "Failed to deserialize node attributes" : "Failed to deserialize edge attributes");
	}
}

// Writing failures ---------------------------------------------------------------------------------

TEST(GraphQuorvaleFilePluginTest, AStreamThatFillsUpIsAFailureAtEveryPoint)
{
	const Graph graph = sampleGraph();
	const size_t size = bodyOf(graph).size();
	for (size_t capacity = 0; capacity < size; ++capacity)
	{
		SmallDisk disk(capacity);
		std::ostream out(&disk);
		Log::ScopedCapture log;
		EXPECT_FALSE(handler().write(graph, out)) << capacity;
		EXPECT_EQ(log->messages(Log::Error), std::vector<std::string>{"Failed to write the graph block: the output stream failed"})
		    << capacity;
	}
	SmallDisk roomy(size);
	std::ostream out(&roomy);
	EXPECT_TRUE(handler().write(graph, out));
}

TEST(GraphQuorvaleFilePluginTest, AFullDeviceIsAFailure)
{
	std::ofstream full("/dev/full", std::ios::binary);
	ASSERT_TRUE(full.is_open());
	Log::ScopedCapture log;
	EXPECT_FALSE(handler().write(sampleGraph(), full));
	EXPECT_EQ(log->count(Log::Error), 1);
}

TEST(GraphQuorvaleFilePluginTest, AttributesThatCannotBeTextFailTheWrite)
{
	Graph graph;
	graph.addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {}));
	Properties* level = &graph.nodeAttributes(1);
	for (int depth = 0; depth <= PropertiesIO::kMaxDepth; ++depth)
		level = &level->addSubProperties("nested");
	Log::ScopedCapture log;
	std::ostringstream out;
	EXPECT_FALSE(handler().write(graph, out));
	const auto errors = log->messages(Log::Error);
	ASSERT_FALSE(errors.empty());
	EXPECT_EQ(errors.back(), "Failed to serialize attributes");
}

TEST(GraphQuorvaleFilePluginTest, FeatureNamesNoFileCarriesAreRefusedOnReadingAndWriting)
{
	// Such a name would reach GraphML, which cannot carry it: the block is refused, and never written.
	struct Case
	{
		bool node;
		std::string name;
		std::string message;
	};
	const std::vector<Case> cases = {
	    {true, "", "node feature 1 is named \"\": it is empty"},
	    {true, "a\nb", "node feature 1 is named \"a\\nb\": it holds the control character U+000A"},
	    {false, "r\x7f", "edge feature 1 is named \"r\\x7f\": it holds the control character U+007F"},
	    {false, "\xc2\x85", "edge feature 1 is named \"\xc2\x85\": it holds the control character U+0085"},
	    {true, "caf\xe9", "node feature 1 is named \"caf\\xe9\": it is not valid UTF-8"},
	    {true, "\xed\xa0\x80", "node feature 1 is named \"\\xed\\xa0\\x80\": it is not valid UTF-8"},
	};
	for (const Case& c : cases)
	{
		SCOPED_TRACE(c.message);
		Graph graph;
		graph.addNodeFeatureDescriptors({{"first", 0.0}, {"radius", 0.0}});
		graph.addEdgeFeatureDescriptors({{"placeholder", 0.0}});
		// The stored name is replaced in the body, its length word with it.
		const std::string placeholder = c.node ? u32(6) + "radius" : u32(11) + "placeholder";
		std::string body = bodyOf(graph);
		body.replace(body.find(placeholder), placeholder.size(), u32(uint32_t(c.name.size())) + c.name);
		{
			Log::ScopedCapture log;
			bool ok = true;
			readBody(body, ok);
			EXPECT_FALSE(ok);
			EXPECT_EQ(log->messages(Log::Error), std::vector<std::string>{"Graph block is damaged: " + c.message});
		}
		Graph named;
		(c.node ? named.addNodeFeatureDescriptors({{"radius", 0.0}, {c.name, 0.0}})
		        : named.addEdgeFeatureDescriptors({{c.name, 0.0}}));
		Log::ScopedCapture log;
		std::ostringstream out;
		EXPECT_FALSE(handler().write(named, out));
		EXPECT_EQ(log->messages(Log::Error), std::vector<std::string>{"Cannot store the graph: " + c.message});
	}
}

TEST(GraphQuorvaleFilePluginTest, AMatrixToWorldThatIsNotFiniteIsRefusedOnReadingAndWriting)
{
	const std::string body = bodyOf(Graph());
	const size_t matrix = 6 + 9;
	for (const auto& [element, value, message] :
	     {std::tuple{0, std::nan(""), "nan (row 1, column 1)"}, std::tuple{14, std::numeric_limits<double>::infinity(), "inf (row 3, column 4)"},
	      std::tuple{15, -std::numeric_limits<double>::infinity(), "-inf (row 4, column 4)"}})
	{
		SCOPED_TRACE(message);
		std::string damaged = body;
		damaged.replace(matrix + size_t(element) * 8, 8, f64(value));
		{
			Log::ScopedCapture log;
			bool ok = true;
			readBody(damaged, ok);
			EXPECT_FALSE(ok);
			EXPECT_EQ(log->messages(Log::Error),
			          std::vector<std::string>{std::string("Graph block is damaged: its matrix to world holds ") + message});
		}
		Graph graph;
		Eigen::Matrix4d m = Eigen::Matrix4d::Identity();
		m.data()[element] = value;
		graph.setMatrixToWorld(m);
		Log::ScopedCapture log;
		std::ostringstream out;
		EXPECT_FALSE(handler().write(graph, out));
		EXPECT_EQ(log->messages(Log::Error), std::vector<std::string>{"Cannot store the graph: its matrix to world holds a value that is not finite"});
	}
}
