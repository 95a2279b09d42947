#include "src/io/GraphMLIoAlgorithm.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <algorithm>
#include <memory>
#include <filesystem>
#include <fstream>
#include <istream>
#include <locale>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <unordered_map>

#include <expat.h>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <fmt/format.h>

#include "host/core/Log.h"
#include "host/core/MemoryLimit.h"
#include "host/core/Platform.h"
#include "host/core/SafeSave.h"
#include "src/graph/Graph.h"

namespace Quorvale
{
	namespace
	{
		using boost::property_tree::ptree;

		constexpr const char* kGraphMLNamespace = "http://graphml.graphdrawing.org/xmlns";
		constexpr const char* kAttributes = "<xmlattr>";

		// The property tree's XML parser recurses once per element level; deeper documents would overflow the stack.
		constexpr size_t kMaxElementDepth = 1000;
		/// The problem of a document without any element, which reads as an empty tree.
		constexpr const char* kNoElement = "no element found";
		// What reading a document costs at its peak, measured (peak resident memory) on documents of
		// many keys, bare nodes, edges, data elements and long texts. Parsing holds the text, the
		// parser's copy of it and its own nodes besides the property tree: about 780 bytes per
		// element, 310 per attribute and 4 per byte of text. The graph is built while the tree is
		// held: about 250 bytes per node and 200 per edge besides the dense feature vectors, which
		// an undirected edge holds twice. Each figure is rounded up, so that the estimate stays an
		// upper bound (within 1.5 times the measured peak on those documents).
		constexpr double kParseBytesPerElement = 900.0;
		constexpr double kParseBytesPerAttribute = 360.0;
		constexpr double kParseBytesPerTextByte = 4.5;
		constexpr double kGraphBytesPerNode = 300.0;
		constexpr double kGraphBytesPerEdge = 250.0;
		constexpr double kBytesPerFeatureValue = 9.0;

		void logError(const std::string& message) { Log::log(Log::Error, "", message); }

		// ---------------------------------------------------------------------------------------------
		// Numbers

		// The text the property tree's default translation gives for a double (stream insertion with
		// precision 17, default notation, classic locale), without building a stream per value.
		std::string formatDouble(double value)
		{
			char buffer[64];
			const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, 17);
			return std::string(buffer, result.ptr);
		}

		bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

		// Reads a data element's text as a double. Surrounding white space is allowed; the texts that
		// the writer gives for NaN and infinities ("nan", "-nan", "inf", "-inf") are accepted, as are
		// other spellings of them ("NaN", "INF", "Infinity"). Anything else throws.
		double parseDouble(const std::string& text)
		{
			const char* begin = text.data();
			const char* end = begin + text.size();
			while (begin < end && isXmlSpace(*begin))
				++begin;
			while (end > begin && isXmlSpace(end[-1]))
				--end;
			if (end - begin > 1 && *begin == '+' && begin[1] != '+' && begin[1] != '-')
				++begin;

			double value = 0.0;
			const auto result = std::from_chars(begin, end, value);
			if (begin != end && result.ptr == end)
			{
				if (result.ec == std::errc())
					return value;
				if (result.ec == std::errc::result_out_of_range)
				{
					// Too large or too small: answer as stream extraction does (a value too small
					// reads as zero or a subnormal, a value too large is refused).
					std::istringstream stream(std::string(begin, end));
					stream.imbue(std::locale::classic());
					stream >> value;
					if (!stream.fail() && stream.get() == std::char_traits<char>::eof())
						return value;
				}
			}
			constexpr size_t shown = 40;
			const std::string excerpt = text.size() > shown ? text.substr(0, shown) + "..." : text;
			throw std::runtime_error("conversion of data to type \"double\" failed: \"" + excerpt + "\"");
		}

		// ---------------------------------------------------------------------------------------------
		// Writing

