#pragma once

#include <Eigen/Geometry>

#include "src/graph/Graph.h"
#include "synthetic/CenterlineMatch.h"

namespace Quorvale::SyntheticVessels
{
	/// The shape of `graph` in world millimetres (node positions through its `matrixToWorld`). Kept
	/// in this header so that the synthetic library itself does not depend on the graph plug-in: only
	/// code that links the plug-in (tests, benchmarks) includes it.
	inline GraphGeometry graphGeometry(const Graph& graph)
	{
		const Eigen::Matrix4d& toWorld = graph.matrixToWorld();
		const auto world = [&](const Eigen::Vector3d& p) -> Eigen::Vector3d { return (toWorld * p.homogeneous()).head<3>(); };
		GraphGeometry geometry;
		graph.forEachEdge([&](const Graph::EdgeInfo&, const Graph::NodeInfo& a, const Graph::NodeInfo& b)
		                  { geometry.edges.emplace_back(world(a.position()), world(b.position())); });
		graph.forEachNode(
		    [&](uint64_t, const Graph::NodeInfo& info, const Graph::Neighborhood& neighbors)
		    {
			    if (neighbors.empty())
				    geometry.isolatedNodes.push_back(world(info.position()));
		    });
		return geometry;
	}

	/// The true centreline of `tree` as an undirected graph in world millimetres: its nodes first (node
	/// i + 1 is `tree.nodes[i]`), then the inner points of each segment, joined in order by edges whose
	/// "diameter" is twice the radius at the edge's far point.
	inline Graph centerlineGraph(const VesselTree& tree)
	{
		Graph graph;
		for (const Eigen::Vector3d& node : tree.nodes)
			graph.addNode(Graph::NodeInfo(node, {}));
		for (const Segment& segment : tree.segments)
		{
			uint64_t previous = static_cast<uint64_t>(segment.from) + 1;
			for (size_t i = 1; i < segment.points.size(); ++i)
			{
				const uint64_t next = i + 1 == segment.points.size() ? static_cast<uint64_t>(segment.to) + 1
				                                                     : graph.addNode(Graph::NodeInfo(segment.points[i], {}));
				graph.addEdge(previous, next, Graph::EdgeInfo({2.0 * segment.radii[i]}));
				previous = next;
			}
		}
		return graph;
	}

	/// `matchCenterline` of a `Graph`.
	inline CenterlineMatch matchCenterline(const VesselTree& tree, const Graph& graph, double tolerance)
	{
		return matchCenterline(tree, graphGeometry(graph), tolerance);
	}
}
