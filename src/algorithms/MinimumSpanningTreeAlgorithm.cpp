#include "src/algorithms/MinimumSpanningTreeAlgorithm.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>
#include <utility>

#include "src/algorithms/AlgorithmInputs.h"
#include "host/core/Log.h"
#include "host/lib/DataList.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "src/algorithms/ComputeCommonGraphFeaturesAlgorithm.h"
#include "src/graph/GraphUtils.h"

namespace Quorvale
{
	namespace
	{
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

		/// The largest value of edge column `idx`, at least 0.
		double largestValue(const Graph& graph, int idx)
		{
			double largest = 0.0;
			graph.forEachEdge([&](const Graph::EdgeInfo& edge, uint64_t, uint64_t)
			                  { largest = std::max(largest, edge.features()[static_cast<size_t>(idx)]); });
			return largest;
		}

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
	}

	MinimumSpanningTreeAlgorithm::MinimumSpanningTreeAlgorithm(Graph& graph, SharedImageSet* labelMap)
	    : m_graph(graph)
	    , m_labelMap(labelMap)
	    , m_reduction(meanOfValues)
	{
		weightMode.setAttribute("values", "EdgeLength, Diameter, WeightedDiameterEdgeLength, UserDefined");
		std::vector<std::string> names;
		for (const Graph::FeatureDescriptor& descriptor : graph.edgeFeatureDescriptors())
			names.push_back(descriptor.name);
		edgeFeatureName.setAttribute("values", joinStrings(names, ","));
		edgeFeatureName.setAttribute("hidden", "true");
		weightMode = WeightMode::EdgeLength;
		weightMode.signalValueChanged.connect(
		    this, [this] { edgeFeatureName.setAttribute("hidden", weightMode.value() == WeightMode::UserDefined ? "false" : "true"); });
	}

	MinimumSpanningTreeAlgorithm::~MinimumSpanningTreeAlgorithm() = default;

	bool MinimumSpanningTreeAlgorithm::createCompatible(const DataList& data, Algorithm** out)
	{
		const auto inputs = AlgorithmInputs::graphWithOptionalImage(data);
		if (!inputs)
			return false;
		if (out)
			*out = new MinimumSpanningTreeAlgorithm(*inputs->graph, inputs->image);
		return true;
	}

	void MinimumSpanningTreeAlgorithm::setReduction(const Reduction& reduction) { m_reduction = reduction; }

	double MinimumSpanningTreeAlgorithm::sumOfValues(const std::vector<double>& values)
	{
		return std::accumulate(values.begin(), values.end(), 0.0);
	}

	void MinimumSpanningTreeAlgorithm::compute()
	{
		if (m_graph.type() == Graph::Type::Directed)
		{
			// No result of an earlier run may be handed over as if it were this one's.
			m_result.reset();
			Log::log(Log::Error, {}, "This algorithm only works for undirected graphs.");
			m_status = InvalidInput;
			return;
		}
		m_result = std::make_unique<Graph>(m_graph);
		const int keyIdx = m_result->getOrCreateEdgeFeatureIdx("mstSortKey", 0.0);
		if (!buildMstSortKey(keyIdx))
		{
			Log::log(Log::Error, {}, "Failed to build MST keys.");
			return;
		}
		applyKruskalAndSegmentPrune(keyIdx);
		m_status = Success;
	}

	OwningDataList MinimumSpanningTreeAlgorithm::takeOutput()
	{
		OwningDataList out;
		out.add(std::move(m_result));
		return out;
	}

	bool MinimumSpanningTreeAlgorithm::diameterFeature(int& index, const char* missingMessage)
	{
		Graph& result = *m_result;
		if (const std::optional<int> existing = result.getEdgeFeatureIdx("diameter"))
		{
			double squares = 0.0;
			result.forEachEdge(
			    [&](const Graph::EdgeInfo& edge, uint64_t, uint64_t)
			    { squares += edge.features()[static_cast<size_t>(*existing)] * edge.features()[static_cast<size_t>(*existing)]; });
			if (squares != 0.0)
			{
				index = *existing;
				return true;
			}
		}
		if (const SharedImage* labels = m_labelMap ? m_labelMap->get(-1) : nullptr)
		{
			// -1 means the label map's pixel type cannot be measured: no column to weigh by.
			index = ComputeCommonGraphFeaturesAlgorithm::computeDiameters(result, *labels, true, 0.5);
			if (index >= 0)
				return true;
		}
		m_status = IncompleteInput;
		Log::log(Log::Error, {}, missingMessage);
		return false;
	}