		ptree& appendChild(ptree& parent, const char* name, std::string data = {})
		{
			return parent.push_back(ptree::value_type(name, ptree(std::move(data))))->second;
		}

		void makeKeyElement(ptree& graphml, const std::string& id, const std::string& name, const std::string& forValue)
		{
			ptree& key = appendChild(graphml, "key");
			key.put("<xmlattr>.id", id);
			key.put("<xmlattr>.for", forValue);
			// The dotted paths nest as one attribute node `attr`; the rewrite after serialising turns it
			// into the two GraphML attributes.
			key.put("<xmlattr>.attr.name", name);
			key.put("<xmlattr>.attr.type", "double");
		}

		void appendData(ptree& element, const std::string& key, double value)
		{
			ptree& data = appendChild(element, "data", formatDouble(value));
			appendChild(appendChild(data, kAttributes), "key", key);
		}

		void writeNodeElement(ptree& graphElement, uint64_t id, const Eigen::Vector3d& world, const Graph::NodeInfo& info,
		                      const std::vector<Graph::FeatureDescriptor>* features, bool threeD)
		{
			ptree& node = appendChild(graphElement, "node");
			appendChild(appendChild(node, kAttributes), "id", "n" + std::to_string(id));
			appendData(node, "x", world.x());
			appendData(node, "y", world.y());
			if (threeD)
				appendData(node, "z", world.z());
			if (features)
				for (size_t i = 0; i < features->size(); ++i)
					appendData(node, (*features)[i].name, info.features()[i]);
		}

		void writeEdgeElement(ptree& graphElement, uint64_t source, uint64_t target, const Graph::EdgeInfo& info,
		                      const std::vector<Graph::FeatureDescriptor>* features)
		{
			ptree& edge = appendChild(graphElement, "edge");
			ptree& attributes = appendChild(edge, kAttributes);
			appendChild(attributes, "source", "n" + std::to_string(source));
			appendChild(attributes, "target", "n" + std::to_string(target));
			if (features)
				for (size_t i = 0; i < features->size(); ++i)
					appendData(edge, (*features)[i].name, info.features()[i]);
		}

		/// Memory that writing `graph` takes at its peak: its document's tree, which costs about what
		/// the reader's parsing does per element and attribute, and the text, about 48 bytes per
		/// element. A `data` element per value makes it far larger than the graph.
		double documentMemory(const Graph& graph, bool withFeatures)
		{
			const double nodeData = (graph.dimension() == Graph::Dimension::ThreeD ? 3.0 : 2.0) +
			                        (withFeatures ? static_cast<double>(graph.nodeFeatureDescriptors().size()) : 0.0);
			const double edgeData = withFeatures ? static_cast<double>(graph.edgeFeatureDescriptors().size()) : 0.0;
			const double nodes = static_cast<double>(graph.numNodes());
			const double edges = static_cast<double>(graph.numEdges());
			const double elements = 2.0 + nodeData + edgeData + nodes * (1.0 + nodeData) + edges * (1.0 + edgeData);
			const double attributes = 3.0 + 4.0 * (nodeData + edgeData) + nodes * (1.0 + nodeData) + edges * (2.0 + edgeData);
			constexpr double textBytesPerElement = 48.0;
			return elements * (kParseBytesPerElement + textBytesPerElement * kParseBytesPerTextByte) + attributes * kParseBytesPerAttribute;
		}

