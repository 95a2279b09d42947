#pragma once

#include "host/lib/TypedImage.h"
#include "src/graph/Graph.h"
#include "src/imaging/LabelMapRasterisation.h"

#include <Eigen/Core>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>

/// Graphs and label images shared by the rasterisation tests.
namespace Quorvale::LabelMapTest
{
	using Mode = LabelMapRasterisation::Mode;

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

	/// The label rule evaluated in double for every voxel against every edge, with no boxes: the
	/// margin |d² − r²| of the voxel closest to being decided the other way.
	struct Reference
	{
		bool labelled = false;
		double margin = std::numeric_limits<double>::infinity();
	};

	inline Reference referenceVoxel(const LabelMapRasterisation::WorkLists& lists, const Eigen::Matrix4d& graphToPixel, const Eigen::Vector3d& m, Mode mode,
	                         float sampleSpacing, const Eigen::Vector3d& q)
	{
		const auto dot = [&](const Eigen::Vector3d& u, const Eigen::Vector3d& v) { return m.cwiseProduct(u).dot(v); };
		const auto voxel = [&](int index)
		{
			const Eigen::Vector4d node = lists.nodes[static_cast<std::size_t>(index)].cast<double>();
			return Eigen::Vector3d((graphToPixel * Eigen::Vector4d(node.x(), node.y(), node.z(), 1.0)).head<3>() + Eigen::Vector3d::Constant(0.5));
		};
		Reference result;
		for (std::size_t e = 0; e < lists.edges.size(); ++e)
		{
			const Eigen::Vector3d p0 = voxel(lists.edges[e].x()), p1 = voxel(lists.edges[e].y());
			const Eigen::Vector3d a = p1 - p0;
			const double length2 = dot(a, a);
			if (length2 < 1e-6)
				continue;
			const double r2 = static_cast<double>(lists.radii[e]) * lists.radii[e];
			const auto consider = [&](double d2)
			{
				result.labelled = result.labelled || d2 <= r2;
				result.margin = std::min(result.margin, std::abs(d2 - r2) / std::max(1.0, r2));
			};
			if (mode == Mode::Centerline)
			{
				const double s = std::clamp(dot(q - p0, a) / length2, 0.0, 1.0);
				consider(dot(q - p0 - s * a, q - p0 - s * a));
				continue;
			}
			const double length = std::sqrt(length2);
			const Eigen::Vector3d direction = a / length;
			const int n = static_cast<int>(LabelMapRasterisation::sampleCount(static_cast<float>(length), lists.radii[e], mode, sampleSpacing));
			for (int k = 0; k < n; ++k)
			{
				const Eigen::Vector3d w = q - (p0 + (k + 0.5) / n * a);
				const double along = dot(direction, w);
				if (along * along <= 6.25)
					consider(dot(w - along * direction, w - along * direction));
			}
		}
		return result;
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
