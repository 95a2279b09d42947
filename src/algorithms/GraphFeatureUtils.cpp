#include "src/algorithms/GraphFeatureUtils.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <limits>
#include <queue>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include <fmt/format.h>

#include "host/core/Log.h"
#include "src/algorithms/GraphFeatures.h"

namespace Quorvale::GraphUtils
{
	namespace
	{
		/// The default category, the one users' log filters know these messages by.
		const char* const kCategory = "";

		/// The tables of a finished shortest-path search. Nodes not in `distances` are at infinite
		/// distance.
		struct SearchTables
		{
			std::unordered_map<uint64_t, double> distances;
			std::unordered_map<uint64_t, uint64_t> predecessors;

			double distanceOf(uint64_t node) const
			{
				const auto it = distances.find(node);
				return it == distances.end() ? std::numeric_limits<double>::infinity() : it->second;
			}
		};

		/// Dijkstra from `start` over edge column `lengthIdx` until `end` is popped; nullopt (logged)
		/// when it meets a negative length.
		std::optional<SearchTables> searchFrom(const Graph& graph, uint64_t start, uint64_t end, size_t lengthIdx)
		{
			// The heap keeps stale pairs and skips them when popped instead of lowering keys; ties pop
			// the smaller identifier first.
			SearchTables tables;
			using Item = std::pair<double, uint64_t>;
			std::priority_queue<Item, std::vector<Item>, std::greater<Item>> heap;
			tables.distances[start] = 0.0;
			heap.emplace(0.0, start);
			while (!heap.empty())
			{
				const auto [d, u] = heap.top();
				heap.pop();
				if (u == end)
					break;
				if (d > tables.distanceOf(u))
					continue;
				for (const auto& [v, edge] : graph.neighborhood(u))
				{
					if (!edge)
						continue;
					const double length = edge->features()[lengthIdx];
					if (length < 0.0)
					{
						Log::log(Log::Error, kCategory, fmt::format("Negative edge length detected between nodes {} and {} .", u, v));
						return std::nullopt;
					}
					if (d + length < tables.distanceOf(v))
					{
						tables.distances[v] = d + length;
						tables.predecessors[v] = u;
						heap.emplace(d + length, v);
					}
				}
			}
			return tables;
		}

		/// The path from `start` to `end` read back through the predecessors; nullopt (logged) when
		/// the chain breaks.
		std::optional<PathDistance> pathTo(const SearchTables& tables, uint64_t start, uint64_t end)
		{
			PathDistance result;
			result.distance = tables.distanceOf(end);
			result.path.push_back(end);
			for (uint64_t node = end; node != start;)
			{
				const auto it = tables.predecessors.find(node);
				// The second test only guards against a predecessor cycle, which a search over
				// non-negative lengths cannot build.
				if (it == tables.predecessors.end() || result.path.size() > tables.predecessors.size())
				{
					Log::log(Log::Error, kCategory, fmt::format("Path reconstruction failed: node{}has no predecessor.", node));
					return std::nullopt;
				}
				node = it->second;
				result.path.push_back(node);
			}
			std::reverse(result.path.begin(), result.path.end());
			return result;
		}
	}

	void computeDiameters(Graph& graph, const SharedImage& labelImage, bool averageZeroEdges, double threshold)
	{
		GraphFeatures::computeDiameters(graph, labelImage, averageZeroEdges, threshold);
	}

	std::optional<PathDistance> shortestGeometricPath(Graph& graph, uint64_t start, uint64_t end)
	{
		if (!graph.hasNode(start) || !graph.hasNode(end))
		{
			Log::log(Log::Error, kCategory, "Invalid start or end node provided to shortestGeometricPath.");
			return std::nullopt;
		}
		if (start == end)
			return PathDistance{{start}, 0.0};

		const std::optional<int> existing = graph.getEdgeFeatureIdx("length");
		const auto lengthIdx = static_cast<size_t>(existing ? *existing : GraphFeatures::computeEdgeLengths(graph));
		const std::optional<SearchTables> tables = searchFrom(graph, start, end, lengthIdx);
		if (!tables || tables->distanceOf(end) == std::numeric_limits<double>::infinity())
			return std::nullopt;
		return pathTo(*tables, start, end);
	}

