#include "src/algorithms/EvaluateGraphAtImageAlgorithm.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>

#include "host/core/Log.h"
#include "host/lib/AlgorithmRunner.h"
#include "host/lib/DataList.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"

using namespace Quorvale;

namespace
{
	/// A 10³ float image whose value is its x pixel coordinate, placed at world x 5; and an edge from
	/// graph x 0 to 2 in a graph placed at world x 4.
	struct Scene
	{
		SharedImageSet image;
		Graph graph;

		Scene()
		{
			auto memory = TypedImage<float>::create({10, 10, 10});
			for (int i = 0; i < 1000; ++i)
				memory->pointer()[i] = static_cast<float>(i % 10);
			image.add(std::make_unique<SharedImage>(std::move(memory)));
			image.setMatrixToWorld(Eigen::Affine3d(Eigen::Translation3d(5, 0, 0)).matrix());
			graph.addNode(Graph::NodeInfo({0, 0, 0}, {}));
			graph.addNode(Graph::NodeInfo({2, 0, 0}, {}));
			graph.addEdge(1, 2, {});
			graph.setMatrixToWorld(Eigen::Affine3d(Eigen::Translation3d(4, 0, 0)).matrix());
		}
	};
}

TEST(EvaluateGraphAtImageAlgorithmTest, StoresTwiceTheValueAtEachMidpointInGraphToPixelCoordinates)
{
	// Midpoint x 1 in the graph, 5 in the world, the image's centre: pixel x 4.5 holds 4.5.
	for (const char* name : {"diameter", "sampled"})
	{
		Scene scene;
		EvaluateGraphAtImageAlgorithm algorithm(scene.graph, scene.image);
		algorithm.edgeFeatureName = name;
		EXPECT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
		// "diameter" is overwritten in place; a new name gets one new column.
		EXPECT_EQ(scene.graph.numEdgeFeatures(), std::string(name) == "diameter" ? 1 : 2) << name;
		const auto slot = static_cast<size_t>(*scene.graph.getEdgeFeatureIdx(name));
		EXPECT_DOUBLE_EQ(scene.graph.edge(1, 2)->features()[slot], 9.0) << name;
		EXPECT_DOUBLE_EQ(scene.graph.edge(2, 1)->features()[slot], 9.0) << name;
	}
}

TEST(EvaluateGraphAtImageAlgorithmTest, RefusesWhatItCannotSample)
{
	Scene scene;
	Log::ScopedCapture log;
	EvaluateGraphAtImageAlgorithm unnamed(scene.graph, scene.image);
	unnamed.compute();
	EXPECT_EQ(unnamed.status(), Algorithm::NotComputed);
	// The message names the parameter and the graph's edge features it may name.
	EXPECT_EQ(log.sink().messages(Log::Error),
	          std::vector<std::string>{"No edge feature name specified: set edgeFeatureName to the edge feature that receives the image's "
	                                   "values, a new name or one of the graph's (diameter)"});

	SharedImageSet empty;
	EvaluateGraphAtImageAlgorithm onEmpty(scene.graph, empty);
	onEmpty.edgeFeatureName = "value";
	EXPECT_EQ(AlgorithmRunner::run(onEmpty), Algorithm::InvalidInput);
	EXPECT_EQ(scene.graph.numEdgeFeatures(), 1);

	// A graph without edges still gets the column.
	Graph noEdges;
	EvaluateGraphAtImageAlgorithm edgeless(noEdges, scene.image);
	edgeless.edgeFeatureName = "value";
	EXPECT_EQ(AlgorithmRunner::run(edgeless), Algorithm::Success);
	EXPECT_TRUE(noEdges.getEdgeFeatureIdx("value"));

	// Exactly a graph and an image set, in either order.
	EXPECT_TRUE(EvaluateGraphAtImageAlgorithm::createCompatible(DataList{&scene.image, &noEdges}, nullptr));
	EXPECT_FALSE(EvaluateGraphAtImageAlgorithm::createCompatible(DataList{&scene.graph, &scene.image, &noEdges}, nullptr));
	EXPECT_FALSE(EvaluateGraphAtImageAlgorithm::createCompatible(DataList{&scene.graph, &noEdges}, nullptr));
}
