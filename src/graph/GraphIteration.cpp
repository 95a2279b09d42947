// Visits, editing callbacks, walks and single-edge queries of Graph (declared in Graph.h; the rest
// of the class is in Graph.cpp).
#include "src/graph/Graph.h"

#include <algorithm>
#include <deque>
#include <unordered_set>
#include <utility>

namespace Quorvale
{
	// One edge visit per stored edge: a directed edge at its source, an undirected edge from the copy
	// at its lower end (a self-loop once). `f` receives (edge, from id, from entry, to id).
	template <typename F>
	void Graph::visitEdges(F&& f) const
	{
		const bool undirected = m_type == Type::Undirected;
		for (const auto& [a, entry] : m_nodes)
			for (const auto& [b, edge] : entry.neighborhood)
			{
				if (!edge || (undirected && a > b))
					continue;
				f(*edge, a, entry, b);
			}
	}

	// The editing twin of `visitEdges`: after `f` the record is fitted and an undirected edge's copy
	// at the higher end is overwritten with it, so both copies stay equal.
	template <typename F>
	void Graph::visitEdgesForEdit(F&& f)
	{
		const bool undirected = m_type == Type::Undirected;
		for (auto& [a, entry] : m_nodes)
			for (auto& [b, edge] : entry.neighborhood)
			{
				if (!edge || (undirected && a > b))
					continue;
				f(*edge, a, static_cast<const NodeEntry&>(entry), b);
				fixEdgeInfo(*edge);
				if (undirected && a < b)
					entryAt(b).neighborhood[a] = *edge;
			}
	}

	// Node visits ----------------------------------------------------------------------------------

	void Graph::forEachNode(const std::function<void(uint64_t, const NodeInfo&)>& f) const
	{
		for (const auto& [id, entry] : m_nodes)
			f(id, entry.info);
	}

	void Graph::forEachNode(const std::function<void(uint64_t, const NodeInfo&, const Neighborhood&)>& f) const
	{
		for (const auto& [id, entry] : m_nodes)
			f(id, entry.info, entry.neighborhood);
	}

	void Graph::forEachNode(const std::function<void(uint64_t, const NodeInfo&, const EdgeInfo*)>& f, uint64_t start,
	                        TraversalStrategy strategy) const
	{
		// Nodes are marked when queued, so each is visited once and its edge pointer is the edge
		// through which it was first reached. Taking from the back turns the queue into a stack.
		const bool breadthFirst = strategy == TraversalStrategy::BreadthFirst;
		std::deque<std::pair<uint64_t, const EdgeInfo*>> pending;
		std::unordered_set<uint64_t> queued;
		pending.emplace_back(start, nullptr);
		queued.insert(start);
		while (!pending.empty())
		{
			std::pair<uint64_t, const EdgeInfo*> current;
			if (breadthFirst)
			{
				current = pending.front();
				pending.pop_front();
			}
			else
			{
				current = pending.back();
				pending.pop_back();
			}
			const NodeEntry& entry = entryAt(current.first);
			f(current.first, entry.info, current.second);
			for (const auto& [neighbor, edge] : entry.neighborhood)
				if (edge && queued.insert(neighbor).second)
					pending.emplace_back(neighbor, &*edge);
		}
	}

	void Graph::forEachNode(const std::function<void(uint64_t, const NodeInfo&)>& f, uint64_t start, TraversalStrategy strategy) const
	{
		forEachNode([&f](uint64_t id, const NodeInfo& info, const EdgeInfo*) { f(id, info); }, start, strategy);
	}

	// Edge visits ----------------------------------------------------------------------------------

	void Graph::forEachEdge(const std::function<void(const EdgeInfo&, uint64_t, uint64_t)>& f) const
	{
		visitEdges([&f](const EdgeInfo& edge, uint64_t a, const NodeEntry&, uint64_t b) { f(edge, a, b); });
	}

	void Graph::forEachEdge(const std::function<void(const EdgeInfo&, const NodeInfo&, const NodeInfo&)>& f) const
	{
		visitEdges([&](const EdgeInfo& edge, uint64_t, const NodeEntry& from, uint64_t b) { f(edge, from.info, entryAt(b).info); });
	}

	void Graph::forEachEdge(const std::function<void(const EdgeInfo&, uint64_t, const NodeInfo&, uint64_t, const NodeInfo&)>& f) const
	{
		visitEdges([&](const EdgeInfo& edge, uint64_t a, const NodeEntry& from, uint64_t b) { f(edge, a, from.info, b, entryAt(b).info); });
	}

	// Edits ----------------------------------------------------------------------------------------

	void Graph::editEachNode(const std::function<void(uint64_t, NodeInfo&)>& f)
	{
		for (auto& [id, entry] : m_nodes)
		{
			f(id, entry.info);
			fixNodeInfo(entry.info);
		}
	}

	void Graph::editEachNode(const std::function<void(uint64_t, NodeInfo&, const Neighborhood&)>& f)
	{
		for (auto& [id, entry] : m_nodes)
		{
			f(id, entry.info, entry.neighborhood);
			fixNodeInfo(entry.info);
		}
	}

