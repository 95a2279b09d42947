#include "src/graph/Graph.h"

#include <limits>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>

#include "host/lib/DataList.h"
#include "src/graph/GlGraphDisplayOptions.h"

namespace Quorvale
{
	namespace
	{
		/// Adds the entry unless the key is there; an entry past the current last one (the usual case
		/// when edges arrive in order) is appended without a search.
		void insertIfMissing(Graph::Neighborhood& neighborhood, uint64_t key, Graph::EdgeInfo info)
		{
			if (neighborhood.empty() || neighborhood.rbegin()->first < key)
				neighborhood.emplace_hint(neighborhood.end(), key, std::move(info));
			else
				neighborhood.try_emplace(key, std::move(info));
		}
		// The text every failed node lookup carries; callers and tests match it exactly.
		constexpr const char* kInvalidKey = "invalid map<K, T> key";

		void fitFeatures(std::vector<double>& features, const std::vector<Graph::FeatureDescriptor>& descriptors)
		{
			const size_t count = descriptors.size();
			if (features.size() == count)
				return;
			const size_t old = features.size();
			features.resize(count);
			for (size_t i = old; i < count; ++i)
				features[i] = descriptors[i].defaultValue;
		}

		std::optional<int> findFeature(const std::vector<Graph::FeatureDescriptor>& descriptors, const std::string& name)
		{
			for (size_t i = 0; i < descriptors.size(); ++i)
				if (descriptors[i].name == name)
					return static_cast<int>(i);
			return std::nullopt;
		}

		/// The set of indices to drop; throws before anything changes when one names no column.
		std::set<uint64_t> checkedColumns(const std::vector<uint64_t>& indices, size_t columnCount, const char* what)
		{
			std::set<uint64_t> columns(indices.begin(), indices.end());
			if (!columns.empty() && *columns.rbegin() >= columnCount)
				throw std::out_of_range("cannot remove " + std::string(what) + " feature column " + std::to_string(*columns.rbegin()) +
				                        ": the graph has " + std::to_string(columnCount) + " such columns");
			return columns;
		}

		template <typename T>
		void eraseColumns(std::vector<T>& values, const std::set<uint64_t>& columns)
		{
			size_t kept = 0;
			for (size_t i = 0; i < values.size(); ++i)
			{
				if (columns.count(i) != 0)
					continue;
				// A string moved onto itself would be left empty.
				if (kept != i)
					values[kept] = std::move(values[i]);
				++kept;
			}
			values.resize(kept);
		}
	}

	Graph::Graph(Type type, Dimension dimension)
	    : Data(std::string())
	    , m_type(type)
	    , m_dimension(dimension)
	    , m_edgeFeatures{{"diameter", 0.0}}
	{
		setName("Graph");
		components().add(std::make_unique<GlGraph::DisplayOptions>());
	}

	Graph::Graph(const Graph& other) = default;

	Graph& Graph::operator=(const Graph& other) = default;

	// The host's data part has no move operations of its own (it owns a component list bound to its
	// object), so it is copied; only the graph's own storage moves.
	Graph::Graph(Graph&& other)
	    : Data(static_cast<const Data&>(other))
	    , m_maxNodeIdx(other.m_maxNodeIdx)
	    , m_nodes(std::move(other.m_nodes))
	    , m_type(other.m_type)
	    , m_dimension(other.m_dimension)
	    , m_nodeFeatures(std::move(other.m_nodeFeatures))
	    , m_edgeFeatures(std::move(other.m_edgeFeatures))
	{
		other.m_nodes.clear();
		other.m_nodeFeatures.clear();
		other.m_edgeFeatures.clear();
	}

	Graph& Graph::operator=(Graph&& other)
	{
		if (this == &other)
			return *this;
		Data::operator=(other);
		m_maxNodeIdx = other.m_maxNodeIdx;
		m_nodes = std::move(other.m_nodes);
		m_type = other.m_type;
		m_dimension = other.m_dimension;
		m_nodeFeatures = std::move(other.m_nodeFeatures);
		m_edgeFeatures = std::move(other.m_edgeFeatures);
		other.m_nodes.clear();
		other.m_nodeFeatures.clear();
		other.m_edgeFeatures.clear();
		return *this;
	}

	Graph::~Graph() = default;

