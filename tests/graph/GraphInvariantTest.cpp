// Seeded random sequences of edits, checked after every step against the storage invariant and
// against a plain model of which nodes and edges the graph should hold.
#include "src/graph/Graph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

using namespace Quorvale;

namespace
{
	using Key = std::pair<uint64_t, uint64_t>;
	using Features = std::vector<double>;

	/// What the graph should contain: node features, and edge features keyed as `forEachEdge`
	/// reports them (directed: (from, to); undirected: (lower, higher)).
	struct Model
	{
		bool directed = false;
		uint64_t maxId = 0;
		std::map<uint64_t, Features> nodes;
		std::map<Key, Features> edges;
		std::vector<Graph::FeatureDescriptor> nodeColumns;
		std::vector<Graph::FeatureDescriptor> edgeColumns{{"diameter", 0.0}};

		Key key(uint64_t a, uint64_t b) const { return directed ? Key{a, b} : Key{std::min(a, b), std::max(a, b)}; }

		static void fit(Features& f, const std::vector<Graph::FeatureDescriptor>& columns)
		{
			const size_t old = f.size();
			f.resize(columns.size());
			for (size_t i = old; i < columns.size(); ++i)
				f[i] = columns[i].defaultValue;
		}

		void fitAll()
		{
			for (auto& [id, f] : nodes)
				fit(f, nodeColumns);
			for (auto& [k, f] : edges)
				fit(f, edgeColumns);
		}
	};

	/// Checks every stored entry against its mirror entry and collects the node records into
	/// `nodes`; returns the last problem seen.
	std::string storageProblem(const Graph& graph, const Model& model, std::map<uint64_t, Features>& nodes)
	{
		const bool undirected = graph.type() == Graph::Type::Undirected;
		std::string problem;
		graph.forEachNode(
		    [&](uint64_t a, const Graph::NodeInfo& info, const Graph::Neighborhood& neighbors)
		    {
			    nodes.emplace(a, info.features());
			    if (a > graph.maxNodeIdx())
				    problem = "node above maxNodeIdx";
			    for (const auto& [b, edge] : neighbors)
			    {
				    if (!graph.hasNode(b))
				    {
					    problem = "neighbour key " + std::to_string(b) + " of " + std::to_string(a) + " is not a node";
					    return;
				    }
				    if (edge && edge->features().size() != model.edgeColumns.size())
					    problem = "edge record not fitted";
				    const auto& back = graph.neighborhood(b);
				    const auto mirror = back.find(a);
				    if (mirror == back.end())
				    {
					    problem = "entry " + std::to_string(a) + "->" + std::to_string(b) + " has no reverse entry";
					    continue;
				    }
				    if (undirected)
				    {
					    if (!edge || !mirror->second)
						    problem = "disengaged entry on an undirected graph";
					    else if (edge->features() != mirror->second->features() ||
					             !edge->attributes().compareWith(mirror->second->attributes()))
						    problem = "copies of edge " + std::to_string(a) + "-" + std::to_string(b) + " differ";
				    }
				    else if (!edge && !mirror->second)
					    problem = "both entries of " + std::to_string(a) + "," + std::to_string(b) + " are empty";
			    }
		    });
		return problem;
	}

	/// Compares the edge visits with the model's edges.
	std::string edgeProblem(const Graph& graph, const Model& model)
	{
		std::map<Key, Features> edges;
		int visits = 0;
		graph.forEachEdge(
		    [&](const Graph::EdgeInfo& e, uint64_t a, uint64_t b)
		    {
			    ++visits;
			    edges.emplace(Key{a, b}, e.features());
		    });
		if (visits != static_cast<int>(edges.size()))
			return "an edge was visited twice";
		if (graph.numEdges() != visits)
			return "numEdges " + std::to_string(graph.numEdges()) + " but " + std::to_string(visits) + " edge visits";
		if (edges != model.edges)
			return "edge set or edge features differ";
		return {};
	}

	/// Checks the storage invariant and compares the graph with the model; returns the first problem.
	std::string compare(const Graph& graph, const Model& model)
	{
		const bool undirected = graph.type() == Graph::Type::Undirected;
		if (undirected == model.directed)
			return "type differs";
		if (graph.maxNodeIdx() != model.maxId)
			return "maxNodeIdx " + std::to_string(graph.maxNodeIdx()) + ", expected " + std::to_string(model.maxId);
		if (graph.numNodeFeatures() != static_cast<int>(model.nodeColumns.size()) ||
		    graph.numEdgeFeatures() != static_cast<int>(model.edgeColumns.size()))
			return "descriptor count differs";

		std::map<uint64_t, Features> nodes;
		const std::string problem = storageProblem(graph, model, nodes);
		if (!problem.empty())
			return problem;
		for (const auto& [id, f] : nodes)
			if (f.size() != model.nodeColumns.size())
				return "node record not fitted";
		if (nodes != model.nodes)
			return "node set or node features differ";
		return edgeProblem(graph, model);
	}

	class RandomEditor
	{
	public:
		RandomEditor(unsigned seed, Graph::Type type)
		    : m_random(seed)
		    , m_graph(type)
		{
			m_model.directed = type == Graph::Type::Directed;
		}

