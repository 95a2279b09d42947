#include "src/algorithms/EvaluateGraphAtImageAlgorithm.h"

#include <gtest/gtest.h>

#include "host/core/Log.h"
#include "host/lib/AlgorithmRunner.h"
#include "host/lib/DataList.h"
#include "host/lib/Mesh.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"

using namespace Quorvale;

namespace
{
	/// A 10³ float image whose value is its x pixel coordinate plus `offset`, shifted in the world by (5, 0, 0).
	std::unique_ptr<SharedImageSet> rampImage(float offset)
	{
		auto memory = TypedImage<float>::create({10, 10, 10});
		for (int z = 0; z < 10; ++z)
			for (int y = 0; y < 10; ++y)
				for (int x = 0; x < 10; ++x)
					memory->at(x, y, z) = static_cast<float>(x) + offset;
		auto set = std::make_unique<SharedImageSet>(std::make_unique<SharedImage>(std::move(memory)));
		Eigen::Matrix4d shift = Eigen::Matrix4d::Identity();
		shift(0, 3) = 5.0;
		set->setMatrixToWorld(shift);
		return set;
	}

	/// Nodes at graph x 0 and 2 joined by an edge; the graph is placed at world x 4.
	Graph edgeGraph()
	{
		Graph graph;
		graph.addNode(Graph::NodeInfo({0, 0, 0}, {}));
		graph.addNode(Graph::NodeInfo({2, 0, 0}, {}));
		graph.addEdge(1, 2, {});
		Eigen::Matrix4d place = Eigen::Matrix4d::Identity();
		place(0, 3) = 4.0;
		graph.setMatrixToWorld(place);
		return graph;
	}
}

TEST(EvaluateGraphAtImageAlgorithmTest, StoresTwiceTheValueAtEachMidpointInGraphToPixelCoordinates)
{
	auto image = rampImage(0.0f);
	// Midpoint x 1 in the graph, 5 in the world, the image's centre; pixel x 4.5 of the 10 pixels holds 4.5.
	const double centre = 1.0 + 4.0 - 5.0 + 4.5;
	for (const char* name : {"diameter", "sampled"})
	{
		Graph graph = edgeGraph();
		EvaluateGraphAtImageAlgorithm algorithm(graph, *image);
		algorithm.edgeFeatureName = name;
		EXPECT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
		// "diameter" is overwritten in place; a new name gets one new column.
		EXPECT_EQ(graph.numEdgeFeatures(), std::string(name) == "diameter" ? 1 : 2) << name;
		const int slot = *graph.getEdgeFeatureIdx(name);
		EXPECT_DOUBLE_EQ(graph.edge(1, 2)->features()[static_cast<size_t>(slot)], 2.0 * centre) << name;
		EXPECT_DOUBLE_EQ(graph.edge(2, 1)->features()[static_cast<size_t>(slot)], 2.0 * centre) << name;
	}
}

TEST(EvaluateGraphAtImageAlgorithmTest, RefusesWhatItCannotSample)
{
	auto image = rampImage(3.0f);
	Graph graph = edgeGraph();
	Log::ScopedCapture log;
	EvaluateGraphAtImageAlgorithm unnamed(graph, *image);
	unnamed.compute();
	EXPECT_EQ(unnamed.status(), Algorithm::NotComputed);
	EXPECT_EQ(log.sink().messages(Log::Error), std::vector<std::string>{"No edge feature name specified"});

	SharedImageSet empty;
	EvaluateGraphAtImageAlgorithm onEmpty(graph, empty);
	onEmpty.edgeFeatureName = "value";
	EXPECT_EQ(AlgorithmRunner::run(onEmpty), Algorithm::InvalidInput);
	EXPECT_EQ(graph.numEdgeFeatures(), 1);

	Graph noEdges;
	EvaluateGraphAtImageAlgorithm edgeless(noEdges, *image);
	edgeless.edgeFeatureName = "value";
	EXPECT_EQ(AlgorithmRunner::run(edgeless), Algorithm::Success);
	EXPECT_TRUE(noEdges.getEdgeFeatureIdx("value"));
}

TEST(EvaluateGraphAtImageAlgorithmTest, AcceptsExactlyAGraphAndAnImageSet)
{
	auto image = rampImage(0.0f);
	Graph graph, other;
	Mesh mesh;
	for (const auto& [list, accepted] : {std::pair{DataList{&graph, image.get()}, true}, std::pair{DataList{image.get(), &graph}, true},
	                                     std::pair{DataList{&graph}, false}, std::pair{DataList{&graph, &other}, false},
	                                     std::pair{DataList{&graph, image.get(), &mesh}, false}})
		EXPECT_EQ(EvaluateGraphAtImageAlgorithm::createCompatible(list, nullptr), accepted) << list.size();
}