	Geometry::AlignedBox Graph::bounds() const
	{
		Geometry::AlignedBox box;
		const Eigen::Matrix4d toWorld = matrixToWorld();
		const Eigen::Matrix3d linear = toWorld.topLeftCorner<3, 3>();
		const Eigen::Vector3d translation = toWorld.topRightCorner<3, 1>();
		for (const auto& [id, entry] : m_nodes)
			box.addPoint(linear * entry.info.position() + translation);
		return box;
	}

	// Nodes ----------------------------------------------------------------------------------------

	Graph::NodeEntry& Graph::entryAt(uint64_t id)
	{
		auto it = m_nodes.find(id);
		if (it == m_nodes.end())
			throw std::out_of_range(kInvalidKey);
		return it->second;
	}

	const Graph::NodeEntry& Graph::entryAt(uint64_t id) const
	{
		auto it = m_nodes.find(id);
		if (it == m_nodes.end())
			throw std::out_of_range(kInvalidKey);
		return it->second;
	}

	const Graph::NodeInfo& Graph::node(uint64_t id) const { return entryAt(id).info; }

	Properties& Graph::nodeAttributes(uint64_t id) { return entryAt(id).info.attributes(); }

	const Properties& Graph::nodeAttributes(uint64_t id) const { return entryAt(id).info.attributes(); }

	const Graph::Neighborhood& Graph::neighborhood(uint64_t id) const { return entryAt(id).neighborhood; }

	uint64_t Graph::addNode(NodeInfo info)
	{
		// Identifiers are never reused, so wrapping around would hand out 0 and then ids of live nodes.
		if (m_maxNodeIdx == std::numeric_limits<uint64_t>::max())
			throw std::overflow_error("cannot add a node: the node identifiers are exhausted");
		const uint64_t id = m_maxNodeIdx + 1;
		addOrReplaceNode(id, std::move(info));
		return id;
	}

	bool Graph::addOrReplaceNode(uint64_t id, NodeInfo info)
	{
		// Graphs are mostly built in ascending identifier order (files, algorithms): then the new
		// node goes at the end without a search.
		const bool appends = m_nodes.empty() || m_nodes.rbegin()->first < id;
		auto it = appends ? m_nodes.end() : m_nodes.lower_bound(id);
		const bool inserted = it == m_nodes.end() || it->first != id;
		if (inserted)
			it = m_nodes.emplace_hint(it, id, NodeEntry{std::move(info), Neighborhood()});
		else
			it->second.info = std::move(info);
		m_maxNodeIdx = std::max(m_maxNodeIdx, id);
		fixNodeInfo(it->second.info);
		return inserted;
	}

	void Graph::removeNode(uint64_t id)
	{
		auto it = m_nodes.find(id);
		if (it == m_nodes.end())
			return;
		for (const auto& [neighbor, edge] : it->second.neighborhood)
			if (neighbor != id)
				entryAt(neighbor).neighborhood.erase(id);
		m_nodes.erase(it);
	}

	// Edges ----------------------------------------------------------------------------------------

	int Graph::numEdges() const
	{
		const bool undirected = m_type == Type::Undirected;
		int count = 0;
		for (const auto& [a, entry] : m_nodes)
			for (const auto& [b, edge] : entry.neighborhood)
				if (edge && (!undirected || a >= b))
					++count;
		return count;
	}

	void Graph::addEdge(uint64_t from, uint64_t to, EdgeInfo info)
	{
		fixEdgeInfo(info);
		// Both ends are looked up first so that a missing target leaves no half edge behind.
		NodeEntry& source = entryAt(from);
		NodeEntry& target = entryAt(to);
		if (m_type == Type::Directed)
		{
			source.neighborhood[to] = std::move(info);
			target.neighborhood.try_emplace(from);
		}
		else
		{
			insertIfMissing(source.neighborhood, to, info);
			insertIfMissing(target.neighborhood, from, std::move(info));
		}
	}

	void Graph::removeEdge(uint64_t a, uint64_t b)
	{
		auto itA = m_nodes.find(a);
		auto itB = m_nodes.find(b);
		if (itA == m_nodes.end() || itB == m_nodes.end())
			return;
		Neighborhood& fromA = itA->second.neighborhood;
		Neighborhood& fromB = itB->second.neighborhood;
		auto entry = fromA.find(b);
		if (entry == fromA.end())
			return;
		if (m_type == Type::Directed && a != b)
		{
			auto back = fromB.find(a);
			if (back != fromB.end() && back->second)
			{
				// b → a stays; a's entry only turns into the marker of that arriving edge.
				entry->second.reset();
				return;
			}
		}
		fromA.erase(entry);
		if (a != b)
			fromB.erase(a);
	}

