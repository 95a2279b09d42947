#include "src/io/GraphQuorvaleFilePlugin.h"

#include <algorithm>
#include <cmath>
#include <istream>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "host/core/Log.h"
#include "host/core/PropertiesIO.h"
#include "host/lib/QuorvaleFileBodyReader.h"
#include "host/lib/QuorvaleFileIO.h"
#include "src/graph/Graph.h"
#include "src/io/FeatureNames.h"

namespace Quorvale
{
	namespace
	{
		constexpr std::string_view kHeaderTag = "GRAPH:";
		constexpr std::string_view kMetadataTag = "METADATA:";
		constexpr std::string_view kNodesTag = "NODES:";
		constexpr std::string_view kEdgesTag = "EDGES:";
		constexpr uint64_t kMaxTextLength = std::numeric_limits<uint32_t>::max();

		void logError(const std::string& message) { Log::error(message); }

		// Writing ------------------------------------------------------------------------------------

		void writeTag(std::ostream& out, std::string_view tag) { out.write(tag.data(), static_cast<std::streamsize>(tag.size())); }

		/// Writes exactly as many values as there are descriptors; a record that is not fitted (which
		/// the graph never allows) still cannot shift the layout.
		void writeFeatures(std::ostream& out, const std::vector<double>& values, const std::vector<Graph::FeatureDescriptor>& descriptors)
		{
			for (size_t i = 0; i < descriptors.size(); ++i)
				QuorvaleFileIO::writeF64(out, i < values.size() ? values[i] : descriptors[i].defaultValue);
		}

		/// Why the feature name `name` cannot be stored (`kind` "node" or "edge"), so that the block would
		/// not read back; empty when it can.
		std::string nameProblem(const std::string& name, const char* kind, size_t index)
		{
			const std::string problem = FeatureNames::problem(name);
			return problem.empty() ? problem : fmt::format("{} feature {} is named {}: {}", kind, index, FeatureNames::quoted(name), problem);
		}

		bool writeDescriptors(std::ostream& out, const std::vector<Graph::FeatureDescriptor>& descriptors, const char* kind)
		{
			QuorvaleFileIO::writeU32(out, static_cast<uint32_t>(descriptors.size()));
			for (size_t i = 0; i < descriptors.size(); ++i)
			{
				const Graph::FeatureDescriptor& descriptor = descriptors[i];
				if (descriptor.name.size() > kMaxTextLength)
				{
					logError("Feature name too long");
					return false;
				}
				if (const std::string problem = nameProblem(descriptor.name, kind, i); !problem.empty())
				{
					logError("Cannot store the graph: " + problem);
					return false;
				}
				QuorvaleFileIO::writeU32(out, static_cast<uint32_t>(descriptor.name.size()));
				QuorvaleFileIO::writeBytes(out, descriptor.name);
				QuorvaleFileIO::writeF64(out, descriptor.defaultValue);
			}
			return true;
		}

		bool writeAttributes(std::ostream& out, const Properties& attributes)
		{
			if (attributes.isEmpty())
			{
				QuorvaleFileIO::writeU32(out, 0);
				return true;
			}
			const std::optional<std::string> text = PropertiesIO::saveToString(attributes, PropertiesIO::kTextFormat, {});
			if (!text)
			{
				logError("Failed to serialize attributes");
				return false;
			}
			if (text->size() > kMaxTextLength)
			{
				logError("Attribute string too long");
				return false;
			}
			QuorvaleFileIO::writeU32(out, static_cast<uint32_t>(text->size()));
			QuorvaleFileIO::writeBytes(out, *text);
			return true;
		}

		bool streamFailed()
		{
			logError("Failed to write the graph block: the output stream failed");
			return false;
		}

		// Reading ------------------------------------------------------------------------------------

		/// `count` feature values.
		bool readFeatures(QuorvaleFileBodyReader& reader, size_t count, std::vector<double>& values)
		{
			values.resize(count);
			for (double& value : values)
				if (!reader.f64(value))
					return false;
			return true;
		}

