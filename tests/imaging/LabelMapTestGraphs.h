#pragma once

#include "host/lib/TypedImage.h"
#include "src/graph/Graph.h"

#include <Eigen/Core>

#include <cstdint>
#include <memory>
#include <random>

/// Graphs and label images shared by the rasterisation tests.
namespace Quorvale::LabelMapTest
{
	/// A seeded random graph: `nodes` nodes uniformly in [lo, hi]³, `edges` edges between random
	/// node pairs (duplicates collapse), diameters uniform in [dMin, dMax].
	inline std::unique_ptr<Graph> randomGraph(unsigned seed, int nodes, int edges, double lo, double hi, double dMin, double dMax)
	{
		std::mt19937 random(seed);
		std::uniform_real_distribution<double> position(lo, hi), diameter(dMin, dMax);
		std::uniform_int_distribution<std::uint64_t> node(1, static_cast<std::uint64_t>(nodes));
		auto graph = std::make_unique<Graph>();
		for (int i = 0; i < nodes; ++i)
		{
			const double x = position(random), y = position(random), z = position(random);
			graph->addNode(Graph::NodeInfo(Eigen::Vector3d(x, y, z), {}));
		}
		for (int e = 0; e < edges; ++e)
		{
			const std::uint64_t a = node(random), b = node(random);
			graph->addEdge(a, b, Graph::EdgeInfo({diameter(random)}));
		}
		return graph;
	}

	/// Number of labelled voxels.
	inline std::size_t countLabels(const TypedImage<unsigned char>& image)
	{
		std::size_t count = 0;
		const std::size_t n = image.descriptor().size();
		for (std::size_t i = 0; i < n; ++i)
			count += image.pointer()[i] != 0;
		return count;
	}
}
