#include "src/algorithms/MinimumSpanningTree.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <optional>
#include <utility>

#include "host/core/Log.h"
#include "src/algorithms/GraphFeatures.h"
#include "src/graph/GraphUtils.h"

namespace Quorvale::MinimumSpanningTree
{
	namespace
	{
		/// The default category, the one users' log filters know these messages by.
		const char* const kCategory = "";

		/// 1 / v, and 100 for a weight of exactly 0, so that weightless edges sort after every edge
		/// of weight above 0.01 instead of first.
		double zeroSafeInverse(double v) { return v == 0.0 ? 100.0 : 1.0 / v; }

		/// Sets column `keyIdx` of every edge to `key(features)`.
		template <typename F>
		void writeKeys(Graph& graph, int keyIdx, F&& key)
		{
			const size_t k = static_cast<size_t>(keyIdx);
			graph.editEachEdge([&](Graph::EdgeInfo& edge, uint64_t, uint64_t) { edge.features()[k] = key(edge.features()); });
		}

		/// Sets column `keyIdx` of every edge to the zero-safe inverse of its column `weightIdx`.
		void writeInverseKeys(Graph& graph, int keyIdx, int weightIdx)
		{
			writeKeys(graph, keyIdx, [weightIdx](const std::vector<double>& f) { return zeroSafeInverse(f[static_cast<size_t>(weightIdx)]); });
		}

		/// The largest value of edge column `idx`, at least 0.
		double largestValue(const Graph& graph, int idx)
		{
			double largest = 0.0;
			graph.forEachEdge([&](const Graph::EdgeInfo& edge, uint64_t, uint64_t)
			                  { largest = std::max(largest, edge.features()[static_cast<size_t>(idx)]); });
			return largest;
		}

		/// The index of the "length" column, computed from the node positions when there is none.
		int lengthColumn(Graph& graph, const std::string& name)
		{
			const std::optional<int> existing = graph.getEdgeFeatureIdx(name);
			return existing ? *existing : GraphFeatures::computeEdgeLengths(graph);
		}

		/// The index of a usable "diameter" column, measured in the label image when needed; throws
		/// `Error(missingMessage)` when there is none.
		int diameterColumn(Graph& graph, const SharedImage* labelImage, const char* missingMessage)
		{
			if (const std::optional<int> existing = graph.getEdgeFeatureIdx("diameter"))
			{
				double squares = 0.0;
				graph.forEachEdge(
				    [&](const Graph::EdgeInfo& edge, uint64_t, uint64_t)
				    { squares += edge.features()[static_cast<size_t>(*existing)] * edge.features()[static_cast<size_t>(*existing)]; });
				if (squares != 0.0)
					return *existing;
			}
			// A label map whose pixel type cannot be measured gives no column to weigh by either.
			const std::optional<int> measured = labelImage ? GraphFeatures::computeDiameters(graph, *labelImage, true, 0.5) : std::nullopt;
			if (!measured)
				throw Error(missingMessage);
			return *measured;
		}

		/// One edge for Kruskal: its key and the sequential indices of its two nodes.
		struct KruskalRecord
		{
			double key;
			uint32_t first;
			uint32_t second;
		};

		/// Union-find over sequential indices with union by rank and path halving.
		class DisjointSets
		{
		public:
			explicit DisjointSets(size_t size)
			    : m_parent(size)
			    , m_rank(size, 0)
			{
				std::iota(m_parent.begin(), m_parent.end(), 0u);
			}

			uint32_t find(uint32_t x)
			{
				while (m_parent[x] != x)
				{
					m_parent[x] = m_parent[m_parent[x]];
					x = m_parent[x];
				}
				return x;
			}

			/// Joins the sets of a and b; false when they already were one.
			bool join(uint32_t a, uint32_t b)
			{
				const uint32_t rootA = find(a);
				const uint32_t rootB = find(b);
				if (rootA == rootB)
					return false;
				if (m_rank[rootB] >= m_rank[rootA])
				{
					m_parent[rootA] = rootB;
					if (m_rank[rootB] == m_rank[rootA])
						++m_rank[rootB];
				}
				else
					m_parent[rootB] = rootA;
				return true;
			}

		private:
			std::vector<uint32_t> m_parent;
			std::vector<uint32_t> m_rank;
		};

		/// The edges Kruskal rejects over the keys in column `keyIdx`, as node identifier pairs.
		std::vector<std::pair<uint64_t, uint64_t>> rejectedEdges(const Graph& graph, int keyIdx)
		{
			// Sequential numbering: position in ascending identifier order.
			std::vector<uint64_t> ids;
			ids.reserve(static_cast<size_t>(graph.numNodes()));
			graph.forEachNode([&ids](uint64_t id, const Graph::NodeInfo&) { ids.push_back(id); });
			const auto indexOf = [&ids](uint64_t id)
			{ return static_cast<uint32_t>(std::lower_bound(ids.begin(), ids.end(), id) - ids.begin()); };

			std::vector<KruskalRecord> records;
			const size_t k = static_cast<size_t>(keyIdx);
			graph.forEachEdge(
			    [&](const Graph::EdgeInfo& edge, uint64_t a, uint64_t b) {
				    records.push_back({edge.features()[k], indexOf(a), indexOf(b)});
			    });
			// NaN keys (weights of 0/0) would break the ordering the sort relies on; they go last,
			// equal among themselves.
			std::sort(records.begin(), records.end(),
			          [](const KruskalRecord& x, const KruskalRecord& y)
			          {
				          if (std::isnan(x.key))
					          return false;
				          return std::isnan(y.key) || x.key < y.key;
			          });

			DisjointSets sets(ids.size());
			std::vector<std::pair<uint64_t, uint64_t>> rejected;
			for (const KruskalRecord& record : records)
				if (!sets.join(record.first, record.second))
					rejected.emplace_back(ids[record.first], ids[record.second]);
			return rejected;
		}