		bool truncated(const std::string& what)
		{
			logError(fmt::format("Graph block is truncated or damaged: cannot read {}", what));
			return false;
		}

		bool tooLarge(const std::string& what, uint64_t value)
		{
			logError(fmt::format("Graph block is damaged: {} {} exceeds what the block holds", what, value));
			return false;
		}

		bool readDescriptors(QuorvaleFileBodyReader& reader, Graph& graph, bool nodes)
		{
			const char* kind = nodes ? "node" : "edge";
			uint32_t count = 0;
			if (!reader.u32(count))
				return truncated(fmt::format("the {} feature count", kind));
			// Each descriptor takes at least its name length and default value.
			if (!reader.fits(count, 4 + 8))
				return tooLarge(fmt::format("the {} feature count", kind), count);
			for (uint32_t i = 0; i < count; ++i)
			{
				uint32_t length = 0;
				Graph::FeatureDescriptor descriptor;
				if (!reader.u32(length))
					return truncated(fmt::format("{} feature descriptor {}", kind, i));
				if (!reader.fits(1, uint64_t(length) + 8))
					return tooLarge(fmt::format("the length of {} feature name {}", kind, i), length);
				if (!reader.bytes(length, descriptor.name) || !reader.f64(descriptor.defaultValue))
					return truncated(fmt::format("{} feature descriptor {}", kind, i));
				if (const std::string problem = nameProblem(descriptor.name, kind, i); !problem.empty())
				{
					logError("Graph block is damaged: " + problem);
					return false;
				}
				if (nodes)
					graph.addNodeFeatureDescriptors({std::move(descriptor)});
				else
					graph.addEdgeFeatureDescriptors({std::move(descriptor)});
			}
			return true;
		}

		/// Reads an attribute text and turns it into `attributes`; `describe()` names the record for
		/// messages (called only when there is one to give).
		template <typename Describe>
		bool readAttributes(QuorvaleFileBodyReader& reader, Properties& attributes, const Describe& describe, const char* failureMessage)
		{
			uint32_t length = 0;
			if (!reader.u32(length))
				return truncated("the attributes of " + describe());
			if (length == 0)
				return true;
			if (!reader.fits(1, length))
				return tooLarge("the attribute text length of " + describe(), length);
			std::string text;
			if (!reader.bytes(length, text))
				return truncated("the attributes of " + describe());
			std::optional<Properties> loaded = PropertiesIO::loadFromString(text, PropertiesIO::kTextFormat);
			if (!loaded)
			{
				logError(failureMessage);
				return false;
			}
			attributes = std::move(*loaded);
			return true;
		}

		// Writing the three parts of a body ------------------------------------------------------------

		/// The header, the metadata (matrix, flags, maximum identifier) and both descriptor lists.
		bool writeSettings(std::ostream& out, const Graph& graph)
		{
			writeTag(out, kHeaderTag);
			writeTag(out, kMetadataTag);
			const Eigen::Matrix4d& matrix = graph.matrixToWorld();
			if (!matrix.allFinite())
			{
				logError("Cannot store the graph: its matrix to world holds a value that is not finite");
				return false;
			}
			for (int column = 0; column < 4; ++column)
				for (int row = 0; row < 4; ++row)
					QuorvaleFileIO::writeF64(out, matrix(row, column));
			QuorvaleFileIO::writeU8(out, graph.type() == Graph::Type::Directed ? 1 : 0);
			QuorvaleFileIO::writeU8(out, graph.dimension() == Graph::Dimension::TwoD ? 1 : 0);
			QuorvaleFileIO::writeU64(out, graph.maxNodeIdx());
			if (!writeDescriptors(out, graph.nodeFeatureDescriptors(), "node") || !writeDescriptors(out, graph.edgeFeatureDescriptors(), "edge"))
				return false;
			return out ? true : streamFailed();
		}

