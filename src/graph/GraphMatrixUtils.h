#pragma once

#include "src/graph/Graph.h"

#include <Eigen/Core>
#include <Eigen/SparseCore>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <tuple>

/// The linear-algebra form of a graph for spectral and diffusion computations: a numbering of the
/// nodes, weighted adjacency and degree matrices, and node features as dense vectors.
///
/// The preconditions below are checked: a call that breaks one throws std::out_of_range and
/// changes nothing.
namespace Quorvale::GraphMatrixUtils
{
	/// How matrix rows and columns are numbered.
	enum class Representation : int32_t
	{
		/// Index = node identifier; the matrix is (maxNodeIdx + 1) square with empty rows and
		/// columns for identifiers that are not nodes. The size must fit a 32-bit index.
		NodeId = 0,
		/// Index = position in ascending identifier order; the matrix is numNodes square.
		Sequential = 1
	};

	using SparseMatrix = Eigen::SparseMatrix<double, Eigen::ColMajor, int32_t>;
	/// Node identifier → index, or index → node identifier.
	using IndexMap = std::map<uint64_t, uint64_t>;
	/// Weight of the edge (from, to, record); an empty function weighs every edge 1.0.
	using EdgeWeightFunction = std::function<double(uint64_t, uint64_t, const Graph::EdgeInfo&)>;

	/// The sequential numbering: nodes in ascending identifier order get 0, 1, 2, ...; returns
	/// (identifier → index, index → identifier).
	std::tuple<IndexMap, IndexMap> graphToSequentialIndex(const Graph& graph);

	/// Weighted adjacency: entry (from, to) holds the edge's weight, and on an undirected graph
	/// (to, from) too (the weight function is called once per entry). Entries are assigned, so the
	/// last edge mapped to an entry wins. With Sequential, `idToIndex` (may be null) is used as
	/// given when it is not empty, and must then map every node into [0, numNodes); an empty map
	/// receives the sequential numbering. NodeId ignores it.
	SparseMatrix computeAdjacencyMatrix(const Graph& graph, Representation representation, IndexMap* idToIndex, EdgeWeightFunction weight);

	/// Weighted diagonal degree matrix: each edge adds its weight at its ends as `degreeType` says
	/// (an undirected graph adds at both ends whatever the type, a self-loop thus twice). Nodes
	/// without edges have no stored entry. Index map as for `computeAdjacencyMatrix`.
	SparseMatrix computeDegreeMatrix(const Graph& graph, Representation representation, Graph::DegreeType degreeType, IndexMap* idToIndex,
	                                 EdgeWeightFunction weight);

	/// The node feature column `featureIdx` (in [0, numNodeFeatures)) as a vector in ascending
	/// identifier order.
	Eigen::VectorXd nodeFeaturesToVectorXd(const Graph& graph, int featureIdx);

	/// Writes `values` (at least numNodes elements) into the node feature `name`, in ascending
	/// identifier order, creating the column with `defaultValue` when it is missing; returns the
	/// column's index.
	int createOrAssignNodeFeatureFromVectorXd(Graph& graph, const std::string& name, const Eigen::VectorXd& values, double defaultValue);
}