	bool multipleTargetShortestPaths(Graph& graph, std::set<uint64_t> sources, const std::set<uint64_t>& blocked,
	                                 const std::string& attributeName)
	{
		for (uint64_t source : sources)
			graph.node(source); // throws std::out_of_range before anything changes
		graph.editEachNode([&attributeName](uint64_t, Graph::NodeInfo& info) { info.attributes().removeParam(attributeName); });

		std::deque<uint64_t> queue(sources.begin(), sources.end());
		for (uint64_t source : sources)
			graph.nodeAttributes(source).setParam(attributeName, 0);
		// The source set goes on as the set of queued nodes.
		std::set<uint64_t>& queued = sources;
		std::unordered_set<uint64_t> visited;
		while (!queued.empty())
		{
			const uint64_t u = queue.front();
			queue.pop_front();
			queued.erase(u);
			visited.insert(u);
			const int hops = graph.nodeAttributes(u).param<int>(attributeName).value_or(0);
			for (const auto& [v, edge] : graph.neighborhood(u))
			{
				if (visited.count(v) != 0 || queued.count(v) != 0 || blocked.count(v) != 0)
					continue;
				graph.nodeAttributes(v).setParam(attributeName, hops + 1);
				queued.insert(v);
				queue.push_back(v);
			}
		}
		return true;
	}

	bool multipleSourceShortestPaths(Graph& graph, const std::set<uint64_t>& sources, const std::set<uint64_t>& blocked,
	                                 const std::string& attributeName)
	{
		return multipleTargetShortestPaths(graph, sources, blocked, attributeName);
	}

	bool singleSourceShortestPaths(Graph& graph, uint64_t node, const std::set<uint64_t>& blocked, const std::string& attributeName)
	{
		return multipleTargetShortestPaths(graph, {node}, blocked, attributeName);
	}

	bool singleTargetShortestPaths(Graph& graph, uint64_t node, const std::set<uint64_t>& blocked, const std::string& attributeName)
	{
		return multipleTargetShortestPaths(graph, {node}, blocked, attributeName);
	}

	std::optional<std::vector<uint64_t>> shortestPath(const Graph& graph, uint64_t node, const std::string& attributeName)
	{
		const std::optional<int> own = graph.nodeAttributes(node).param<int>(attributeName);
		if (!own)
			return std::nullopt;

		std::vector<uint64_t> path;
		int64_t current = *own;
		graph.traverse(node,
		               [&](uint64_t id, const Graph::NodeInfo&, const std::vector<const Graph::NodeInfo*>& candidates,
		                   const std::vector<uint64_t>&) -> const Graph::NodeInfo*
		               {
			               for (const Graph::NodeInfo* candidate : candidates)
			               {
				               const std::optional<int> hops = candidate->attributes().param<int>(attributeName);
				               if (hops && *hops == current - 1)
				               {
					               path.push_back(id);
					               current = *hops;
					               return candidate;
				               }
			               }
			               return nullptr;
		               });
		if (path.empty())
			return path;

		// The walk appends a node only when it steps on from it, so the node it stopped on is still
		// missing: add the first neighbour of the last node that is one count lower.
		const int64_t last = graph.nodeAttributes(path.back()).param<int>(attributeName).value_or(0);
		for (const auto& [neighbor, edge] : graph.neighborhood(path.back()))
		{
			const std::optional<int> hops = graph.nodeAttributes(neighbor).param<int>(attributeName);
			if (hops && *hops + int64_t{1} == last)
			{
				path.push_back(neighbor);
				break;
			}
		}
		return path;
	}
}