		bool writeNodes(std::ostream& out, const Graph& graph)
		{
			const auto& nodeDescriptors = graph.nodeFeatureDescriptors();
			bool ok = true;
			writeTag(out, kNodesTag);
			QuorvaleFileIO::writeU64(out, static_cast<uint64_t>(graph.numNodes()));
			graph.forEachNode(
			    [&](uint64_t id, const Graph::NodeInfo& info)
			    {
				    if (!ok)
					    return;
				    QuorvaleFileIO::writeU64(out, id);
				    for (int i = 0; i < 3; ++i)
					    QuorvaleFileIO::writeF64(out, info.position()[i]);
				    writeFeatures(out, info.features(), nodeDescriptors);
				    ok = writeAttributes(out, info.attributes()) && (out || streamFailed());
			    });
			return ok;
		}

		bool writeEdges(std::ostream& out, const Graph& graph)
		{
			const auto& edgeDescriptors = graph.edgeFeatureDescriptors();
			bool ok = true;
			writeTag(out, kEdgesTag);
			QuorvaleFileIO::writeU64(out, static_cast<uint64_t>(graph.numEdges()));
			graph.forEachEdge(
			    [&](const Graph::EdgeInfo& info, uint64_t from, uint64_t to)
			    {
				    if (!ok)
					    return;
				    QuorvaleFileIO::writeU64(out, from);
				    QuorvaleFileIO::writeU64(out, to);
				    writeFeatures(out, info.features(), edgeDescriptors);
				    ok = writeAttributes(out, info.attributes()) && (out || streamFailed());
			    });
			return ok;
		}

		// Reading the parts of a body -----------------------------------------------------------------

		/// Reads a section tag; a different one is logged with `message`.
		bool readTag(QuorvaleFileBodyReader& reader, std::string_view tag, const char* message)
		{
			if (reader.tag(tag))
				return true;
			logError(message);
			return false;
		}

		/// Reads a section tag and its record count (`what` names it in messages), which must fit the
		/// bytes left at `recordSize` or more bytes a record.
		bool readSection(QuorvaleFileBodyReader& reader, std::string_view tag, const char* tagMessage, const char* what,
		                 uint64_t recordSize, uint64_t& count)
		{
			if (!readTag(reader, tag, tagMessage))
				return false;
			if (!reader.u64(count))
				return truncated(what);
			if (!reader.fits(count, recordSize))
				return tooLarge(what, count);
			return true;
		}

		/// The header and the metadata: matrix and flags go into the graph, the stored maximum
		/// identifier into `maxNodeIdx`.
		bool readSettings(QuorvaleFileBodyReader& reader, Graph& graph, uint64_t& maxNodeIdx)
		{
			if (!readTag(reader, kHeaderTag, "Invalid header") || !readTag(reader, kMetadataTag, "Invalid metadata header"))
				return false;
			Eigen::Matrix4d matrix;
			for (int column = 0; column < 4; ++column)
				for (int row = 0; row < 4; ++row)
					if (!reader.f64(matrix(row, column)))
						return truncated("the matrix");
			for (int column = 0; column < 4; ++column)
				for (int row = 0; row < 4; ++row)
					if (!std::isfinite(matrix(row, column)))
					{
						logError(fmt::format("Graph block is damaged: its matrix to world holds {} (row {}, column {})", matrix(row, column),
						                     row + 1, column + 1));
						return false;
					}
			graph.setMatrixToWorld(matrix);

			uint8_t directed = 0;
			uint8_t twoD = 0;
			if (!reader.u8(directed) || !reader.u8(twoD))
				return truncated("the graph flags");
			if (directed != 0)
				graph.setDirected();
			graph.setDimension(twoD != 0 ? Graph::Dimension::TwoD : Graph::Dimension::ThreeD);
			if (!reader.u64(maxNodeIdx))
				return truncated("the maximum node identifier");
			return true;
		}

