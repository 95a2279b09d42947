#include "src/io/GraphMLIoAlgorithm.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <unordered_set>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <fmt/format.h>

#include "host/core/Log.h"
#include "host/core/MemoryLimit.h"
#include "host/core/Platform.h"
#include "host/core/SafeSave.h"
#include "src/graph/Graph.h"
#include "src/io/FeatureNames.h"
#include "src/io/GraphMLReader.h"

namespace Quorvale
{
	namespace
	{
		using boost::property_tree::ptree;

		constexpr const char* kGraphMLNamespace = "http://graphml.graphdrawing.org/xmlns";
		constexpr const char* kAttributes = "<xmlattr>";

		// What a document's property tree costs per element, attribute and byte of text, measured as
		// peak resident memory on documents of many keys, nodes, edges and data elements, and rounded
		// up so that the writer's estimate stays an upper bound.
		constexpr double kTreeBytesPerElement = 900.0;
		constexpr double kTreeBytesPerAttribute = 360.0;
		constexpr double kTreeBytesPerTextByte = 4.5;

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

		/// Memory that writing `graph` takes at its peak: its document's tree and the text, about 48
		/// bytes per element. A `data` element per value makes it far larger than the graph.
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
			return elements * (kTreeBytesPerElement + textBytesPerElement * kTreeBytesPerTextByte) + attributes * kTreeBytesPerAttribute;
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

		/// Where the key section of the serialised document ends: at its first `graph` element.
		size_t keySectionEnd(std::string_view text) { return std::min(text.find("<graph "), text.size()); }

		/// The key section of the serialised document with its key elements spelled out. The tree stores
		/// attr.name and attr.type as one nested attribute `attr`, which the serialiser emits empty:
		/// every key element leaves it as <key id="ID" for="FOR" attr=""/>, and becomes <key id="ID"
		/// for="FOR" attr.name="ID" attr.type="double"/>. A plain scan; attribute values are escaped,
		/// so that their quotes cannot end them early.
		std::string spellOutKeys(std::string_view keys)
		{
			constexpr std::string_view keyStart = "<key id=\"";
			constexpr std::string_view emptyAttr = " attr=\"\"";
			std::string out;
			out.reserve(keys.size() + (keys.size() / 8) * 2);
			size_t copied = 0;
			for (size_t key = keys.find(keyStart); key != std::string_view::npos; key = keys.find(keyStart, copied))
			{
				const size_t idBegin = key + keyStart.size();
				const size_t idEnd = keys.find('"', idBegin);
				const size_t attr = keys.find(emptyAttr, idEnd);
				if (attr == std::string_view::npos)
					break;
				out.append(keys, copied, attr - copied);
				out += " attr.name=\"";
				out.append(keys, idBegin, idEnd - idBegin);
				out += "\" attr.type=\"double\"";
				copied = attr + emptyAttr.size();
			}
			out.append(keys, copied);
			return out;
		}

		/// Why `graph` cannot be written so that it reads back the same; empty when it can.
		std::string writeProblem(const Graph& graph, bool withFeatures)
		{
			if (withFeatures)
				for (const auto& [descriptors, kind] :
				     {std::pair{&graph.edgeFeatureDescriptors(), "edge"}, std::pair{&graph.nodeFeatureDescriptors(), "node"}})
				{
					std::unordered_set<std::string_view> names;
					for (const Graph::FeatureDescriptor& descriptor : *descriptors)
					{
						const std::string& name = descriptor.name;
						std::string problem = FeatureNames::problem(name);
						if (problem.empty() && *kind == 'n' && (name == "x" || name == "y" || name == "z"))
							problem = "its key would be the key of the " + name + " coordinate; rename the feature";
						if (problem.empty() && !names.insert(name).second)
							problem = fmt::format("another {} feature has the same name", kind);
						if (!problem.empty())
							return fmt::format("the {} feature {} cannot be written: {}", kind, FeatureNames::quoted(name), problem);
					}
				}
			const Eigen::Matrix4d toWorld = graph.matrixToWorld();
			std::string problem;
			graph.forEachNode(
			    [&](uint64_t id, const Graph::NodeInfo& info)
			    {
				    if (!problem.empty())
					    return;
				    const Eigen::Vector3d& position = info.position();
				    const Eigen::Vector3d world = toWorld.topLeftCorner<3, 3>() * position + toWorld.topRightCorner<3, 1>();
				    if (!position.allFinite())
					    problem = fmt::format("node {} is at ({}, {}, {}), which is no finite position", id, position.x(), position.y(), position.z());
				    else if (!world.allFinite())
					    problem = fmt::format("node {} lies at ({}, {}, {}) in world coordinates, which is no finite position", id, world.x(),
					                          world.y(), world.z());
			    });
			return problem;
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
		// Refused before the file is touched.
		if (const std::string problem = writeProblem(graph, withFeatures); !problem.empty())
		{
			logError("Failed to write GraphML: " + problem + ".");
			return false;
		}

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
			// The nodes and edges, most of the text, are written as the serialiser left them.
			const std::string text = serialised.str();
			const size_t keysEnd = keySectionEnd(text);
			const std::string keys = spellOutKeys(std::string_view(text).substr(0, keysEnd));
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

	std::unique_ptr<Graph> GraphMLIoAlgorithm::loadFromGraphML(std::istream& in) { return GraphMLReader::read(in); }
}
