#include "src/algorithms/TransferGraphFeatureToMeshAlgorithm.h"

#include <cmath>
#include <unordered_map>

#include <fmt/format.h>

#include "host/core/Hashing.h"
#include "host/core/Log.h"
#include "host/lib/DataList.h"
#include "host/lib/Mesh.h"
#include "host/lib/NearestNeighborSearch.h"
#include "src/graph/Graph.h"

namespace Quorvale
{
	namespace
	{
		const std::string kDiameter = "diameter";

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
	}

	TransferGraphFeatureToMeshAlgorithm::TransferGraphFeatureToMeshAlgorithm(Graph& graph, Mesh& mesh)
	    : m_graph(graph)
	    , m_mesh(mesh)
	{
		std::vector<std::string> names;
		for (const Graph::FeatureDescriptor& descriptor : graph.edgeFeatureDescriptors())
			names.push_back(descriptor.name);
		edgeFeatureName.setAttribute("values", joinStrings(names, ","));
	}

	TransferGraphFeatureToMeshAlgorithm::~TransferGraphFeatureToMeshAlgorithm() = default;

	bool TransferGraphFeatureToMeshAlgorithm::createCompatible(const DataList& data, Algorithm** out)
	{
		if (data.size() != 2)
			return false;
		const std::vector<Graph*> graphs = DataList::getGraphs(data);
		const std::vector<Mesh*> meshes = data.getAll<Mesh>();
		if (graphs.size() != 1 || meshes.size() != 1)
			return false;
		if (out)
			*out = new TransferGraphFeatureToMeshAlgorithm(*graphs.front(), *meshes.front());
		return true;
	}

	bool TransferGraphFeatureToMeshAlgorithm::inputsAreFinite() const
	{
		bool finite = m_graph.matrixFromWorld().allFinite();
		m_graph.forEachNode([&](uint64_t, const Graph::NodeInfo& node) { finite = finite && node.position().allFinite(); });
		for (const Eigen::Vector3d& v : m_mesh.vertices())
			finite = finite && v.allFinite();
		return finite;
	}

	void TransferGraphFeatureToMeshAlgorithm::compute()
	{
		const std::string& name = edgeFeatureName.value();
		if (name.empty())
		{
			Log::log(Log::Error, {}, "No edge feature name specified");
			return;
		}
		if (name != kDiameter)
		{
			Log::log(Log::Error, {}, "Currently only diameter feature is supported");
			return;
		}
		const std::optional<int> feature = m_graph.getEdgeFeatureIdx(name);
		if (!feature)
			return;
		const float range = searchRange.value();
		if (!std::isfinite(range) || range < 0.0f)
		{
			Log::log(Log::Error, {}, fmt::format("The search range must be a finite value of at least 0, not {}", range));
			m_status = InvalidInput;
			return;
		}
		if (!inputsAreFinite())
		{
			Log::log(Log::Error, {}, "The graph's node positions and matrix and the mesh's vertices must be finite");
			m_status = InvalidInput;
			return;
		}
		bool anyValue = false;
		m_graph.forEachEdge([&](const Graph::EdgeInfo& edge, uint64_t, uint64_t)
		                    { anyValue = anyValue || std::isfinite(edge.features()[static_cast<size_t>(*feature)]); });
		if (!anyValue)
		{
			Log::log(Log::Warning, {}, "The graph has no edge with a finite diameter: the mesh is left as it was");
			m_status = Success;
			return;
		}
		setPerVertexColor(getPerVertexFeatures());
		m_status = Success;
	}

	std::vector<double> TransferGraphFeatureToMeshAlgorithm::getPerVertexFeatures()
	{
		std::vector<double> result(static_cast<size_t>(m_mesh.numberOfVertices()), 0.0);
		if (edgeFeatureName.value() != kDiameter)
			return result;
		const size_t feature = static_cast<size_t>(m_graph.getEdgeFeatureIdx(edgeFeatureName).value());
		const bool directed = m_graph.type() == Graph::Type::Directed;

		ValueAtPosition valueAt;
		std::vector<Eigen::Vector3d> positions;
		positions.reserve(static_cast<size_t>(m_graph.numNodes()));
		m_graph.forEachNode(
		    [&](uint64_t id, const Graph::NodeInfo& node, const Graph::Neighborhood& neighbors)
		    {
			    double sum = 0.0;
			    int count = 0;
			    addEdgeValues(m_graph, id, neighbors, feature, false, sum, count, m_minValue, m_maxValue);
			    if (count == 0 && directed)
				    addEdgeValues(m_graph, id, neighbors, feature, true, sum, count, m_minValue, m_maxValue);
			    if (count == 0)
				    return;
			    valueAt.emplace(node.position(), sum / count);
			    positions.push_back(node.position());
		    });

		NearestNeighborSearch search;
		search.buildIndex(positions, Eigen::Matrix4d::Identity());
		m_mesh.computeVertexNormals(Mesh::VertexAngle);

		const Eigen::Matrix4d fromWorld = m_graph.matrixFromWorld();
		const Eigen::Matrix3d linear = fromWorld.topLeftCorner<3, 3>();
		const Eigen::Vector3d translation = fromWorld.topRightCorner<3, 1>();
		const double radius = static_cast<double>(searchRange.value()) * m_maxValue;
		const int vertexCount = m_mesh.numberOfVertices();
#pragma omp parallel for schedule(dynamic, 1024)
		for (int i = 0; i < vertexCount; ++i)
		{
			const Eigen::Vector3d p = linear * m_mesh.vertex(i) + translation;
			const Eigen::Vector3d n = m_mesh.vertexNormal(i);
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

	void TransferGraphFeatureToMeshAlgorithm::setPerVertexColor(std::vector<double> values)
	{
		if (edgeFeatureName.value() != kDiameter || !(m_minValue <= m_maxValue) ||
		    values.size() != static_cast<size_t>(m_mesh.numberOfVertices()))
			return;
		const double span = m_maxValue - m_minValue;
		const Eigen::Vector3f red(1.0f, 0.0f, 0.0f);
		for (int i = 0; i < m_mesh.numberOfVertices(); ++i)
		{
			const double v = values[static_cast<size_t>(i)];
			double weight = span > 0.0 ? (v - m_minValue) / span : (v == m_maxValue ? 1.0 : 0.0);
			if (!std::isfinite(weight))
				weight = 0.0;
			m_mesh.setVertexColor(i, red, static_cast<float>(weight));
		}
	}
}