	bool MinimumSpanningTreeAlgorithm::buildMstSortKey(int keyIdx)
	{
		Graph& result = *m_result;
		switch (weightMode.value())
		{
			case WeightMode::EdgeLength:
			{
				Log::log(Log::Info, {}, "Mode: EdgeLength.");
				m_reduction = sumOfValues;
				const std::optional<int> named = result.getEdgeFeatureIdx(edgeFeatureName);
				const int length = named ? *named : ComputeCommonGraphFeaturesAlgorithm::computeEdgeLengths(result);
				int weight = length;
				if (pruneBySegment)
				{
					GraphUtils::accumulateFeatureAlongSegments(result, m_reduction, length, "accumulatedFeature");
					weight = *result.getEdgeFeatureIdx("accumulatedFeature");
				}
				writeKeys(result, keyIdx,
				          [weight](const std::vector<double>& f) { return zeroSafeInverse(f[static_cast<size_t>(weight)]); });
				return true;
			}
			case WeightMode::Diameter:
			{
				Log::log(Log::Info, {}, "Mode: Diameter.");
				m_reduction = meanOfValues;
				int diameter = -1;
				if (!diameterFeature(diameter, "Diameter edge feature is missing or empty; provide a label map to compute it."))
					return false;
				writeKeys(result, keyIdx,
				          [diameter](const std::vector<double>& f) { return zeroSafeInverse(f[static_cast<size_t>(diameter)]); });
				if (pruneBySegment)
					GraphUtils::accumulateFeatureAlongSegments(result, m_reduction, keyIdx, "mstSortKey");
				return true;
			}
			case WeightMode::WeightedDiameterEdgeLength:
			{
				Log::log(Log::Info, {}, "Mode: WeightedDiameterEdgeLength.");
				m_reduction = sumOfValues;
				int diameter = -1;
				if (!diameterFeature(diameter, "Diameter edge feature is missing; provide a label map to compute it."))
					return false;
				const std::optional<int> existing = result.getEdgeFeatureIdx("length");
				const int length = existing ? *existing : ComputeCommonGraphFeaturesAlgorithm::computeEdgeLengths(result);
				// Largest diameters or lengths of 0 make keys of 0/0 = NaN; Kruskal sorts those last.
				if (!pruneBySegment)
				{
					const double maxD = largestValue(result, diameter);
					const double maxL = largestValue(result, length);
					writeKeys(result, keyIdx,
					          [&](const std::vector<double>& f)
					          { return 1.0 / ((f[static_cast<size_t>(diameter)] / maxD) * (f[static_cast<size_t>(length)] / maxL)); });
					return true;
				}
				GraphUtils::accumulateFeatureAlongSegments(result, meanOfValues, diameter, "accumulatedFeature");
				GraphUtils::accumulateFeatureAlongSegments(result, m_reduction, length, "accumulatedEdgeLengths");
				const int a = *result.getEdgeFeatureIdx("accumulatedFeature");
				const int b = *result.getEdgeFeatureIdx("accumulatedEdgeLengths");
				const double maxA = largestValue(result, a);
				const double maxB = largestValue(result, b);
				writeKeys(result, keyIdx,
				          [&](const std::vector<double>& f)
				          {
					          const double segmentLength = f[static_cast<size_t>(b)];
					          return segmentLength == 0.0 ? 100.0 : 1.0 / ((f[static_cast<size_t>(a)] / maxA) * (segmentLength / maxB));
				          });
				return true;
			}
			case WeightMode::UserDefined:
			{
				Log::log(Log::Info, {}, "Mode: UserDefined.");
				const std::optional<int> feature = result.getEdgeFeatureIdx(edgeFeatureName);
				if (!feature)
				{
					m_status = IncompleteInput;
					Log::log(Log::Error, {}, "Edge feature '" + edgeFeatureName.value() + "' not found.");
					return false;
				}
				writeKeys(result, keyIdx,
				          [f = *feature](const std::vector<double>& v) { return zeroSafeInverse(v[static_cast<size_t>(f)]); });
				if (pruneBySegment)
					GraphUtils::accumulateFeatureAlongSegments(result, m_reduction, keyIdx, "mstSortKey");
				return true;
			}
		}
		m_status = InvalidInput;
		Log::log(Log::Error, {}, "Unknown weight mode " + std::to_string(static_cast<int>(weightMode.value())) + ".");
		return false;
	}

	void MinimumSpanningTreeAlgorithm::applyKruskalAndSegmentPrune(int keyIdx)
	{
		Graph& result = *m_result;
		// Sequential numbering: position in ascending identifier order.
		std::vector<uint64_t> ids;
		ids.reserve(static_cast<size_t>(result.numNodes()));
		result.forEachNode([&ids](uint64_t id, const Graph::NodeInfo&) { ids.push_back(id); });
		const auto indexOf = [&ids](uint64_t id)
		{ return static_cast<uint32_t>(std::lower_bound(ids.begin(), ids.end(), id) - ids.begin()); };

		std::vector<KruskalRecord> records;
		const size_t k = static_cast<size_t>(keyIdx);
		result.forEachEdge(
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

		std::vector<uint64_t> dangling;
		for (const auto& [a, b] : rejected)
		{
			result.removeEdge(a, b);
			if (!pruneBySegment)
				continue;
			for (uint64_t end : {a, b})
			{
				if (!result.hasNode(end) || result.neighborhood(end).size() != 1)
					continue;
				// Walk the chain the removal left hanging, up to (not including) the next branch node.
				dangling.clear();
				result.traverse(end,
				                Graph::PathChooser(
				                    [&](uint64_t current, const Graph::NodeInfo&, const std::vector<const Graph::NodeInfo*>& candidates,
				                        const std::vector<uint64_t>&) -> const Graph::NodeInfo*
				                    {
					                    if (result.neighborhood(current).size() > 2)
						                    return nullptr;
					                    dangling.push_back(current);
					                    return candidates.empty() ? nullptr : candidates.front();
				                    }));
				for (uint64_t id : dangling)
					result.removeNode(id);
			}
		}

		if (!GraphUtils::isAcyclic(result))
			Log::log(Log::Warning, {}, "The spanning tree still contains a cycle.");
	}
}
