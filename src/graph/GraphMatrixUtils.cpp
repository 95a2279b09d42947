#include "src/graph/GraphMatrixUtils.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace Quorvale::GraphMatrixUtils
{
	namespace
	{
		using Triplet = Eigen::Triplet<double, int32_t>;

		/// Maps node identifiers to matrix indices; built and checked before any matrix work. The
		/// sequential form looks identifiers up in a sorted array rather than in the caller's map,
		/// which keeps the per-edge lookups cache-friendly on large graphs.
		class Indexing
		{
		public:
			Indexing(const Graph& graph, Representation representation, IndexMap* idToIndex)
			{
				if (representation == Representation::NodeId)
				{
					constexpr uint64_t largest = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
					if (graph.maxNodeIdx() >= largest)
						throw std::out_of_range("cannot number the matrix by node identifier: the largest identifier " +
						                        std::to_string(graph.maxNodeIdx()) + " does not fit a 32-bit matrix index");
					m_size = static_cast<int32_t>(graph.maxNodeIdx() + 1);
					return;
				}
				if (representation != Representation::Sequential)
					throw std::out_of_range("unknown matrix representation " + std::to_string(static_cast<int32_t>(representation)));

				m_sequential = true;
				m_size = graph.numNodes();
				m_ids.reserve(static_cast<size_t>(m_size));
				graph.forEachNode([this](uint64_t id, const Graph::NodeInfo&) { m_ids.push_back(id); });
				if (!idToIndex)
					return;
				if (idToIndex->empty())
				{
					// The caller gets the numbering back; the ascending ranks are already what it says.
					*idToIndex = std::get<0>(graphToSequentialIndex(graph));
					return;
				}
				// A caller's map must cover every node with an index inside the matrix.
				m_indices.reserve(m_ids.size());
				for (uint64_t id : m_ids)
				{
					auto it = idToIndex->find(id);
					if (it == idToIndex->end())
						throw std::out_of_range("the index map has no entry for node " + std::to_string(id));
					if (it->second >= static_cast<uint64_t>(m_size))
						throw std::out_of_range("the index map sends node " + std::to_string(id) + " to " + std::to_string(it->second) +
						                        ", outside [0, " + std::to_string(m_size) + ")");
					m_indices.push_back(static_cast<int32_t>(it->second));
				}
			}

			int32_t size() const { return m_size; }

			/// Index of a node of the graph.
			int32_t operator()(uint64_t id) const
			{
				if (!m_sequential)
					return static_cast<int32_t>(id);
				const auto rank = static_cast<size_t>(std::lower_bound(m_ids.begin(), m_ids.end(), id) - m_ids.begin());
				return m_indices.empty() ? static_cast<int32_t>(rank) : m_indices[rank];
			}

		private:
			int32_t m_size = 0;
			bool m_sequential = false;
			std::vector<uint64_t> m_ids;    ///< node identifiers, ascending (sequential form)
			std::vector<int32_t> m_indices; ///< index of each node by rank, when the caller numbered them
		};

		EdgeWeightFunction orUnitWeight(EdgeWeightFunction weight)
		{
			if (weight)
				return weight;
			return [](uint64_t, uint64_t, const Graph::EdgeInfo&) { return 1.0; };
		}
	}

	std::tuple<IndexMap, IndexMap> graphToSequentialIndex(const Graph& graph)
	{
		IndexMap idToIndex;
		IndexMap indexToId;
		uint64_t counter = 0;
		graph.forEachNode(
		    [&](uint64_t id, const Graph::NodeInfo&)
		    {
			    idToIndex.emplace_hint(idToIndex.end(), id, counter);
			    indexToId.emplace_hint(indexToId.end(), counter, id);
			    ++counter;
		    });
		return {std::move(idToIndex), std::move(indexToId)};
	}

	SparseMatrix computeAdjacencyMatrix(const Graph& graph, Representation representation, IndexMap* idToIndex, EdgeWeightFunction weight)
	{
		const Indexing index(graph, representation, idToIndex);
		weight = orUnitWeight(std::move(weight));
		const bool undirected = graph.type() == Graph::Type::Undirected;

		std::vector<Triplet> entries;
		entries.reserve(static_cast<size_t>(graph.numEdges()) * (undirected ? 2 : 1));
		graph.forEachEdge(
		    [&](const Graph::EdgeInfo& edge, uint64_t from, uint64_t to)
		    {
			    const int32_t row = index(from);
			    const int32_t column = index(to);
			    entries.emplace_back(row, column, weight(from, to, edge));
			    if (undirected)
				    entries.emplace_back(column, row, weight(from, to, edge));
		    });

		SparseMatrix matrix(index.size(), index.size());
		// Entries are assigned, not summed: the later of two writes to one entry wins.
		matrix.setFromTriplets(entries.begin(), entries.end(), [](const double&, const double& later) { return later; });
		return matrix;
	}

	SparseMatrix computeDegreeMatrix(const Graph& graph, Representation representation, Graph::DegreeType degreeType, IndexMap* idToIndex,
	                                 EdgeWeightFunction weight)
	{
		const Indexing index(graph, representation, idToIndex);
		weight = orUnitWeight(std::move(weight));
		const bool undirected = graph.type() == Graph::Type::Undirected;
		const bool atFrom = undirected || degreeType == Graph::DegreeType::Out || degreeType == Graph::DegreeType::Total;
		const bool atTo = undirected || degreeType == Graph::DegreeType::In || degreeType == Graph::DegreeType::Total;

		std::vector<Triplet> entries;
		entries.reserve(static_cast<size_t>(graph.numEdges()) * ((atFrom ? 1 : 0) + (atTo ? 1 : 0)));
		graph.forEachEdge(
		    [&](const Graph::EdgeInfo& edge, uint64_t from, uint64_t to)
		    {
			    if (atFrom)
				    entries.emplace_back(index(from), index(from), weight(from, to, edge));
			    if (atTo)
				    entries.emplace_back(index(to), index(to), weight(from, to, edge));
		    });

		// Duplicates are summed in insertion order: each node's degree is the sum of its edge weights.
		SparseMatrix matrix(index.size(), index.size());
		matrix.setFromTriplets(entries.begin(), entries.end());
		return matrix;
	}

	Eigen::VectorXd nodeFeaturesToVectorXd(const Graph& graph, int featureIdx)
	{
		if (featureIdx < 0 || featureIdx >= graph.numNodeFeatures())
			throw std::out_of_range("node feature index " + std::to_string(featureIdx) + " is outside the " +
			                        std::to_string(graph.numNodeFeatures()) + " node feature columns");
		Eigen::VectorXd values(graph.numNodes());
		Eigen::Index i = 0;
		graph.forEachNode([&](uint64_t, const Graph::NodeInfo& info) { values[i++] = info.features()[static_cast<size_t>(featureIdx)]; });
		return values;
	}

	int createOrAssignNodeFeatureFromVectorXd(Graph& graph, const std::string& name, const Eigen::VectorXd& values, double defaultValue)
	{
		if (values.size() < graph.numNodes())
			throw std::out_of_range("cannot assign node feature '" + name + "' from " + std::to_string(values.size()) + " values to " +
			                        std::to_string(graph.numNodes()) + " nodes");
		const int featureIdx = graph.getOrCreateNodeFeatureIdx(name, defaultValue);
		Eigen::Index i = 0;
		graph.editEachNode([&](uint64_t, Graph::NodeInfo& info) { info.features()[static_cast<size_t>(featureIdx)] = values[i++]; });
		return featureIdx;
	}
}
