// The GraphML reader: a refused document leaves an error, an accepted one has the dimension and the
// node count that a parser of its own finds in it, and reads back the same after writing it
// (compared as the text the writer gives for each).
#include "tests/fuzz/FuzzTarget.h"
#include "tests/fuzz/targets/FuzzFiles.h"

#include "host/core/Log.h"
#include "src/graph/Graph.h"
#include "src/io/GraphMLIoAlgorithm.h"

#include <optional>
#include <utility>
#include <sstream>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

namespace Quorvale::Fuzz
{
	namespace
	{
		std::unique_ptr<Graph> read(std::string_view text, std::string& errors)
		{
			Log::ScopedCapture log;
			std::istringstream in{std::string(text)};
			auto graph = GraphMLIoAlgorithm::loadFromGraphML(in);
			for (const std::string& message : log->messages(Log::Error))
				errors += message + "\n";
			return graph;
		}

		/// What the document asks for, found by the property tree's parser instead of the reader: 3-D
		/// when a key for nodes (or for all, as a key without `for` is) is named z, or when the first
		/// node holds data of key "z"; one node per `node` element of the `graph` elements of the root.
		struct Shape
		{
			bool threeD = false;
			int nodes = 0;
		};

		std::optional<Shape> shapeOf(std::string_view input)
		{
			using boost::property_tree::ptree;
			ptree tree;
			try
			{
				std::istringstream in{std::string(input)};
				boost::property_tree::read_xml(in, tree);
			}
			catch (const std::exception&)
			{
				return std::nullopt;
			}
			const auto root = tree.get_child_optional("graphml");
			if (!root)
				return std::nullopt;
			// Attribute names hold dots: the path separator is '/'.
			const auto attribute = [](const ptree& element, const std::string& name)
			{ return element.get(ptree::path_type("<xmlattr>/" + name, '/'), std::string()); };
			Shape shape;
			bool firstNode = true;
			for (const auto& [name, child] : *root)
			{
				if (name == "key")
				{
					const std::string forWhat = child.get_child_optional(ptree::path_type("<xmlattr>/for", '/')) ? attribute(child, "for") : "all";
					const std::string named = attribute(child, "attr.name");
					const std::string keyName = named.empty() ? attribute(child, "id") : named;
					shape.threeD = shape.threeD || ((forWhat == "node" || forWhat == "all") && keyName == "z");
				}
				if (name != "graph")
					continue;
				for (const auto& [element, node] : child)
				{
					if (element != "node")
						continue;
					++shape.nodes;
					if (std::exchange(firstNode, false))
						for (const auto& [dataName, data] : node)
							shape.threeD = shape.threeD || (dataName == "data" && attribute(data, "key") == "z");
				}
				firstNode = false;
			}
			return shape;
		}

		std::string written(const Graph& graph)
		{
			Log::ScopedCapture quiet;
			ScratchFile file(".graphml");
			GraphMLIoAlgorithm writer(graph);
			check(writer.saveToGraphML(graph, file.path(), nullptr), "a graph read from GraphML could not be written");
			return file.read();
		}

		void run(std::string_view input)
		{
			std::string errors;
			const auto graph = read(input, errors);
			if (!graph)
				return check(!errors.empty(), "GraphML refused without an error message");
			if (const auto shape = shapeOf(input))
			{
				check((graph->dimension() == Graph::Dimension::ThreeD) == shape->threeD, "GraphML read with the wrong dimension");
				check(graph->numNodes() == shape->nodes, "GraphML read with a node count other than its node elements");
			}
			const std::string first = written(*graph);
			const auto again = read(first, errors);
			check(again != nullptr, "GraphML written by the writer was refused: " + errors);
			check(written(*again) == first, "GraphML changed on its way through writing and reading");
		}

		std::vector<std::string> seeds()
		{
			Graph graph(Graph::Type::Undirected, Graph::Dimension::ThreeD);
			graph.addNodeFeatureDescriptors({{"radius", 0.0}});
			graph.addEdgeFeatureDescriptors({{"length", 0.0}});
			const uint64_t a = graph.addNode(Graph::NodeInfo({0, 0, 0}, {1.5}));
			const uint64_t b = graph.addNode(Graph::NodeInfo({1, 2.5, -3}, {0.25}));
			const uint64_t c = graph.addNode(Graph::NodeInfo({1e-300, 4, 1e300}, {-0.0}));
			graph.addEdge(a, b, Graph::EdgeInfo({2.0, 3.0}));
			graph.addEdge(b, c, Graph::EdgeInfo({0.5, 1e10}));
			Graph flat(Graph::Type::Directed, Graph::Dimension::TwoD);
			flat.addEdge(flat.addNode(Graph::NodeInfo({1, 2, 0}, {})), flat.addNode(Graph::NodeInfo({3, 4, 0}, {})), Graph::EdgeInfo());
			return {written(graph), written(flat), written(Graph()),
			        "<?xml version=\"1.0\" encoding=\"utf-8\"?><graphml xmlns=\"http://graphml.graphdrawing.org/xmlns\">"
			        "<key id=\"w\" for=\"edge\"/><graph edgedefault=\"undirected\"><node id=\"a\"><data key=\"x\">1</data></node>"
			        "<node id=\"b\"/><edge source=\"a\" target=\"b\"><data key=\"w\">nan</data></edge></graph></graphml>"};
		}

		const FuzzTargetRegistration registration{{"graphml", run, seeds}};
	}
}