		bool readNodes(QuorvaleFileBodyReader& reader, Graph& graph)
		{
			const size_t nodeFeatures = graph.nodeFeatureDescriptors().size();
			uint64_t nodeCount = 0;
			if (!readSection(reader, kNodesTag, "Invalid nodes header", "the node count", 8 + 3 * 8 + 8 * uint64_t(nodeFeatures) + 4, nodeCount))
				return false;
			for (uint64_t i = 0; i < nodeCount; ++i)
			{
				uint64_t id = 0;
				Eigen::Vector3d position;
				std::vector<double> features;
				if (!reader.u64(id) || !reader.f64(position.x()) || !reader.f64(position.y()) || !reader.f64(position.z()) ||
				    !readFeatures(reader, nodeFeatures, features))
					return truncated(fmt::format("node record {} of {}", i + 1, nodeCount));
				Graph::NodeInfo info(position, std::move(features));
				if (!readAttributes(
				        reader, info.attributes(), [id] { return fmt::format("node {}", id); }, "Failed to deserialize node attributes"))
					return false;
				graph.addOrReplaceNode(id, std::move(info));
			}
			return true;
		}

		bool readEdges(QuorvaleFileBodyReader& reader, Graph& graph)
		{
			const size_t edgeFeatures = graph.edgeFeatureDescriptors().size();
			uint64_t edgeCount = 0;
			if (!readSection(reader, kEdgesTag, "Invalid edges header", "the edge count", 8 + 8 + 8 * uint64_t(edgeFeatures) + 4, edgeCount))
				return false;
			for (uint64_t i = 0; i < edgeCount; ++i)
			{
				uint64_t from = 0;
				uint64_t to = 0;
				std::vector<double> features;
				if (!reader.u64(from) || !reader.u64(to) || !readFeatures(reader, edgeFeatures, features))
					return truncated(fmt::format("edge record {} of {}", i + 1, edgeCount));
				Graph::EdgeInfo info(std::move(features));
				if (!readAttributes(
				        reader, info.attributes(), [from, to] { return fmt::format("edge {}-{}", from, to); },
				        "Failed to deserialize edge attributes"))
					return false;
				for (uint64_t end : {from, to})
					if (!graph.hasNode(end))
					{
						logError(fmt::format("Edge refers to unknown node {} (edge {} to {})", end, from, to));
						return false;
					}
				graph.addEdge(from, to, std::move(info));
			}
			return true;
		}
	}

	GraphQuorvaleFilePlugin::GraphQuorvaleFilePlugin(uint32_t blockType, uint32_t typeOffset)
	    : m_blockType(blockType)
	    , m_typeOffset(typeOffset)
	{
	}

	GraphQuorvaleFilePlugin::~GraphQuorvaleFilePlugin() = default;

	std::unique_ptr<Data> GraphQuorvaleFilePlugin::createData(uint32_t blockType) const
	{
		if (blockType != m_blockType + m_typeOffset)
			return nullptr;
		return std::make_unique<Graph>(Graph::Type::Undirected, Graph::Dimension::ThreeD);
	}

	uint32_t GraphQuorvaleFilePlugin::blockType(const Data& data) const
	{
		return dynamic_cast<const Graph*>(&data) ? m_blockType + m_typeOffset : 0;
	}

	bool GraphQuorvaleFilePlugin::write(const Data& data, std::ostream& out) const
	{
		const auto* graph = dynamic_cast<const Graph*>(&data);
		if (!graph)
			return false;
		if (!writeSettings(out, *graph) || !writeNodes(out, *graph) || !writeEdges(out, *graph))
			return false;
		out.flush();
		return out ? true : streamFailed();
	}

	bool GraphQuorvaleFilePlugin::load(uint64_t /*bodySize*/, Data& data, std::istream& in) const
	{
		auto* graph = dynamic_cast<Graph*>(&data);
		if (!graph)
			return false;
		graph->clearFeatureDescriptors();
		QuorvaleFileBodyReader reader(in);

		uint64_t maxNodeIdx = 0;
		if (!readSettings(reader, *graph, maxNodeIdx))
			return false;
		// A stored value above every stored node is the identifier of a removed node; it only ever
		// raises the graph's value, so that identifiers are never handed out twice.
		graph->m_maxNodeIdx = std::max(graph->m_maxNodeIdx, maxNodeIdx);

		if (!readDescriptors(reader, *graph, true) || !readDescriptors(reader, *graph, false))
			return false;
		return readNodes(reader, *graph) && readEdges(reader, *graph);
	}
}
