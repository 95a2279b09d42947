#pragma once

#include <cstddef>
#include <limits>
#include <vector>

namespace Quorvale
{
	class Graph;
	class Mesh;

	/// Painting an edge feature of a graph (the vessel diameters) onto a surface mesh of the vessels.
	/// Each node takes the mean finite value of its edges: on an undirected graph every node with an
	/// edge; on a directed graph the mean of its outgoing edges, or of its incoming ones when it has
	/// none. The mesh's own matrix is not applied: its vertices are taken as world coordinates.
	namespace MeshFeatureTransfer
	{
		/// The smallest and largest edge value seen so far; only ever widened.
		struct Bounds
		{
			double smallest = std::numeric_limits<double>::max();
			double largest = 0.0;
		};

		/// True when the graph's matrix from world, its node positions and the mesh's vertices are
		/// all finite.
		bool inputsAreFinite(const Graph& graph, const Mesh& mesh);

		/// True when some edge holds a finite value in edge feature column `feature`.
		bool anyFiniteValue(const Graph& graph, size_t feature);

		/// One value per mesh vertex, in vertex order: the value of the nearest node within
		/// `searchRange` × the largest value that lies behind the surface (on the side opposite to the
		/// vertex normal, angle-weighted), else 0. Recomputes the mesh's vertex normals and widens
		/// `bounds` by the values of column `feature`. Vertices are searched in parallel.
		std::vector<double> perVertexValues(const Graph& graph, Mesh& mesh, size_t feature, float searchRange, Bounds& bounds);

		/// Colours the mesh red with weight (value − smallest) / (largest − smallest); when the bounds
		/// are equal, vertices whose value is not 0 (they found a node) get weight 1 and others 0; a
		/// weight that is not finite becomes 0. `values` holds one value per vertex.
		void paint(Mesh& mesh, const std::vector<double>& values, const Bounds& bounds);
	}
}
