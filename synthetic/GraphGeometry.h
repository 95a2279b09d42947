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

	/// `matchCenterline` of a `Graph`.
	inline CenterlineMatch matchCenterline(const VesselTree& tree, const Graph& graph, double tolerance)
	{
		return matchCenterline(tree, graphGeometry(graph), tolerance);
	}
}