		ptree buildDocument(const Graph& graph, bool withFeatures)
		{
			const bool threeD = graph.dimension() == Graph::Dimension::ThreeD;
			ptree root;
			ptree& graphml = appendChild(root, "graphml");
			graphml.put("<xmlattr>.xmlns", kGraphMLNamespace);

			makeKeyElement(graphml, "x", "x", "node");
			makeKeyElement(graphml, "y", "y", "node");
			if (threeD)
				makeKeyElement(graphml, "z", "z", "node");
			if (withFeatures)
			{
				for (const auto& descriptor : graph.edgeFeatureDescriptors())
					makeKeyElement(graphml, descriptor.name, descriptor.name, "edge");
				for (const auto& descriptor : graph.nodeFeatureDescriptors())
					makeKeyElement(graphml, descriptor.name, descriptor.name, "node");
			}

			ptree& graphElement = appendChild(graphml, "graph");
			graphElement.put("<xmlattr>.id", "G");
			graphElement.put("<xmlattr>.edgedefault", graph.type() == Graph::Type::Undirected ? "undirected" : "directed");

			const Eigen::Matrix4d toWorld = graph.matrixToWorld();
			const Eigen::Matrix3d linear = toWorld.topLeftCorner<3, 3>();
			const Eigen::Vector3d translation = toWorld.topRightCorner<3, 1>();
			const auto* nodeFeatures = withFeatures ? &graph.nodeFeatureDescriptors() : nullptr;
			const auto* edgeFeatures = withFeatures ? &graph.edgeFeatureDescriptors() : nullptr;
			graph.forEachNode(
			    [&](uint64_t id, const Graph::NodeInfo& info)
			    {
				    const Eigen::Vector3d world = linear * info.position() + translation;
				    writeNodeElement(graphElement, id, world, info, nodeFeatures, threeD);
			    });
			graph.forEachEdge([&](const Graph::EdgeInfo& info, uint64_t source, uint64_t target)
			                  { writeEdgeElement(graphElement, source, target, info, edgeFeatures); });
			return root;
		}

		// Where the key elements end: the first `graph` element (not `graphml`). Attribute values are
		// written with '<' escaped, so a raw "<graph" can only be a tag.
		size_t keySectionEnd(const std::string& text)
		{
			for (size_t at = text.find("<graph"); at != std::string::npos; at = text.find("<graph", at + 1))
			{
				const size_t next = at + 6;
				if (next >= text.size())
					break;
				const char c = text[next];
				if (c == ' ' || c == '>' || c == '/' || isXmlSpace(c))
					return at;
			}
			return text.size();
		}

		// ---------------------------------------------------------------------------------------------
		// Reading

		/// What the streaming check learns of a document before the property tree's recursive parser
		/// sees it: whether it is a well-formed UTF-8 document without DOCTYPE whose elements nest at
		/// most a given number of levels, and how many elements and attributes the tree will hold.
		struct DocumentCheck
		{
			std::string problem; ///< empty when the document may be parsed
			bool sawElement = false;
			double elements = 0.0;
			double attributes = 0.0;
		};

		/// The streaming parser's state while it checks a document.
		class DocumentChecker
		{
		public:
			explicit DocumentChecker(size_t depthLimit)
			    : m_parser(XML_ParserCreate("UTF-8"), &XML_ParserFree)
			    , m_limit(depthLimit)
			{
				// The document is read as UTF-8 whatever it declares: the property tree reads bytes.
				if (!m_parser)
					return;
				XML_SetUserData(m_parser.get(), this);
				XML_SetElementHandler(m_parser.get(), &DocumentChecker::startElement, &DocumentChecker::endElement);
				// A document type may declare entities and its brackets confuse the property tree's
				// parser; GraphML needs none.
				XML_SetStartDoctypeDeclHandler(m_parser.get(), &DocumentChecker::startDoctype);
			}
			// Expat holds this object's address as its user data.
			DocumentChecker(const DocumentChecker&) = delete;
			DocumentChecker& operator=(const DocumentChecker&) = delete;

			DocumentCheck check(std::string_view text)
			{
				if (!m_parser)
					return {"out of memory"};
				// Fed in pieces: expat takes an int length.
				constexpr size_t piece = 1 << 30;
				for (size_t at = 0;; at += piece)
				{
					const size_t length = std::min(piece, text.size() - at);
					const bool last = at + length == text.size();
					if (XML_Parse(m_parser.get(), text.data() + at, static_cast<int>(length), last) != XML_STATUS_OK)
					{
						m_result.problem = problem();
						return m_result;
					}
					if (last)
						return m_result;
				}
			}

