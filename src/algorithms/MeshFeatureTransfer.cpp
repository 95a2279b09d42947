#include "src/algorithms/MeshFeatureTransfer.h"

#include <cmath>
#include <unordered_map>

#include <Eigen/Core>

#include "host/core/Hashing.h"
#include "host/core/ThreadTeam.h"
#include "host/lib/Mesh.h"
#include "host/lib/NearestNeighborSearch.h"
#include "src/graph/Graph.h"

namespace Quorvale::MeshFeatureTransfer
{
	namespace
	{
		/// Node values by exact position; −0.0 and 0.0 are the same position.
		struct PositionHash
		{
			size_t operator()(const Eigen::Vector3d& p) const { return static_cast<size_t>(Hashing::murmur64(p.data(), 3)); }
		};
		using ValueAtPosition = std::unordered_map<Eigen::Vector3d, double, PositionHash>;

		/// Sum and count of the finite values of the engaged entries (a node's outgoing or undirected
		/// edges); with `incoming`, of the edges arriving from the neighbours of the empty entries.
		void addEdgeValues(const Graph& graph, uint64_t id, const Graph::Neighborhood& neighbors, size_t feature, bool incoming,
		                   double& sum, int& count, double& smallest, double& largest)
		{
			for (const auto& [neighbor, edge] : neighbors)
			{
				const std::optional<Graph::EdgeInfo>& record = incoming ? graph.edge(neighbor, id) : edge;
				if (!record || (!incoming && !edge) || (incoming && edge))
					continue;
				const double v = record->features()[feature];
				if (!std::isfinite(v))
					continue;
				if (v > largest)
					largest = v;
				if (smallest > v)
					smallest = v;
				sum += v;
				++count;
			}
		}

		/// The value of every node that takes part, by position, and those positions in ascending
		/// node identifier order; widens `bounds`.
		ValueAtPosition nodeValues(const Graph& graph, size_t feature, Bounds& bounds, std::vector<Eigen::Vector3d>& positions)
		{
			const bool directed = graph.type() == Graph::Type::Directed;
			ValueAtPosition valueAt;
			positions.reserve(static_cast<size_t>(graph.numNodes()));
			graph.forEachNode(
			    [&](uint64_t id, const Graph::NodeInfo& node, const Graph::Neighborhood& neighbors)
			    {
				    double sum = 0.0;
				    int count = 0;
				    addEdgeValues(graph, id, neighbors, feature, false, sum, count, bounds.smallest, bounds.largest);
				    if (count == 0 && directed)
					    addEdgeValues(graph, id, neighbors, feature, true, sum, count, bounds.smallest, bounds.largest);
				    if (count == 0)
					    return;
				    valueAt.emplace(node.position(), sum / count);
				    positions.push_back(node.position());
			    });
			return valueAt;
		}
	}

	bool inputsAreFinite(const Graph& graph, const Mesh& mesh)
	{
		bool finite = graph.matrixFromWorld().allFinite();
		graph.forEachNode([&](uint64_t, const Graph::NodeInfo& node) { finite = finite && node.position().allFinite(); });
		for (const Eigen::Vector3d& v : mesh.vertices())
			finite = finite && v.allFinite();
		return finite;
	}

	bool anyFiniteValue(const Graph& graph, size_t feature)
	{
		bool anyValue = false;
		graph.forEachEdge([&](const Graph::EdgeInfo& edge, uint64_t, uint64_t) { anyValue = anyValue || std::isfinite(edge.features()[feature]); });
		return anyValue;
	}

	std::vector<double> perVertexValues(const Graph& graph, Mesh& mesh, size_t feature, float searchRange, Bounds& bounds)
	{
		std::vector<double> result(static_cast<size_t>(mesh.numberOfVertices()), 0.0);
		std::vector<Eigen::Vector3d> positions;
		const ValueAtPosition valueAt = nodeValues(graph, feature, bounds, positions);

		NearestNeighborSearch search;
		search.buildIndex(positions, Eigen::Matrix4d::Identity());
		mesh.computeVertexNormals(Mesh::VertexAngle);

		const Eigen::Matrix4d fromWorld = graph.matrixFromWorld();
		const Eigen::Matrix3d linear = fromWorld.topLeftCorner<3, 3>();
		const Eigen::Vector3d translation = fromWorld.topRightCorner<3, 1>();
		const double radius = static_cast<double>(searchRange) * bounds.largest;
		const int vertexCount = mesh.numberOfVertices();
		// One chunk of vertices keeps one thread busy: more threads are wanted only beyond it.
		const Threading::ThreadTeam team(vertexCount > 1024);
#pragma omp parallel for schedule(dynamic, 1024) num_threads(team.size())
		for (int i = 0; i < vertexCount; ++i)
		{
			const Eigen::Vector3d p = linear * mesh.vertex(i) + translation;
			const Eigen::Vector3d n = mesh.vertexNormal(i);
			for (int j : search.findNearestNeighborsRadius(p, radius))
			{
				const Eigen::Vector3d& q = positions[static_cast<size_t>(j)];
				if ((q - p).dot(n) <= 0.0)
				{
					result[static_cast<size_t>(i)] = valueAt.at(q);
					break;
				}
			}
		}
		return result;
	}

	void paint(Mesh& mesh, const std::vector<double>& values, const Bounds& bounds)
	{
		const double span = bounds.largest - bounds.smallest;
		const Eigen::Vector3f red(1.0f, 0.0f, 0.0f);
		for (int i = 0; i < mesh.numberOfVertices(); ++i)
		{
			const double v = values[static_cast<size_t>(i)];
			// Equal bounds: a value that is not 0 came from a node (a node's mean may differ from the
			// bound in its last bit), 0 is a vertex that found none.
			double weight = span > 0.0 ? (v - bounds.smallest) / span : (v != 0.0 ? 1.0 : 0.0);
			if (!std::isfinite(weight))
				weight = 0.0;
			mesh.setVertexColor(i, red, static_cast<float>(weight));
		}
	}
}