		void run(int steps)
		{
			for (int step = 0; step < steps; ++step)
			{
				const std::string action = applyOne();
				const std::string problem = compare(m_graph, m_model);
				ASSERT_TRUE(problem.empty()) << "step " << step << " (" << action << "): " << problem;
			}
		}

	private:
		int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }
		double value() { return static_cast<double>(below(100)); }
		Features someFeatures() // deliberately of the wrong length now and then
		{
			Features f(static_cast<size_t>(below(4)));
			for (auto& x : f)
				x = value();
			return f;
		}
		/// Mostly an existing node, sometimes an identifier that is not (or no longer) one.
		uint64_t someId() { return static_cast<uint64_t>(below(static_cast<int>(m_model.maxId) + 3)); }
		uint64_t someNode()
		{
			if (m_model.nodes.empty() || below(10) == 0)
				return someId();
			auto it = m_model.nodes.begin();
			std::advance(it, below(static_cast<int>(m_model.nodes.size())));
			return it->first;
		}

		std::string applyOne()
		{
			// Keep the graph small enough that edges meet often.
			const bool crowded = m_model.nodes.size() > 40;
			switch (below(16))
			{
				case 0:
				case 1: return addNode(crowded);
				case 2: return addOrReplaceNode();
				case 3: return removeNode();
				case 4:
				case 5:
				case 6:
				case 7: return addEdge();
				case 8:
				case 9: return removeEdge();
				case 10: return editEachEdge();
				case 11: return editEdge();
				case 12: return editEachNode();
				case 13: return addFeatureDescriptors();
				case 14: return removeColumns();
				default: return editSettings();
			}
		}