	void Graph::editNode(uint64_t id, const std::function<void(NodeInfo&)>& f)
	{
		auto it = m_nodes.find(id);
		if (it == m_nodes.end())
			return;
		f(it->second.info);
		fixNodeInfo(it->second.info);
	}

	void Graph::editEachEdge(const std::function<void(EdgeInfo&, uint64_t, uint64_t)>& f)
	{
		visitEdgesForEdit([&f](EdgeInfo& edge, uint64_t a, const NodeEntry&, uint64_t b) { f(edge, a, b); });
	}

	void Graph::editEachEdge(const std::function<void(EdgeInfo&, const NodeInfo&, const NodeInfo&)>& f)
	{
		visitEdgesForEdit([&](EdgeInfo& edge, uint64_t, const NodeEntry& from, uint64_t b) { f(edge, from.info, entryAt(b).info); });
	}

	void Graph::editEachEdge(const std::function<void(EdgeInfo&, uint64_t, const NodeInfo&, uint64_t, const NodeInfo&)>& f)
	{
		visitEdgesForEdit([&](EdgeInfo& edge, uint64_t a, const NodeEntry& from, uint64_t b)
		                  { f(edge, a, from.info, b, entryAt(b).info); });
	}

	void Graph::editEdge(uint64_t a, uint64_t b, const std::function<void(EdgeInfo&)>& f)
	{
		auto it = m_nodes.find(a);
		if (it == m_nodes.end())
			return;
		auto entry = it->second.neighborhood.find(b);
		if (entry == it->second.neighborhood.end())
			return;
		if (entry->second)
		{
			f(*entry->second);
			fixEdgeInfo(*entry->second);
		}
		if (m_type == Type::Undirected && a != b)
			entryAt(b).neighborhood[a] = entry->second;
	}

	// Path walk ------------------------------------------------------------------------------------

	void Graph::traverse(uint64_t start, const PathChooser& chooser) const
	{
		auto found = m_nodes.find(start);
		if (found == m_nodes.end())
			return;
		uint64_t currentId = start;
		const NodeEntry* current = &found->second;
		// A hash set makes "already visited" a constant-time test, so a walk is linear in its length
		// however long the chain (and no node is ever offered twice).
		std::unordered_set<uint64_t> visited;
		std::vector<const NodeInfo*> candidates;
		std::vector<uint64_t> candidateIds;
		std::vector<const NodeEntry*> candidateEntries;
		while (true)
		{
			visited.insert(currentId);
			candidates.clear();
			candidateIds.clear();
			candidateEntries.clear();
			for (const auto& [neighbor, edge] : current->neighborhood)
			{
				if (!edge || visited.count(neighbor) != 0)
					continue;
				const NodeEntry& entry = entryAt(neighbor);
				candidates.push_back(&entry.info);
				candidateIds.push_back(neighbor);
				candidateEntries.push_back(&entry);
			}
			const NodeInfo* chosen = chooser(currentId, current->info, candidates, candidateIds);
			if (!chosen)
				return;
			auto pick = std::find(candidates.begin(), candidates.end(), chosen);
			if (pick == candidates.end())
				return;
			const auto i = static_cast<size_t>(pick - candidates.begin());
			currentId = candidateIds[i];
			current = candidateEntries[i];
		}
	}

	void
	Graph::traverse(uint64_t start,
	                const std::function<const NodeInfo*(uint64_t, const NodeInfo&, const std::vector<const NodeInfo*>&)>& chooser) const
	{
		traverse(start, [&chooser](uint64_t id, const NodeInfo& info, const std::vector<const NodeInfo*>& candidates,
		                           const std::vector<uint64_t>&) { return chooser(id, info, candidates); });
	}

	void Graph::traverse(uint64_t start, const std::function<const NodeInfo*(const std::vector<const NodeInfo*>&)>& chooser) const
	{
		traverse(start, [&chooser](uint64_t, const NodeInfo&, const std::vector<const NodeInfo*>& candidates, const std::vector<uint64_t>&)
		         { return chooser(candidates); });
	}

	// Single queries -------------------------------------------------------------------------------

	const std::optional<Graph::EdgeInfo>& Graph::edge(uint64_t a, uint64_t b) const
	{
		static const std::optional<EdgeInfo> none;
		auto it = m_nodes.find(a);
		if (it == m_nodes.end())
			return none;
		auto entry = it->second.neighborhood.find(b);
		return entry == it->second.neighborhood.end() ? none : entry->second;
	}

	int Graph::degree(uint64_t id, DegreeType type) const
	{
		const Neighborhood& neighbors = entryAt(id).neighborhood;
		const int selfLoop = neighbors.count(id) != 0 ? 1 : 0;
		if (m_type == Type::Undirected)
			return static_cast<int>(neighbors.size()) + selfLoop;
		int out = 0;
		int arriving = 0;
		for (const auto& [neighbor, edge] : neighbors)
			(edge ? out : arriving) += 1;
		// An engaged entry counts only as outgoing, also when the neighbour has an edge back; only
		// the self-loop is both.
		const int in = arriving + selfLoop;
		switch (type)
		{
			case DegreeType::Total: return out + in;
			case DegreeType::In: return in;
			case DegreeType::Out: return out;
		}
		return 0;
	}
}