		/// Removes the chain left hanging at terminal node `end`, up to (not including) the next
		/// branch node; `dangling` is scratch.
		void removeDanglingChain(Graph& graph, uint64_t end, std::vector<uint64_t>& dangling)
		{
			dangling.clear();
			graph.traverse(end,
			               Graph::PathChooser(
			                   [&](uint64_t current, const Graph::NodeInfo&, const std::vector<const Graph::NodeInfo*>& candidates,
			                       const std::vector<uint64_t>&) -> const Graph::NodeInfo*
			                   {
				                   if (graph.neighborhood(current).size() > 2)
					                   return nullptr;
				                   dangling.push_back(current);
				                   return candidates.empty() ? nullptr : candidates.front();
			                   }));
			for (uint64_t id : dangling)
				graph.removeNode(id);
		}
	}

	double sumOfValues(const std::vector<double>& values) { return std::accumulate(values.begin(), values.end(), 0.0); }

	void edgeLengthKeys(Graph& graph, int keyIdx, const std::string& featureName, bool pruneBySegment)
	{
		Log::log(Log::Info, kCategory, "Mode: EdgeLength.");
		const int length = lengthColumn(graph, featureName);
		int weight = length;
		if (pruneBySegment)
		{
			GraphUtils::accumulateFeatureAlongSegments(graph, sumOfValues, length, "accumulatedFeature");
			weight = *graph.getEdgeFeatureIdx("accumulatedFeature");
		}
		writeInverseKeys(graph, keyIdx, weight);
	}

	void diameterKeys(Graph& graph, int keyIdx, const SharedImage* labelImage, bool pruneBySegment)
	{
		Log::log(Log::Info, kCategory, "Mode: Diameter.");
		const int diameter = diameterColumn(graph, labelImage, "Diameter edge feature is missing or empty; provide a label map to compute it.");
		writeInverseKeys(graph, keyIdx, diameter);
		if (pruneBySegment)
			GraphUtils::accumulateFeatureAlongSegments(graph, meanOfValues, keyIdx, "mstSortKey");
	}

	void weightedDiameterEdgeLengthKeys(Graph& graph, int keyIdx, const SharedImage* labelImage, bool pruneBySegment)
	{
		Log::log(Log::Info, kCategory, "Mode: WeightedDiameterEdgeLength.");
		const int diameter = diameterColumn(graph, labelImage, "Diameter edge feature is missing; provide a label map to compute it.");
		const int length = lengthColumn(graph, "length");
		// Largest diameters or lengths of 0 make keys of 0/0 = NaN; Kruskal sorts those last.
		if (!pruneBySegment)
		{
			const double maxD = largestValue(graph, diameter);
			const double maxL = largestValue(graph, length);
			writeKeys(graph, keyIdx,
			          [&](const std::vector<double>& f)
			          { return 1.0 / ((f[static_cast<size_t>(diameter)] / maxD) * (f[static_cast<size_t>(length)] / maxL)); });
			return;
		}
		GraphUtils::accumulateFeatureAlongSegments(graph, meanOfValues, diameter, "accumulatedFeature");
		GraphUtils::accumulateFeatureAlongSegments(graph, sumOfValues, length, "accumulatedEdgeLengths");
		const int a = *graph.getEdgeFeatureIdx("accumulatedFeature");
		const int b = *graph.getEdgeFeatureIdx("accumulatedEdgeLengths");
		const double maxA = largestValue(graph, a);
		const double maxB = largestValue(graph, b);
		writeKeys(graph, keyIdx,
		          [&](const std::vector<double>& f)
		          {
			          const double segmentLength = f[static_cast<size_t>(b)];
			          return segmentLength == 0.0 ? 100.0 : 1.0 / ((f[static_cast<size_t>(a)] / maxA) * (segmentLength / maxB));
		          });
	}

	void userDefinedKeys(Graph& graph, int keyIdx, const std::string& featureName, const Reduction& reduction, bool pruneBySegment)
	{
		Log::log(Log::Info, kCategory, "Mode: UserDefined.");
		const std::optional<int> feature = graph.getEdgeFeatureIdx(featureName);
		if (!feature)
			throw Error("Edge feature '" + featureName + "' not found.");
		writeInverseKeys(graph, keyIdx, *feature);
		if (pruneBySegment)
			GraphUtils::accumulateFeatureAlongSegments(graph, reduction, keyIdx, "mstSortKey");
	}

	void applyKruskalAndSegmentPrune(Graph& graph, int keyIdx, bool pruneBySegment)
	{
		std::vector<uint64_t> dangling;
		for (const auto& [a, b] : rejectedEdges(graph, keyIdx))
		{
			graph.removeEdge(a, b);
			if (!pruneBySegment)
				continue;
			for (uint64_t end : {a, b})
				if (graph.hasNode(end) && graph.neighborhood(end).size() == 1)
					removeDanglingChain(graph, end, dangling);
		}
		if (!GraphUtils::isAcyclic(graph))
			Log::log(Log::Warning, kCategory, "The spanning tree still contains a cycle.");
	}

	std::unique_ptr<Graph> byEdgeLength(const Graph& graph, bool pruneBySegment)
	{
		if (graph.type() == Graph::Type::Directed)
			throw Error("This algorithm only works for undirected graphs.");
		auto result = std::make_unique<Graph>(graph);
		const int keyIdx = result->getOrCreateEdgeFeatureIdx("mstSortKey", 0.0);
		edgeLengthKeys(*result, keyIdx, std::string(), pruneBySegment);
		applyKruskalAndSegmentPrune(*result, keyIdx, pruneBySegment);
		return result;
	}
}
