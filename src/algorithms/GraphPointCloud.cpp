#include "src/algorithms/GraphPointCloud.h"

#include <utility>
#include <vector>

#include "host/lib/PointCloud.h"
#include "src/graph/Graph.h"

namespace Quorvale::GraphPointCloud
{
	std::unique_ptr<PointCloud> nodePositions(const Graph& graph)
	{
		std::vector<Eigen::Vector3d> positions;
		positions.reserve(static_cast<size_t>(graph.numNodes()));
		graph.forEachNode([&](uint64_t, const Graph::NodeInfo& node) { positions.push_back(node.position()); });
		auto cloud = std::make_unique<PointCloud>(std::move(positions), 0, 0, graph.name() + " Point Cloud");
		cloud->setMatrix(graph.matrix());
		return cloud;
	}
}
