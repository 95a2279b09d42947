#include "src/io/GraphMLIoAlgorithm.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <locale>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <unordered_map>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <fmt/format.h>

#include "host/core/Log.h"
#include "host/core/Platform.h"
#include "src/graph/Graph.h"

namespace Quorvale
{
	namespace
	{
		using boost::property_tree::ptree;

		constexpr const char* kGraphMLNamespace = "http://graphml.graphdrawing.org/xmlns";
		constexpr const char* kAttributes = "<xmlattr>";

		// The XML parser recurses once per element level; deeper documents would overflow the stack.
		constexpr size_t kMaxElementDepth = 1000;

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

		// A name beside `target` for the file that replaces it once complete.
		std::filesystem::path temporarySibling(const std::filesystem::path& target)
		{
			std::random_device device;
			std::mt19937_64 generator(device());
			const std::string stem = "." + target.filename().u8string() + ".tmp-";
			for (int attempt = 0; attempt < 100; ++attempt)
			{
				auto candidate = target.parent_path() / std::filesystem::u8path(stem + fmt::format("{:016x}", generator()));
				std::error_code error;
				if (!std::filesystem::exists(std::filesystem::symlink_status(candidate, error)))
					return candidate;
			}
			return {};
		}

		// Removes the temporary file unless it was moved into place.
		class TemporaryFileGuard
		{
		public:
			explicit TemporaryFileGuard(std::filesystem::path path)
			    : m_path(std::move(path))
			{
			}
			~TemporaryFileGuard()
			{
				if (!m_committed && !m_path.empty())
				{
					std::error_code ignored;
					std::filesystem::remove(m_path, ignored);
				}
			}
			TemporaryFileGuard(const TemporaryFileGuard&) = delete;
			TemporaryFileGuard& operator=(const TemporaryFileGuard&) = delete;
			void commit() { m_committed = true; }

		private:
			std::filesystem::path m_path;
			bool m_committed = false;
		};

		// ---------------------------------------------------------------------------------------------
		// Reading

		// True when elements nest deeper than `limit`. A cheap scan of the raw text that only tracks
		// start and end tags; comments, CDATA sections, processing instructions and declarations are
		// skipped. Malformed input is left to the parser.
		bool elementsNestDeeperThan(std::string_view text, size_t limit)
		{
			const auto npos = std::string_view::npos;
			const auto startsWith = [&](size_t at, std::string_view prefix) { return text.compare(at, prefix.size(), prefix) == 0; };
			const auto skipPast = [&](size_t from, std::string_view terminator)
			{
				const size_t at = text.find(terminator, from);
				return at == npos ? npos : at + terminator.size();
			};

			size_t depth = 0;
			size_t at = 0;
			while ((at = text.find('<', at)) != npos)
			{
				if (startsWith(at, "<!--"))
					at = skipPast(at + 4, "-->");
				else if (startsWith(at, "<![CDATA["))
					at = skipPast(at + 9, "]]>");
				else if (startsWith(at, "<?"))
					at = skipPast(at + 2, "?>");
				else if (startsWith(at, "</"))
				{
					if (depth > 0)
						--depth;
					at = skipPast(at + 2, ">");
				}
				else
				{
					// A start tag or a declaration such as DOCTYPE: find its '>' outside quotes and
					// (for a declaration's internal subset) outside brackets.
					const bool declaration = startsWith(at, "<!");
					char quote = 0;
					int brackets = 0;
					size_t end = at + 1;
					for (; end < text.size(); ++end)
					{
						const char c = text[end];
						if (quote)
						{
							if (c == quote)
								quote = 0;
						}
						else if (c == '"' || c == '\'')
							quote = c;
						else if (declaration && c == '[')
							++brackets;
						else if (declaration && c == ']')
							--brackets;
						else if (c == '>' && brackets <= 0)
							break;
					}
					if (end >= text.size())
						return false;
					if (!declaration && text[end - 1] != '/' && ++depth > limit)
						return true;
					at = end + 1;
				}
				if (at == npos)
					return false;
			}
			return false;
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

		std::unique_ptr<Graph> buildGraph(const ptree& tree)
		{
			static const std::string none;
			auto graph = std::make_unique<Graph>(Graph::Type::Undirected, Graph::Dimension::ThreeD);
			graph->clearFeatureDescriptors();
			graph->setDimension(hasZCoordinate(tree) ? Graph::Dimension::ThreeD : Graph::Dimension::TwoD);
			const bool threeD = graph->dimension() == Graph::Dimension::ThreeD;

			const ptree& graphml = tree.get_child("graphml");
			std::map<std::string, int> edgeKeys;
			std::map<std::string, int> nodeKeys;
			for (const auto& [name, child] : graphml)
				if (name == "key" && requiredAttribute(child, "for") == "edge")
				{
					const std::string& id = requiredAttribute(child, "id");
					edgeKeys[id] = graph->getOrCreateEdgeFeatureIdx(id, 0.0);
				}
			for (const auto& [name, child] : graphml)
				if (name == "key" && requiredAttribute(child, "for") == "node")
				{
					const std::string& id = requiredAttribute(child, "id");
					if (id != "x" && id != "y" && id != "z")
						nodeKeys[id] = graph->getOrCreateNodeFeatureIdx(id, 0.0);
				}

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
		// so that a failed write leaves the old file intact; a link is followed to the file it names.
		// Anything else that exists (a device, a pipe) is written in place.
		std::error_code error;
		std::filesystem::path target = Filesystem::Path(path).native();
		if (std::filesystem::is_symlink(std::filesystem::symlink_status(target, error)))
		{
			auto resolved = std::filesystem::weakly_canonical(target, error);
			if (!error)
				target = std::move(resolved);
		}
		const auto targetStatus = std::filesystem::status(target, error);
		const bool exists = std::filesystem::exists(targetStatus);
		const bool inPlace = exists && !std::filesystem::is_regular_file(targetStatus);
		// An existing file we may not write stays protected, as it would be if it were opened in place.
		const bool refused = std::filesystem::is_directory(targetStatus) ||
		                     (exists && !inPlace && !std::ofstream(Platform::widen(target.u8string()), std::ios::app | std::ios::binary));
		const std::filesystem::path destination = refused ? std::filesystem::path() : inPlace ? target : temporarySibling(target);
		std::ofstream file;
		if (!destination.empty())
			file.open(Platform::widen(destination.u8string()), std::ios::out | std::ios::binary | std::ios::trunc);
		if (destination.empty() || file.fail())
		{
			logError("Failed to open '" + path + "': " +
			         (std::filesystem::is_directory(targetStatus) ? std::string("it is a folder") : std::strerror(errno ? errno : EACCES)) + ".");
			return false;
		}
		TemporaryFileGuard guard(inPlace ? std::filesystem::path() : destination);

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

			if (!inPlace)
			{
				if (exists)
					std::filesystem::permissions(destination, targetStatus.permissions(), error);
				std::filesystem::rename(destination, target);
				guard.commit();
			}
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
			if (elementsNestDeeperThan(text, kMaxElementDepth))
				throw std::runtime_error(fmt::format("elements are nested deeper than {} levels", kMaxElementDepth));
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
