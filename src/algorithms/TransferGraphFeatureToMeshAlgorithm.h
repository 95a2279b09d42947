#pragma once

#include "host/core/Parameter.h"
#include "host/lib/Algorithm.h"

#include "src/algorithms/MeshFeatureTransfer.h"

#include <optional>
#include <string>
#include <vector>

namespace Quorvale
{
	class Graph;
	class Mesh;

	/// Paints the vessel diameters of a graph onto a surface mesh of the vessels. Each node gets the
	/// mean "diameter" of its edges; each mesh vertex takes the value of the nearest node within
	/// `searchRange` × the largest diameter that lies behind the surface (on the side opposite to the
	/// vertex normal, angle-weighted), and the mesh is coloured red with the weight that maps the value
	/// linearly from the smallest diameter (0) to the largest (1); with equal bounds, every vertex that
	/// found a node is fully red. The graph is only read; the mesh
	/// changes in place (normals and colours) and nothing new is handed over. The mesh's own matrix is
	/// not applied: its vertices are taken as world coordinates.
	///
	/// Which nodes take part: on an undirected graph every node with an edge; on a directed graph a node
	/// takes the mean of its outgoing edges, or of its incoming ones when it has none (the leaves of a
	/// root-to-leaf tree); a node without any edge, or whose edges carry no finite diameter, takes no
	/// part. Non-finite diameters are skipped.
	///
	/// The smallest and largest diameter seen belong to the algorithm object and carry over from one
	/// `compute` to the next. The work is in `MeshFeatureTransfer`.
	class TransferGraphFeatureToMeshAlgorithm : public Algorithm
	{
	public:
		/// Works on `graph` and `mesh`, which must outlive the algorithm; offers the graph's edge
		/// feature names as the values of `edgeFeatureName`.
		TransferGraphFeatureToMeshAlgorithm(Graph& graph, Mesh& mesh);
		~TransferGraphFeatureToMeshAlgorithm() override;

		/// True when `data` holds exactly two items, a graph and a mesh (in either order); with `out`,
		/// stores a new algorithm on them there.
		static bool createCompatible(const DataList& data, Algorithm** out);

		/// Paints the mesh; status 0. These leave the mesh as it was: an empty `edgeFeatureName` or one
		/// other than "diameter" (error logged, status unchanged); a graph without that feature
		/// (nothing logged, status unchanged); a `searchRange` that is negative or not finite, or a node
		/// position, mesh vertex or graph matrix that is not finite (error logged, status 2); a graph
		/// whose edges give no finite diameter at all (warning logged, status 0). A largest diameter of
		/// at most 0 leaves the colours as they were, the normals recomputed (warning logged, status 0).
		void compute() override;

		/// One value per mesh vertex, in vertex order: the value of the node that decides it, else 0.
		/// Recomputes the mesh's vertex normals and lowers/raises the diameter bounds. Zeros when the
		/// feature is not "diameter"; throws std::bad_optional_access when the graph has no such
		/// feature. Vertices are searched in parallel.
		std::vector<double> getPerVertexFeatures();
		/// Colours the mesh red with weight (value − smallest) / (largest − smallest); when the bounds
		/// are equal, vertices that found a node (value not 0) get weight 1 and others 0. Nothing
		/// happens when the feature is not "diameter", when no bounds were found yet or the largest is
		/// not above 0, or when `values` does not hold one value per vertex.
		void setPerVertexColor(std::vector<double> values);

		Mesh* mesh() const { return &m_mesh; }
		double smallestFeatureValue() const { return m_bounds.smallest; }
		double largestFeatureValue() const { return m_bounds.largest; }

		Parameter<std::string> edgeFeatureName{"edgeFeatureName", std::string(), this};
		Parameter<float> searchRange{"searchRange", 0.9f, this};

	private:
		/// Why a run is refused before it starts: the message to log (empty: nothing logged) and the
		/// status to set (none: the status of an earlier run stays).
		struct Refusal
		{
			std::string message;
			std::optional<int> status;
		};

		/// The first reason, in the order `compute` documents, why the settings or inputs cannot be
		/// painted from; nullopt when they can.
		std::optional<Refusal> invalidSettings() const;

		Graph& m_graph;
		Mesh& m_mesh;
		MeshFeatureTransfer::Bounds m_bounds;
	};
}