		private:
			static void startElement(void* data, const XML_Char*, const XML_Char** attributes)
			{
				auto& self = *static_cast<DocumentChecker*>(data);
				self.m_result.sawElement = true;
				self.m_result.elements += 1.0;
				for (const XML_Char** attribute = attributes; *attribute; attribute += 2)
					self.m_result.attributes += 1.0;
				if (++self.m_depth > self.m_limit)
					self.stop(fmt::format("elements are nested deeper than {} levels", self.m_limit));
			}

			static void endElement(void* data, const XML_Char*) { --static_cast<DocumentChecker*>(data)->m_depth; }

			static void startDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int)
			{
				static_cast<DocumentChecker*>(data)->stop("a document type declaration (DOCTYPE) is not allowed");
			}

			void stop(std::string reason)
			{
				if (m_stopReason.empty())
					m_stopReason = std::move(reason);
				XML_StopParser(m_parser.get(), XML_FALSE);
			}

			/// Why the parse failed; `kNoElement` for a document without any element.
			std::string problem() const
			{
				if (!m_stopReason.empty())
					return m_stopReason;
				const XML_Error code = XML_GetErrorCode(m_parser.get());
				// Expat says "no element found" also for a document that ends inside its root.
				if (code == XML_ERROR_NO_ELEMENTS && !m_result.sawElement)
					return kNoElement;
				if (code == XML_ERROR_NO_ELEMENTS)
					return fmt::format("the document ends inside an element (line {})", XML_GetCurrentLineNumber(m_parser.get()));
				return fmt::format("{} (line {}, column {})", XML_ErrorString(code), XML_GetCurrentLineNumber(m_parser.get()),
				                   XML_GetCurrentColumnNumber(m_parser.get()) + 1);
			}

