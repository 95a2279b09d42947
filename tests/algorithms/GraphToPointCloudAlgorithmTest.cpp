#include "src/algorithms/GraphToPointCloudAlgorithm.h"

#include <gtest/gtest.h>

#include <omp.h>

#include "host/lib/AlgorithmRunner.h"
#include "host/lib/DataList.h"
#include "host/lib/PointCloud.h"
#include "src/graph/Graph.h"
#include "tests/common/FixedThreadCount.h"

using namespace Quorvale;

TEST(GraphToPointCloudAlgorithmTest, CloudsFollowTheInputOrderWhateverTheThreadCount)
{
	// Graphs of very different sizes (the first empty), so that threads finish in another order than they started.
	std::vector<Graph> graphs(13);
	std::vector<Graph*> inputs;
	for (size_t g = 0; g < graphs.size(); ++g)
	{
		graphs[g].setName("g" + std::to_string(g));
		for (size_t n = 0; n < (g % 3) * 2000 + g; ++n)
			graphs[g].addNode(Graph::NodeInfo({double(g), double(n), -1.0}, {}));
		graphs[g].setMatrixToWorld(Eigen::Vector4d(1, 1, double(g + 1), 1).asDiagonal());
		inputs.push_back(&graphs[g]);
	}
	for (int count : {1, 3, 8})
	{
		const Testing::FixedThreadCount fixed(count);
		GraphToPointCloudAlgorithm algorithm(inputs);
		ASSERT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
		auto clouds = algorithm.takeOutput().extractAll();
		ASSERT_EQ(clouds.size(), graphs.size());
		for (size_t g = 0; g < graphs.size(); ++g)
		{
			const auto& cloud = dynamic_cast<const PointCloud&>(*clouds[g]);
			EXPECT_EQ(cloud.name(), "g" + std::to_string(g) + " Point Cloud");
			EXPECT_EQ(cloud.matrixToWorld(), graphs[g].matrixToWorld());
			ASSERT_EQ(cloud.numberOfPoints(), graphs[g].numNodes());
			for (int n = 0; n < cloud.numberOfPoints(); ++n)
				EXPECT_EQ(cloud.points()[static_cast<size_t>(n)], graphs[g].node(static_cast<uint64_t>(n) + 1).position());
		}
		EXPECT_TRUE(algorithm.takeOutput().isEmpty());
	}

	EXPECT_FALSE(GraphToPointCloudAlgorithm::createCompatible(DataList{}, nullptr));
	GraphToPointCloudAlgorithm none({});
	EXPECT_EQ(AlgorithmRunner::run(none), Algorithm::InvalidInput);
}
