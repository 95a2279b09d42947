#pragma once

#include "host/core/Geometry/AlignedBox.h"
#include "host/core/Properties.h"
#include "host/lib/Data.h"
// joinStrings, the list-to-text helper every graph subsystem shares, comes with the graph type.
#include "src/graph/JoinStrings.h"

#include <Eigen/Core>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace Quorvale
{
	/// A spatial graph held as a host data object. Nodes carry a 3-D position (graph coordinates),
	/// numeric features and free-form attributes; edges carry numeric features and attributes. The
	/// feature columns are named once per graph by a node and an edge descriptor list, and every
	/// stored record has exactly as many feature values as its descriptor list ("fitted").
	///
	/// Storage: each node has an ordered neighbour map. An undirected edge a–b is stored twice, as
	/// equal copies at a (for b) and at b (for a). A directed edge a → b is stored at a; b keeps an
	/// empty entry for a (unless b → a exists, which then fills that entry). Node identifiers are
	/// never reused: a new node gets the largest identifier so far plus one. Every visit runs in
	/// ascending identifier order, and within a node in ascending neighbour order.
	///
	/// A graph is used by one thread at a time; callbacks must not add or remove nodes or edges of
	/// the graph being visited.
	///
	/// Definitions: the visits, edits and walks (`forEachNode`, `forEachEdge`, `editEach...`,
	/// `editNode`, `editEdge`, `traverse`) and the single-edge queries `edge` and `degree` are in
	/// GraphIteration.cpp, everything else in Graph.cpp, with `DataList::getGraphs` (declared in
	/// host/lib/DataList.h).
	class Graph : public Data
	{
	public:
		enum class Type : int32_t
		{
			Directed = 0,
			Undirected = 1
		};

		/// A label of the graph: positions always have three coordinates.
		enum class Dimension : int32_t
		{
			TwoD = 0,
			ThreeD = 1
		};

		/// Which edges `degree` counts on a directed graph.
		enum class DegreeType : int32_t
		{
			Total = 0,
			In = 1,
			Out = 2
		};

		/// Order of the start-node visit; every value other than BreadthFirst walks depth-first.
		enum class TraversalStrategy : int32_t
		{
			BreadthFirst = 0,
			DepthFirst = 1
		};

		/// A node's record: position in graph coordinates, feature values and attributes.
		class NodeInfo
		{
		public:
			NodeInfo(const Eigen::Vector3d& position, std::vector<double> features)
			    : m_position(position)
			    , m_features(std::move(features))
			{
			}

			Eigen::Vector3d& position() { return m_position; }
			const Eigen::Vector3d& position() const { return m_position; }
			std::vector<double>& features() { return m_features; }
			const std::vector<double>& features() const { return m_features; }
			Properties& attributes() { return m_attributes; }
			const Properties& attributes() const { return m_attributes; }

		private:
			Eigen::Vector3d m_position;
			std::vector<double> m_features;
			Properties m_attributes;
		};

		/// An edge's record: feature values and attributes.
		class EdgeInfo
		{
		public:
			EdgeInfo() = default;
			explicit EdgeInfo(std::vector<double> features)
			    : m_features(std::move(features))
			{
			}

			std::vector<double>& features() { return m_features; }
			const std::vector<double>& features() const { return m_features; }
			Properties& attributes() { return m_attributes; }
			const Properties& attributes() const { return m_attributes; }

		private:
			std::vector<double> m_features;
			Properties m_attributes;
		};

		/// One named feature column; `defaultValue` fills the column's slot when a record grows to cover it.
		struct FeatureDescriptor
		{
			std::string name;
			double defaultValue = 0.0;
		};

		/// Neighbour id → the edge stored here for it (empty for a directed edge arriving from that neighbour).
		using Neighborhood = std::map<uint64_t, std::optional<EdgeInfo>>;

		/// What the node map holds for one node.
		struct NodeEntry
		{
			NodeInfo info;
			Neighborhood neighborhood;
		};

		/// Chooses the next node of `traverse` among the candidates, or returns null (or anything
		/// that is not a candidate) to stop. Arguments: current id, current info, candidate infos,
		/// candidate ids (same order).
		using PathChooser =
		    std::function<const NodeInfo*(uint64_t, const NodeInfo&, const std::vector<const NodeInfo*>&, const std::vector<uint64_t>&)>;

		/// An empty graph named "Graph" with the edge feature "diameter" (default 0.0) and a new
		/// `GlGraph::DisplayOptions` component.
		explicit Graph(Type type = Type::Undirected, Dimension dimension = Dimension::ThreeD);
		/// Copies the data part (with its components), nodes, edges, settings and descriptors.
		Graph(const Graph& other);
		Graph& operator=(const Graph& other);
		/// Copies the data part and moves the rest; the source keeps its maximum identifier, type
		/// and dimension and is left without nodes and without descriptors.
		Graph(Graph&& other);
		Graph& operator=(Graph&& other);
		~Graph() override;

		int kind() const override { return Data::Unknown; }
		int modality() const override { return Data::NoModality; }
		int matrixConvention() const override { return Data::ToWorld; }
		/// World-space box of the node positions mapped by `matrixToWorld`; empty without nodes.
		Geometry::AlignedBox bounds() const override;

		// Nodes ------------------------------------------------------------------------------------

		int numNodes() const { return static_cast<int>(m_nodes.size()); }
		bool empty() const { return m_nodes.empty(); }
		/// The largest identifier ever inserted (0 in a new graph); removing nodes does not lower it.
		uint64_t maxNodeIdx() const { return m_maxNodeIdx; }
		bool hasNode(uint64_t id) const { return m_nodes.count(id) != 0; }
		/// The node's record; throws std::out_of_range when `id` is not a node.
		const NodeInfo& node(uint64_t id) const;
		/// The node's attributes; throws std::out_of_range when `id` is not a node.
		Properties& nodeAttributes(uint64_t id);
		const Properties& nodeAttributes(uint64_t id) const;
		/// The node's neighbour map; throws std::out_of_range when `id` is not a node.
		const Neighborhood& neighborhood(uint64_t id) const;

		/// Inserts the node under `maxNodeIdx() + 1` and returns that identifier. Throws
		/// std::overflow_error, changing nothing, when the identifiers are exhausted.
		uint64_t addNode(NodeInfo info);
		/// Inserts the node under `id` (true), or replaces an existing node's position, features and
		/// attributes keeping its edges (false). Raises `maxNodeIdx` to `id` when it is larger.
		bool addOrReplaceNode(uint64_t id, NodeInfo info);
		/// Removes the node with all its edges; nothing happens when `id` is not a node.
		void removeNode(uint64_t id);

		// Edges ------------------------------------------------------------------------------------

		/// Number of edges: an undirected edge or a self-loop counts once, a → b and b → a twice.
		/// Linear in the size of the graph.
		int numEdges() const;
		/// Adds the edge (its record fitted to the edge descriptors). Directed: replaces an edge
		/// from → to already there. Undirected: an existing edge stays as it is. Throws
		/// std::out_of_range, changing nothing, when either end is not a node.
		void addEdge(uint64_t from, uint64_t to, EdgeInfo info);
		/// Removes the edge a → b (undirected: a–b). On a directed graph the edge b → a stays.
		/// Nothing happens when there is no such edge.
		void removeEdge(uint64_t a, uint64_t b);
		// `edge` and `degree` are defined in GraphIteration.cpp.
		/// The record stored at a for b: empty for a directed edge arriving at a from b, and empty
		/// when a is not a node or has no entry for b.
		const std::optional<EdgeInfo>& edge(uint64_t a, uint64_t b) const;
		/// Number of edge ends at the node; a self-loop counts 2 on an undirected graph and once
		/// each as In and Out on a directed one. An undirected graph ignores `type`; a value outside
		/// `DegreeType` gives 0. Throws std::out_of_range when `id` is not a node.
		int degree(uint64_t id, DegreeType type) const;

		// Graph-wide settings --------------------------------------------------------------------

		Type type() const { return m_type; }
		/// Makes the graph directed; every undirected edge a–b then reads as a → b and b → a.
		void setDirected() { m_type = Type::Directed; }
		Dimension dimension() const { return m_dimension; }
		void setDimension(Dimension dimension) { m_dimension = dimension; }

		// Feature descriptors --------------------------------------------------------------------

		int numNodeFeatures() const { return static_cast<int>(m_nodeFeatures.size()); }
		int numEdgeFeatures() const { return static_cast<int>(m_edgeFeatures.size()); }
		const std::vector<FeatureDescriptor>& nodeFeatureDescriptors() const { return m_nodeFeatures; }
		const std::vector<FeatureDescriptor>& edgeFeatureDescriptors() const { return m_edgeFeatures; }
		/// Index of the first descriptor named exactly `name`, or empty.
		std::optional<int> getNodeFeatureIdx(const std::string& name) const;
		std::optional<int> getEdgeFeatureIdx(const std::string& name) const;
		/// Index of the descriptor named `name`; when there is none it is appended with
		/// `defaultValue`, which every record receives. An existing descriptor keeps its default.
		int getOrCreateNodeFeatureIdx(const std::string& name, double defaultValue);
		int getOrCreateEdgeFeatureIdx(const std::string& name, double defaultValue);
		/// Appends the descriptors (duplicates allowed) and fits every record.
		void addNodeFeatureDescriptors(std::vector<FeatureDescriptor> descriptors);
		void addEdgeFeatureDescriptors(std::vector<FeatureDescriptor> descriptors);
		/// Removes every descriptor; all feature vectors become empty, attributes stay.
		void clearFeatureDescriptors();
		/// Removes the columns with these names; unknown names are skipped.
		void removeNodeFeatures(const std::vector<std::string>& names);
		void removeEdgeFeatures(const std::vector<std::string>& names);
		/// Removes the columns at these indices (repeats count once); later columns move down.
		/// Throws std::out_of_range, changing nothing, when an index names no column.
		void removeNodeFeatures(const std::vector<uint64_t>& indices);
		void removeEdgeFeatures(const std::vector<uint64_t>& indices);

		// Visits and edits (ascending ids; defined in GraphIteration.cpp) -----------------------------

		/// Calls `f` for every node.
		void forEachNode(const std::function<void(uint64_t, const NodeInfo&)>& f) const;
		void forEachNode(const std::function<void(uint64_t, const NodeInfo&, const Neighborhood&)>& f) const;
		/// Walks the nodes reachable from `start` along engaged entries (outgoing edges on a directed
		/// graph), each once, breadth- or depth-first, passing the edge through which a node was
		/// first reached (null for the start). Throws std::out_of_range when `start` is not a node.
		void forEachNode(const std::function<void(uint64_t, const NodeInfo&, const EdgeInfo*)>& f, uint64_t start,
		                 TraversalStrategy strategy) const;
		void forEachNode(const std::function<void(uint64_t, const NodeInfo&)>& f, uint64_t start, TraversalStrategy strategy) const;

		/// Calls `f` once per edge: a directed edge at its source, an undirected edge with from ≤ to.
		void forEachEdge(const std::function<void(const EdgeInfo&, uint64_t, uint64_t)>& f) const;
		void forEachEdge(const std::function<void(const EdgeInfo&, const NodeInfo&, const NodeInfo&)>& f) const;
		void forEachEdge(const std::function<void(const EdgeInfo&, uint64_t, const NodeInfo&, uint64_t, const NodeInfo&)>& f) const;

		/// Lets `f` edit every node; each record is fitted afterwards.
		void editEachNode(const std::function<void(uint64_t, NodeInfo&)>& f);
		void editEachNode(const std::function<void(uint64_t, NodeInfo&, const Neighborhood&)>& f);
		/// Lets `f` edit the node's record, then fits it; nothing happens when `id` is not a node.
		void editNode(uint64_t id, const std::function<void(NodeInfo&)>& f);
		/// Lets `f` edit every edge (the same edges as `forEachEdge`); each record is fitted and, on an
		/// undirected graph, copied to its mirror entry.
		void editEachEdge(const std::function<void(EdgeInfo&, uint64_t, uint64_t)>& f);
		void editEachEdge(const std::function<void(EdgeInfo&, const NodeInfo&, const NodeInfo&)>& f);
		void editEachEdge(const std::function<void(EdgeInfo&, uint64_t, const NodeInfo&, uint64_t, const NodeInfo&)>& f);
		/// Lets `f` edit the edge stored at a for b, then fits it and (undirected) mirrors it. Nothing
		/// happens when there is no such entry or it is the empty entry of an arriving directed edge.
		void editEdge(uint64_t a, uint64_t b, const std::function<void(EdgeInfo&)>& f);

		/// Walks a path from `start`: at each node the chooser picks the next node among the
		/// neighbours reached through engaged entries that the walk has not visited yet. Nothing
		/// happens when `start` is not a node.
		void traverse(uint64_t start, const PathChooser& chooser) const;
		void traverse(uint64_t start,
		              const std::function<const NodeInfo*(uint64_t, const NodeInfo&, const std::vector<const NodeInfo*>&)>& chooser) const;
		void traverse(uint64_t start, const std::function<const NodeInfo*(const std::vector<const NodeInfo*>&)>& chooser) const;

	protected:
		/// Resizes the record's features to the descriptor count, new slots taking the defaults.
		void fixNodeInfo(NodeInfo& info) const;
		void fixEdgeInfo(EdgeInfo& info) const;

	private:
		// Restores the maximum identifier of a stored graph, which may exceed every stored node.
		friend class GraphQuorvaleFilePlugin;

		NodeEntry& entryAt(uint64_t id);
		const NodeEntry& entryAt(uint64_t id) const;
		/// Fits every node record, respectively every stored edge record (both copies of an undirected edge).
		void fixAllNodeInfos();
		void fixAllEdgeInfos();

		template <typename F>
		void visitEdges(F&& f) const;
		template <typename F>
		void visitEdgesForEdit(F&& f);

		uint64_t m_maxNodeIdx = 0;
		std::map<uint64_t, NodeEntry> m_nodes;
		Type m_type = Type::Undirected;
		Dimension m_dimension = Dimension::ThreeD;
		std::vector<FeatureDescriptor> m_nodeFeatures;
		std::vector<FeatureDescriptor> m_edgeFeatures;
	};
}