		std::string addNode(bool crowded)
		{
			if (crowded)
				return removeNode();
			Features f = someFeatures();
			const uint64_t id = m_graph.addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), f));
			m_model.maxId = id;
			Model::fit(f, m_model.nodeColumns);
			m_model.nodes[id] = f;
			return "addNode";
		}

		std::string addOrReplaceNode()
		{
			const uint64_t id = someId() + static_cast<uint64_t>(below(2)) * 5;
			Features f = someFeatures();
			const bool inserted = m_graph.addOrReplaceNode(id, Graph::NodeInfo(Eigen::Vector3d::Zero(), f));
			EXPECT_EQ(inserted, m_model.nodes.count(id) == 0);
			Model::fit(f, m_model.nodeColumns);
			m_model.nodes[id] = f;
			m_model.maxId = std::max(m_model.maxId, id);
			return "addOrReplaceNode";
		}

		std::string addEdge()
		{
			const uint64_t a = someNode();
			const uint64_t b = below(8) == 0 ? a : someNode();
			Features f = someFeatures();
			const bool valid = m_model.nodes.count(a) && m_model.nodes.count(b);
			try
			{
				m_graph.addEdge(a, b, Graph::EdgeInfo(f));
				EXPECT_TRUE(valid) << "addEdge(" << a << ", " << b << ") accepted a missing node";
			}
			catch (const std::out_of_range&)
			{
				EXPECT_FALSE(valid) << "addEdge(" << a << ", " << b << ") refused existing nodes";
			}
			if (valid)
			{
				Model::fit(f, m_model.edgeColumns);
				const Key k = m_model.key(a, b);
				if (m_model.directed)
					m_model.edges[k] = f;
				else
					m_model.edges.emplace(k, f);
			}
			return "addEdge";
		}

		std::string removeEdge()
		{
			// Prefer existing edges so that removals actually happen.
			uint64_t a = someNode();
			uint64_t b = someNode();
			if (!m_model.edges.empty() && below(3) != 0)
			{
				auto it = m_model.edges.begin();
				std::advance(it, below(static_cast<int>(m_model.edges.size())));
				a = it->first.first;
				b = it->first.second;
				if (below(2) == 0)
					std::swap(a, b);
			}
			m_graph.removeEdge(a, b);
			if (m_model.nodes.count(a) && m_model.nodes.count(b))
				m_model.edges.erase(m_model.key(a, b));
			return "removeEdge";
		}

		std::string editEachEdge()
		{
			const double step = value();
			m_graph.editEachEdge(
			    [step](Graph::EdgeInfo& e, uint64_t a, uint64_t b)
			    {
				    for (auto& x : e.features())
					    x += step + static_cast<double>(a) - static_cast<double>(b);
				    e.features().push_back(-1.0); // dropped again by the fitting
				    e.attributes().setParam("last", static_cast<int>(step));
			    });
			for (auto& [k, f] : m_model.edges)
				for (auto& x : f)
					x += step + static_cast<double>(k.first) - static_cast<double>(k.second);
			return "editEachEdge";
		}

		std::string editEdge()
		{
			const uint64_t a = someNode();
			const uint64_t b = someNode();
			const double v = value();
			m_graph.editEdge(a, b,
			                 [v](Graph::EdgeInfo& e)
			                 {
				                 e.features().assign(1, v);
				                 e.attributes().setParam("single", v);
			                 });
			auto it = m_model.edges.find(Key{a, b});
			if (it == m_model.edges.end() && !m_model.directed)
				it = m_model.edges.find(Key{b, a});
			if (it != m_model.edges.end())
			{
				it->second.assign(1, v);
				Model::fit(it->second, m_model.edgeColumns);
			}
			return "editEdge";
		}

		std::string editEachNode()
		{
			const double v = value();
			m_graph.editEachNode([v](uint64_t id, Graph::NodeInfo& n) { n.features().assign(static_cast<size_t>(id % 4), v); });
			for (auto& [id, f] : m_model.nodes)
			{
				f.assign(static_cast<size_t>(id % 4), v);
				Model::fit(f, m_model.nodeColumns);
			}
			return "editEachNode";
		}

		std::string addFeatureDescriptors()
		{
			const bool nodes = below(2) == 0;
			auto& columns = nodes ? m_model.nodeColumns : m_model.edgeColumns;
			if (columns.size() > 5)
				return "skip";
			std::vector<Graph::FeatureDescriptor> added;
			for (int i = below(3); i > 0; --i)
				added.push_back({"f" + std::to_string(below(6)), value()});
			if (nodes)
				m_graph.addNodeFeatureDescriptors(added);
			else
				m_graph.addEdgeFeatureDescriptors(added);
			columns.insert(columns.end(), added.begin(), added.end());
			m_model.fitAll();
			return "addFeatureDescriptors";
		}

		std::string editSettings()
		{
			if (below(20) == 0)
			{
				m_graph.clearFeatureDescriptors();
				m_model.nodeColumns.clear();
				m_model.edgeColumns.clear();
				m_model.fitAll();
				return "clearFeatureDescriptors";
			}
			if (below(30) == 0 && !m_model.directed)
			{
				m_graph.setDirected();
				m_model.directed = true;
				std::map<Key, Features> both;
				for (const auto& [k, f] : m_model.edges)
				{
					both[k] = f;
					both[Key{k.second, k.first}] = f;
				}
				m_model.edges = both;
				return "setDirected";
			}
			const std::string name = "f" + std::to_string(below(6));
			const double v = value();
			const int idx = m_graph.getOrCreateEdgeFeatureIdx(name, v);
			auto& columns = m_model.edgeColumns;
			auto found = std::find_if(columns.begin(), columns.end(), [&](const auto& d) { return d.name == name; });
			EXPECT_EQ(idx, found == columns.end() ? static_cast<int>(columns.size()) : static_cast<int>(found - columns.begin()));
			if (found == columns.end())
			{
				columns.push_back({name, v});
				m_model.fitAll();
			}
			return "getOrCreateEdgeFeatureIdx";
		}

		std::string removeNode()
		{
			const uint64_t id = someNode();
			m_graph.removeNode(id);
			m_model.nodes.erase(id);
			for (auto it = m_model.edges.begin(); it != m_model.edges.end();)
				it = (it->first.first == id || it->first.second == id) ? m_model.edges.erase(it) : std::next(it);
			return "removeNode";
		}

		std::string removeColumns()
		{
			const bool nodes = below(2) == 0;
			auto& columns = nodes ? m_model.nodeColumns : m_model.edgeColumns;
			std::vector<uint64_t> indices;
			for (int i = below(3); i > 0; --i)
				indices.push_back(static_cast<uint64_t>(below(static_cast<int>(columns.size()) + 1)));
			const bool valid = std::all_of(indices.begin(), indices.end(), [&](uint64_t i) { return i < columns.size(); });
			try
			{
				if (nodes)
					m_graph.removeNodeFeatures(indices);
				else
					m_graph.removeEdgeFeatures(indices);
				EXPECT_TRUE(valid);
			}
			catch (const std::out_of_range&)
			{
				EXPECT_FALSE(valid);
				return "removeFeatures (refused)";
			}
			const auto keep = [&](size_t i) { return std::find(indices.begin(), indices.end(), i) == indices.end(); };
			const auto drop = [&](auto& values)
			{
				size_t kept = 0;
				for (size_t i = 0; i < values.size(); ++i)
					if (keep(i))
						values[kept++] = values[i];
				values.resize(kept);
			};
			drop(columns);
			if (nodes)
				for (auto& [id, f] : m_model.nodes)
					drop(f);
			else
				for (auto& [k, f] : m_model.edges)
					drop(f);
			return "removeFeatures";
		}

		std::mt19937 m_random;
		Graph m_graph;
		Model m_model;
	};
}

TEST(GraphInvariantTest, RandomEditsOnUndirectedGraphs)
{
	for (unsigned seed : {1u, 2u, 3u, 4u, 5u})
	{
		SCOPED_TRACE("seed " + std::to_string(seed));
		RandomEditor(seed, Graph::Type::Undirected).run(3000);
	}
}

TEST(GraphInvariantTest, RandomEditsOnDirectedGraphs)
{
	for (unsigned seed : {11u, 12u, 13u, 14u, 15u})
	{
		SCOPED_TRACE("seed " + std::to_string(seed));
		RandomEditor(seed, Graph::Type::Directed).run(3000);
	}
}
