#pragma once

#include <memory>

namespace Quorvale
{
	class Graph;
	class PointCloud;

	/// Point clouds made from graphs.
	namespace GraphPointCloud
	{
		/// A point cloud of the node positions of `graph` (graph coordinates, ascending node
		/// identifier order), named after the graph followed by " Point Cloud" and placed by the
		/// graph's matrix.
		std::unique_ptr<PointCloud> nodePositions(const Graph& graph);
	}
}