			std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)> m_parser;
			size_t m_limit = 0;
			size_t m_depth = 0;
			std::string m_stopReason;
			DocumentCheck m_result;
		};

		// Reads what is left of the stream into memory.
		std::string readAll(std::istream& in)
		{
			std::string text;
			char chunk[1 << 16];
			while (in.good())
			{
				in.read(chunk, sizeof(chunk));
				text.append(chunk, static_cast<size_t>(in.gcount()));
			}
			return text;
		}

		// Lets a std::istream read a string in place (the parser takes a stream, the text is already here).
		class StringViewBuffer : public std::streambuf
		{
		public:
			explicit StringViewBuffer(std::string& text) { setg(text.data(), text.data(), text.data() + text.size()); }
		};

		// Attribute lookups without the path parsing of `get`: they run for every element. The parser
		// puts the attributes first, and the first child of a name is the one `get` would find.
		const std::string* findAttribute(const ptree& element, const char* name)
		{
			for (const auto& [childName, child] : element)
				if (childName == kAttributes)
				{
					for (const auto& [attributeName, value] : child)
						if (attributeName == name)
							return &value.data();
					return nullptr;
				}
			return nullptr;
		}

		const std::string& attribute(const ptree& element, const char* name, const std::string& fallback)
		{
			const std::string* value = findAttribute(element, name);
			return value ? *value : fallback;
		}

		// A required attribute; a missing one fails with the property tree's own "No such node" error.
		const std::string& requiredAttribute(const ptree& element, const char* name)
		{
			if (const std::string* value = findAttribute(element, name))
				return *value;
			return element.get_child(std::string(kAttributes) + "." + name).data();
		}

		/// The name a key element declares: its `attr.name` when it has a non-empty one, else its `id`.
		/// Our own files give both the same text; other writers name their keys "d0", "d1", ... or
		/// "v_x", "e_diameter" and keep the attribute's name in `attr.name`.
		const std::string& keyName(const ptree& key)
		{
			const std::string* name = findAttribute(key, "attr.name");
			return name && !name->empty() ? *name : requiredAttribute(key, "id");
		}

		bool hasZCoordinate(const ptree& tree)
		{
			static const std::string none;
			const ptree& graphml = tree.get_child("graphml");
			for (const auto& [name, child] : graphml)
				// The name decides, as for the coordinates themselves: an edge key "z" or a node key of id
				// "z" named otherwise is a feature.
				if (name == "key" && attribute(child, "for", none) == "node" && keyName(child) == "z")
					return true;
			// Without a declared z key, the first node decides. A document whose first graph holds no
			// node (an empty graph) has no z coordinate to find.
			const auto firstNode = tree.get_child_optional("graphml.graph.node");
			if (!firstNode)
				return false;
			for (const auto& [name, child] : *firstNode)
				if (name == "data" && attribute(child, "key", none) == "z")
					return true;
			return false;
		}

		/// Memory that parsing a checked document of `textBytes` bytes takes at its peak: the text,
		/// the parser's copy and nodes, and the property tree, which outlasts the rest.
		double parseMemory(const DocumentCheck& document, size_t textBytes)
		{
			return document.elements * kParseBytesPerElement + document.attributes * kParseBytesPerAttribute +
			       static_cast<double>(textBytes) * kParseBytesPerTextByte;
		}

		// Every node and edge holds a value for every key of its kind: a short file with many keys
		// and many elements can describe a graph far larger than the machine's memory. The graph is
		// built while the document's tree is held, which parsing (`parseBytes`) bounds.
		void requireGraphMemory(const ptree& graphml, double parseBytes)
		{
			double nodes = 0.0, edges = 0.0, nodeKeys = 0.0, edgeKeys = 0.0;
			for (const auto& [graphName, graphElement] : graphml)
				if (graphName == "key")
				{
					const std::string* kind = findAttribute(graphElement, "for");
					nodeKeys += kind && *kind == "node" ? 1.0 : 0.0;
					edgeKeys += kind && *kind == "edge" ? 1.0 : 0.0;
				}
				else if (graphName == "graph")
					for (const auto& [name, child] : graphElement)
					{
						nodes += name == "node" ? 1.0 : 0.0;
						edges += name == "edge" ? 1.0 : 0.0;
					}
			const double graphBytes = nodes * (kGraphBytesPerNode + kBytesPerFeatureValue * nodeKeys) +
			                          edges * (kGraphBytesPerEdge + 2.0 * kBytesPerFeatureValue * edgeKeys);
			MemoryLimit::require(parseBytes + graphBytes, fmt::format("A graph of {} nodes with {} features and {} edges with {} features",
			                                                         nodes, nodeKeys, edges, edgeKeys));
		}

		/// Where the value of a node's data element goes: a coordinate axis (0 x, 1 y, 2 z) or a feature column.
		struct NodeTarget
		{
			bool coordinate = false;
			int index = 0;
		};

		/// What the data elements refer to, by key id, per kind.
		struct FeatureKeys
		{
			std::map<std::string, NodeTarget> node;
			std::map<std::string, int> edge;
		};

		/// The axis of a coordinate name "x", "y" or "z", or -1.
		int axisOf(const std::string& name) { return name.size() == 1 && name[0] >= 'x' && name[0] <= 'z' ? name[0] - 'x' : -1; }

		/// Gives `graph` one feature per key name, in the order of each name's first declaration,
		/// edge keys before node keys; node keys named x, y or z are the coordinates. The descriptors
		/// are added at once, so that thousands of keys cost no search per key.
		FeatureKeys declareFeatures(const ptree& graphml, Graph& graph)
		{
			FeatureKeys keys;
			std::map<std::string, int> edgeIndex, nodeIndex;
			std::vector<Graph::FeatureDescriptor> edgeFeatures, nodeFeatures;
			for (const auto& [name, child] : graphml)
				if (name == "key" && requiredAttribute(child, "for") == "edge")
				{
					const std::string& id = requiredAttribute(child, "id");
					const auto [at, added] = edgeIndex.emplace(keyName(child), static_cast<int>(edgeFeatures.size()));
					if (added)
						edgeFeatures.push_back({at->first, 0.0});
					keys.edge.emplace(id, at->second);
				}
			for (const auto& [name, child] : graphml)
				if (name == "key" && requiredAttribute(child, "for") == "node")
				{
					const std::string& id = requiredAttribute(child, "id");
					const std::string& feature = keyName(child);
					if (const int axis = axisOf(feature); axis >= 0)
					{
						keys.node.emplace(id, NodeTarget{true, axis});
						continue;
					}
					const auto [at, added] = nodeIndex.emplace(feature, static_cast<int>(nodeFeatures.size()));
					if (added)
						nodeFeatures.push_back({at->first, 0.0});
					keys.node.emplace(id, NodeTarget{false, at->second});
				}
			graph.addEdgeFeatureDescriptors(std::move(edgeFeatures));
			graph.addNodeFeatureDescriptors(std::move(nodeFeatures));
			return keys;
		}

		/// GraphML node ids to the graph's node identifiers, shared by every `graph` element.
		using NodeIds = std::unordered_map<std::string, uint64_t>;

		void readNode(const ptree& nodeElement, const std::map<std::string, NodeTarget>& nodeKeys, size_t featureCount, NodeIds& ids,
		              Graph& graph)
		{
			static const std::string none;
			const bool threeD = graph.dimension() == Graph::Dimension::ThreeD;
			const std::string& id = requiredAttribute(nodeElement, "id");
			Eigen::Vector3d position = Eigen::Vector3d::Zero();
			std::vector<double> features(featureCount, 0.0);
			for (const auto& [dataName, data] : nodeElement)
			{
				if (dataName != "data")
					continue;
				const std::string& key = attribute(data, "key", none);
				const auto found = nodeKeys.find(key);
				// A coordinate needs no declaration.
				const NodeTarget target = found != nodeKeys.end() ? found->second : NodeTarget{true, axisOf(key)};
				if (!target.coordinate)
					features[static_cast<size_t>(target.index)] = parseDouble(data.data());
				else if (target.index >= 0 && (target.index < 2 || threeD))
					position[target.index] = parseDouble(data.data());
			}
			const uint64_t added = graph.addNode(Graph::NodeInfo(position, std::move(features)));
			ids.emplace(id, added);
		}

		void readEdge(const ptree& edgeElement, const std::map<std::string, int>& edgeKeys, size_t featureCount, const NodeIds& ids,
		              Graph& graph)
		{
			static const std::string none;
			const std::string& source = requiredAttribute(edgeElement, "source");
			const std::string& target = requiredAttribute(edgeElement, "target");
			const auto from = ids.find(source);
			const auto to = ids.find(target);
			if (from == ids.end() || to == ids.end())
				throw std::runtime_error("Edge refers to undefined node: " + source + " or " + target);
			std::vector<double> features(featureCount, 0.0);
			for (const auto& [dataName, data] : edgeElement)
			{
				if (dataName != "data")
					continue;
				if (const auto found = edgeKeys.find(attribute(data, "key", none)); found != edgeKeys.end())
					features[static_cast<size_t>(found->second)] = parseDouble(data.data());
			}
			graph.addEdge(from->second, to->second, Graph::EdgeInfo(std::move(features)));
		}

		/// The graph of a parsed document whose parsing took `parseBytes`.
		std::unique_ptr<Graph> buildGraph(const ptree& tree, double parseBytes)
		{
			auto graph = std::make_unique<Graph>(Graph::Type::Undirected, Graph::Dimension::ThreeD);
			graph->clearFeatureDescriptors();
			graph->setDimension(hasZCoordinate(tree) ? Graph::Dimension::ThreeD : Graph::Dimension::TwoD);

			const ptree& graphml = tree.get_child("graphml");
			requireGraphMemory(graphml, parseBytes);
			const FeatureKeys keys = declareFeatures(graphml, *graph);

			static const std::string directed = "directed";
			NodeIds ids;
			for (const auto& [graphName, graphElement] : graphml)
			{
				if (graphName != "graph")
					continue;
				if (attribute(graphElement, "edgedefault", directed) == directed)
					graph->setDirected();
				for (const auto& [name, nodeElement] : graphElement)
					if (name == "node")
						readNode(nodeElement, keys.node, static_cast<size_t>(graph->numNodeFeatures()), ids, *graph);
				for (const auto& [name, edgeElement] : graphElement)
					if (name == "edge")
						readEdge(edgeElement, keys.edge, static_cast<size_t>(graph->numEdgeFeatures()), ids, *graph);
			}

			Log::log(Log::Info, "",
			         fmt::format("Imported {}D graph with {} nodes, {} edges, {} edge feature(s) and {} node feature(s).",
			                     graph->dimension() == Graph::Dimension::ThreeD ? 3 : 2, graph->numNodes(), graph->numEdges(),
			                     graph->numEdgeFeatures(), graph->numNodeFeatures()));
			return graph;
		}
	}

	GraphMLIoAlgorithm::GraphMLIoAlgorithm(const Graph& graph)
	    : IoAlgorithm(IoMode::Write, LocalFile)
	    , m_graphToSave(&graph)
	{
		setupParameters();
	}

	GraphMLIoAlgorithm::GraphMLIoAlgorithm()
	    : IoAlgorithm(IoMode::Read, LocalFile)
	{
		setupParameters();
	}

	GraphMLIoAlgorithm::~GraphMLIoAlgorithm() = default;

	void GraphMLIoAlgorithm::setupParameters() { exportFeatures.setAttribute("useroption", "rw"); }

	bool GraphMLIoAlgorithm::createCompatible(const DataList& data, Algorithm** out)
	{
		if (data.isEmpty())
		{
			if (out)
				*out = new GraphMLIoAlgorithm();
			return true;
		}
		const auto graphs = DataList::getGraphs(data);
		if (data.size() != 1 || graphs.size() != 1)
			return false;
		if (out)
			*out = new GraphMLIoAlgorithm(*graphs.front());
		return true;
	}

	std::vector<std::string> GraphMLIoAlgorithm::supportedFileExtensions() const { return {"graphml"}; }

	void GraphMLIoAlgorithm::compute()
	{
		bool success = false;
		if (ioMode() == IoMode::Write)
			success = m_graphToSave && saveToGraphML(*m_graphToSave, location(), m_progress);
		else
		{
			m_loadedGraph = loadFromGraphML(Filesystem::Path(location()));
			success = m_loadedGraph != nullptr;
		}
		setStatus(success ? Success : Error);
	}

	OwningDataList GraphMLIoAlgorithm::takeOutput()
	{
		OwningDataList output;
		output.add(std::move(m_loadedGraph));
		return output;
	}

	bool GraphMLIoAlgorithm::saveToGraphML(const Graph& graph, const std::string& path, Progress*) const
	{
		const bool withFeatures = exportFeatures.value();
		if (withFeatures)
			for (const auto& descriptor : graph.nodeFeatureDescriptors())
				if (descriptor.name == "x" || descriptor.name == "y" || descriptor.name == "z")
					Log::log(Log::Warning, "",
					         "Node feature '" + descriptor.name + "' is written under the key of the " + descriptor.name +
					             " coordinate; reading the file back puts its values in place of that coordinate.");

		// A regular file is written to a temporary file beside it, which replaces it only when complete,
		// so that a failed write leaves the old file intact (see SafeSave).
		SafeSave save(path);
		std::ofstream file;
		if (save.ok())
			file.open(Platform::widen(save.writePath().u8string()), std::ios::out | std::ios::binary | std::ios::trunc);
		if (!save.ok() || file.fail())
		{
			// The system's words where it gave a reason ("No such file or directory"), else ours ("it is a folder").
			const int error = save.ok() ? (errno ? errno : EACCES) : save.errorNumber();
			logError("Failed to open '" + path + "': " + (error ? std::string(std::strerror(error)) : save.error()) + ".");
			return false;
		}

		try
		{
			MemoryLimit::require(documentMemory(graph, withFeatures), "The GraphML document");
			const ptree document = buildDocument(graph, withFeatures);
			const auto settings = boost::property_tree::xml_writer_make_settings<std::string>(' ', 4, "utf-8");
			std::ostringstream serialised;
			boost::property_tree::write_xml(serialised, document, settings);
			const std::string text = serialised.str();

			// The tree stores attr.name and attr.type as one nested attribute `attr`, which the writer
			// emits empty; spell the key elements out as GraphML wants them. Keys only occur before the
			// first graph element, so the rest of the text is passed through untouched.
			const std::regex pattern("<key id=\"([^\"]+)\" for=\"([^\"]+)\" attr=\"\"\\s*/?>", std::regex::ECMAScript);
			const size_t keysEnd = keySectionEnd(text);
			const std::string keys =
			    std::regex_replace(text.substr(0, keysEnd), pattern, "<key id=\"$1\" for=\"$2\" attr.name=\"$1\" attr.type=\"double\"/>");
			file.write(keys.data(), static_cast<std::streamsize>(keys.size()));
			file.write(text.data() + keysEnd, static_cast<std::streamsize>(text.size() - keysEnd));
			file.close();
			if (file.fail())
				throw std::runtime_error("could not write '" + path + "': " + std::strerror(errno));

			if (!save.commit())
				throw std::runtime_error("could not write '" + path + "': " + save.error());
			return true;
		}
		catch (const std::exception& e)
		{
			logError(std::string("Failed to write GraphML: ") + e.what());
			return false;
		}
	}

	std::unique_ptr<Graph> GraphMLIoAlgorithm::loadFromGraphML(const Filesystem::Path& path)
	{
		if (!path.asFile().exists())
			return nullptr;
		if (!path.asFile().isRegular())
		{
			logError("Could not open " + path.string() + " for reading: it is not a regular file.");
			return nullptr;
		}
		std::ifstream in(Platform::widen(path.string()), std::ios::in | std::ios::binary);
		if (in.fail())
		{
			logError("Could not open " + path.string() + " for reading.");
			return nullptr;
		}
		return loadFromGraphML(in);
	}

	std::unique_ptr<Graph> GraphMLIoAlgorithm::loadFromGraphML(std::istream& in)
	{
		ptree tree;
		double parseBytes = 0.0;
		try
		{
			std::string text = readAll(in);
			if (in.bad())
				throw std::runtime_error("read error");
			const DocumentCheck document = DocumentChecker(kMaxElementDepth).check(text);
			if (document.problem == kNoElement)
				text.clear();
			else if (!document.problem.empty())
				throw std::runtime_error(document.problem);
			parseBytes = parseMemory(document, text.size());
			MemoryLimit::require(parseBytes, "The GraphML document's tree");
			StringViewBuffer buffer(text);
			std::istream view(&buffer);
			boost::property_tree::read_xml(view, tree, 0);
		}
		catch (const std::exception& e)
		{
			logError(std::string("Could not parse GraphML input: ") + e.what());
			return nullptr;
		}

		if (tree.empty())
		{
			logError("Parsed GraphML tree is empty");
			return nullptr;
		}

		try
		{
			return buildGraph(tree, parseBytes);
		}
		catch (const std::exception& e)
		{
			logError(std::string("Error during parsing of file: ") + e.what());
			return nullptr;
		}
	}
}
