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
		/// Memory of the property tree per byte of document text, measured on written graphs.
		constexpr double kTreeBytesPerTextByte = 8.0;

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

		/// Checks with a streaming parser that `text` is a well-formed UTF-8 document without DOCTYPE
		/// whose elements nest at most `limit` levels, before the property tree's recursive parser
		/// sees it. Empty when it is; otherwise the reason. A document without any element gives
		/// `kNoElement`.
		constexpr const char* kNoElement = "no element found";

		std::string xmlProblem(std::string_view text, size_t limit)
		{
			struct State
			{
				XML_Parser parser;
				size_t depth = 0;
				size_t limit = 0;
				bool sawElement = false;
				std::string problem;

				void stop(std::string reason)
				{
					if (problem.empty())
						problem = std::move(reason);
					XML_StopParser(parser, XML_FALSE);
				}
			};
			// The document is read as UTF-8 whatever it declares: the property tree reads bytes.
			const std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)> parser(XML_ParserCreate("UTF-8"),
			                                                                                           &XML_ParserFree);
			if (!parser)
				return "out of memory";
			State state{parser.get(), 0, limit, false, {}};
			XML_SetUserData(parser.get(), &state);
			XML_SetElementHandler(
			    parser.get(),
			    [](void* data, const XML_Char*, const XML_Char**)
			    {
				    auto& s = *static_cast<State*>(data);
				    s.sawElement = true;
				    if (++s.depth > s.limit)
					    s.stop(fmt::format("elements are nested deeper than {} levels", s.limit));
			    },
			    [](void* data, const XML_Char*) { --static_cast<State*>(data)->depth; });
			// A document type may declare entities and its brackets confuse the property tree's
			// parser; GraphML needs none.
			XML_SetStartDoctypeDeclHandler(parser.get(), [](void* data, const XML_Char*, const XML_Char*, const XML_Char*, int)
			                               { static_cast<State*>(data)->stop("a document type declaration (DOCTYPE) is not allowed"); });

			// Fed in pieces: expat takes an int length.
			constexpr size_t piece = 1 << 30;
			for (size_t at = 0;; at += piece)
			{
				const size_t length = std::min(piece, text.size() - at);
				const bool last = at + length == text.size();
				if (XML_Parse(parser.get(), text.data() + at, static_cast<int>(length), last) != XML_STATUS_OK)
				{
					if (!state.problem.empty())
						return state.problem;
					const XML_Error code = XML_GetErrorCode(parser.get());
					// Expat says "no element found" also for a document that ends inside its root.
					if (code == XML_ERROR_NO_ELEMENTS && !state.sawElement)
						return kNoElement;
					if (code == XML_ERROR_NO_ELEMENTS)
						return fmt::format("the document ends inside an element (line {})", XML_GetCurrentLineNumber(parser.get()));
					return fmt::format("{} (line {}, column {})", XML_ErrorString(code), XML_GetCurrentLineNumber(parser.get()),
					                   XML_GetCurrentColumnNumber(parser.get()) + 1);
				}
				if (last)
					return {};
			}
		}

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

		bool hasZCoordinate(const ptree& tree)
		{
			static const std::string none;
			const ptree& graphml = tree.get_child("graphml");
			for (const auto& [name, child] : graphml)
				if (name == "key" && attribute(child, "id", none) == "z")
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

		// Every node and edge holds a value for every key of its kind: a short file with many keys
		// and many elements can describe a graph far larger than the machine's memory.
		void requireGraphMemory(const ptree& graphml)
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
			// Per element: the feature values plus the bookkeeping of the graph's maps.
			constexpr double perNode = 160.0, perEdge = 160.0;
			const double bytes = nodes * (perNode + 8.0 * nodeKeys) + edges * (perEdge + 8.0 * edgeKeys);
			MemoryLimit::require(
			    bytes, fmt::format("A graph of {} nodes with {} features and {} edges with {} features", nodes, nodeKeys, edges, edgeKeys));
		}

		std::unique_ptr<Graph> buildGraph(const ptree& tree)
		{
			static const std::string none;
			auto graph = std::make_unique<Graph>(Graph::Type::Undirected, Graph::Dimension::ThreeD);
			graph->clearFeatureDescriptors();
			graph->setDimension(hasZCoordinate(tree) ? Graph::Dimension::ThreeD : Graph::Dimension::TwoD);
			const bool threeD = graph->dimension() == Graph::Dimension::ThreeD;

			const ptree& graphml = tree.get_child("graphml");
			requireGraphMemory(graphml);
			std::map<std::string, int> edgeKeys;
			std::map<std::string, int> nodeKeys;
			// Each key becomes one feature, in the order of its first declaration; the descriptors are
			// added at once, so that thousands of keys cost no search per key.
			std::vector<Graph::FeatureDescriptor> edgeFeatures;
			std::vector<Graph::FeatureDescriptor> nodeFeatures;
			for (const auto& [name, child] : graphml)
				if (name == "key" && requiredAttribute(child, "for") == "edge")
				{
					const std::string& id = requiredAttribute(child, "id");
					if (edgeKeys.emplace(id, static_cast<int>(edgeFeatures.size())).second)
						edgeFeatures.push_back({id, 0.0});
				}
			for (const auto& [name, child] : graphml)
				if (name == "key" && requiredAttribute(child, "for") == "node")
				{
					const std::string& id = requiredAttribute(child, "id");
					if (id != "x" && id != "y" && id != "z" && nodeKeys.emplace(id, static_cast<int>(nodeFeatures.size())).second)
						nodeFeatures.push_back({id, 0.0});
				}
			graph->addEdgeFeatureDescriptors(std::move(edgeFeatures));
			graph->addNodeFeatureDescriptors(std::move(nodeFeatures));

			static const std::string directed = "directed";
			std::unordered_map<std::string, uint64_t> ids;
			for (const auto& [graphName, graphElement] : graphml)
			{
				if (graphName != "graph")
					continue;
				if (attribute(graphElement, "edgedefault", directed) == directed)
					graph->setDirected();

				for (const auto& [name, nodeElement] : graphElement)
				{
					if (name != "node")
						continue;
					const std::string& id = requiredAttribute(nodeElement, "id");
					Eigen::Vector3d position = Eigen::Vector3d::Zero();
					std::vector<double> features(nodeKeys.size(), 0.0);
					for (const auto& [dataName, data] : nodeElement)
					{
						if (dataName != "data")
							continue;
						const std::string& key = attribute(data, "key", none);
						if (key == "x")
							position.x() = parseDouble(data.data());
						else if (key == "y")
							position.y() = parseDouble(data.data());
						else if (key == "z")
						{
							if (threeD)
								position.z() = parseDouble(data.data());
						}
						else if (const auto found = nodeKeys.find(key); found != nodeKeys.end())
							features[static_cast<size_t>(found->second)] = parseDouble(data.data());
					}
					const uint64_t added = graph->addNode(Graph::NodeInfo(position, std::move(features)));
					ids.emplace(id, added);
				}

				for (const auto& [name, edgeElement] : graphElement)
				{
					if (name != "edge")
						continue;
					const std::string& source = requiredAttribute(edgeElement, "source");
					const std::string& target = requiredAttribute(edgeElement, "target");
					const auto from = ids.find(source);
					const auto to = ids.find(target);
					if (from == ids.end() || to == ids.end())
						throw std::runtime_error("Edge refers to undefined node: " + source + " or " + target);
					std::vector<double> features(edgeKeys.size(), 0.0);
					for (const auto& [dataName, data] : edgeElement)
					{
						if (dataName != "data")
							continue;
						if (const auto found = edgeKeys.find(attribute(data, "key", none)); found != edgeKeys.end())
							features[static_cast<size_t>(found->second)] = parseDouble(data.data());
					}
					graph->addEdge(from->second, to->second, Graph::EdgeInfo(std::move(features)));
				}
			}

			Log::log(Log::Info, "",
			         fmt::format("Imported {}D graph with {} nodes, {} edges, {} edge feature(s) and {} node feature(s).", threeD ? 3 : 2,
			                     graph->numNodes(), graph->numEdges(), edgeKeys.size(), nodeKeys.size()));
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
		try
		{
			std::string text = readAll(in);
			if (in.bad())
				throw std::runtime_error("read error");
			if (const std::string problem = xmlProblem(text, kMaxElementDepth); problem == kNoElement)
				text.clear();
			else if (!problem.empty())
				throw std::runtime_error(problem);
			MemoryLimit::require(static_cast<double>(text.size()) * kTreeBytesPerTextByte, "The GraphML document's tree");
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
			return buildGraph(tree);
		}
		catch (const std::exception& e)
		{
			logError(std::string("Error during parsing of file: ") + e.what());
			return nullptr;
		}
	}
}
