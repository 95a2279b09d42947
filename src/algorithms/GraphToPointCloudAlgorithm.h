#pragma once

#include "host/lib/Algorithm.h"

#include <memory>
#include <vector>

namespace Quorvale
{
	class Graph;
	class PointCloud;

	/// Turns each input graph into a point cloud of its node positions (ascending node identifier
	/// order), named after the graph followed by " Point Cloud" and placed by the graph's matrix. The
	/// graphs are converted in parallel; the clouds come out in input order whatever the thread count.
	/// The work per graph is `GraphPointCloud::nodePositions`.
	class GraphToPointCloudAlgorithm : public Algorithm
	{
	public:
		/// Works on `graphs`, which must outlive the algorithm and not change during `compute`.
		explicit GraphToPointCloudAlgorithm(std::vector<Graph*> graphs);
		~GraphToPointCloudAlgorithm() override;

		/// True when `data` holds at least one graph (other items are ignored); with `out`, stores a
		/// new algorithm on all graphs of the list, in list order.
		static bool createCompatible(const DataList& data, Algorithm** out);

		/// Builds one point cloud per graph, replacing any not taken; status 0, or 2 without graphs.
		void compute() override;
		/// Hands over the point clouds in input order; a second call returns an empty list.
		OwningDataList takeOutput() override;

	private:
		std::vector<Graph*> m_graphs;
		std::vector<std::unique_ptr<PointCloud>> m_output;
	};
}