	// Feature descriptors --------------------------------------------------------------------------

	void Graph::fixNodeInfo(NodeInfo& info) const { fitFeatures(info.features(), m_nodeFeatures); }

	void Graph::fixEdgeInfo(EdgeInfo& info) const { fitFeatures(info.features(), m_edgeFeatures); }

	void Graph::fixAllNodeInfos()
	{
		for (auto& [id, entry] : m_nodes)
			fixNodeInfo(entry.info);
	}

	void Graph::fixAllEdgeInfos()
	{
		for (auto& [id, entry] : m_nodes)
			for (auto& [neighbor, edge] : entry.neighborhood)
				if (edge)
					fixEdgeInfo(*edge);
	}

	std::optional<int> Graph::getNodeFeatureIdx(const std::string& name) const { return findFeature(m_nodeFeatures, name); }

	std::optional<int> Graph::getEdgeFeatureIdx(const std::string& name) const { return findFeature(m_edgeFeatures, name); }

	int Graph::getOrCreateNodeFeatureIdx(const std::string& name, double defaultValue)
	{
		if (auto idx = getNodeFeatureIdx(name))
			return *idx;
		addNodeFeatureDescriptors({{name, defaultValue}});
		return numNodeFeatures() - 1;
	}

	int Graph::getOrCreateEdgeFeatureIdx(const std::string& name, double defaultValue)
	{
		if (auto idx = getEdgeFeatureIdx(name))
			return *idx;
		addEdgeFeatureDescriptors({{name, defaultValue}});
		return numEdgeFeatures() - 1;
	}

	void Graph::addNodeFeatureDescriptors(std::vector<FeatureDescriptor> descriptors)
	{
		m_nodeFeatures.insert(m_nodeFeatures.end(), std::make_move_iterator(descriptors.begin()),
		                      std::make_move_iterator(descriptors.end()));
		fixAllNodeInfos();
	}

	void Graph::addEdgeFeatureDescriptors(std::vector<FeatureDescriptor> descriptors)
	{
		m_edgeFeatures.insert(m_edgeFeatures.end(), std::make_move_iterator(descriptors.begin()),
		                      std::make_move_iterator(descriptors.end()));
		fixAllEdgeInfos();
	}

	void Graph::clearFeatureDescriptors()
	{
		m_nodeFeatures.clear();
		m_edgeFeatures.clear();
		fixAllNodeInfos();
		fixAllEdgeInfos();
	}

	void Graph::removeNodeFeatures(const std::vector<std::string>& names)
	{
		std::vector<uint64_t> indices;
		for (const auto& name : names)
			if (auto idx = getNodeFeatureIdx(name))
				indices.push_back(static_cast<uint64_t>(*idx));
		removeNodeFeatures(indices);
	}

	void Graph::removeEdgeFeatures(const std::vector<std::string>& names)
	{
		std::vector<uint64_t> indices;
		for (const auto& name : names)
			if (auto idx = getEdgeFeatureIdx(name))
				indices.push_back(static_cast<uint64_t>(*idx));
		removeEdgeFeatures(indices);
	}

	void Graph::removeNodeFeatures(const std::vector<uint64_t>& indices)
	{
		if (indices.empty())
			return;
		const std::set<uint64_t> columns = checkedColumns(indices, m_nodeFeatures.size(), "node");
		for (auto& [id, entry] : m_nodes)
			eraseColumns(entry.info.features(), columns);
		eraseColumns(m_nodeFeatures, columns);
	}

	void Graph::removeEdgeFeatures(const std::vector<uint64_t>& indices)
	{
		if (indices.empty())
			return;
		const std::set<uint64_t> columns = checkedColumns(indices, m_edgeFeatures.size(), "edge");
		for (auto& [id, entry] : m_nodes)
			for (auto& [neighbor, edge] : entry.neighborhood)
				if (edge)
					eraseColumns(edge->features(), columns);
		eraseColumns(m_edgeFeatures, columns);
	}

	// DataList::getGraphs ------------------------------------------------------------------------

	// Declared with the host's data list (host/lib/DataList.h), defined here because the graph type
	// lives in the plug-in.
	std::vector<Graph*> DataList::getGraphs(const DataList& list, int kind) { return list.getAll<Graph>(kind); }
}
