#pragma once

#include "host/lib/TypedImage.h"
#include "src/graph/Graph.h"
#include "src/imaging/LabelMapRasterisation.h"

#include <Eigen/Core>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>

/// Graphs and the label rule shared by the rasterisation tests.
namespace Quorvale::LabelMapTest
{
	/// `nodes` nodes uniformly in [lo, hi]³ and `edges` edges between random pairs (self-loops and
	/// duplicates included), diameters uniform in [dMin, dMax]; the same for the same seed.
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

	/// The label rule in double for one voxel centre `q` (voxel units) against every edge, without
	/// boxes: whether it is labelled, and how close it is to being decided the other way (the
	/// smallest |d² − r²| / max(1, r²) of the distance tests made).
	struct Reference
	{
		bool labelled = false;
		double margin = std::numeric_limits<double>::infinity();
	};
	inline Reference referenceVoxel(const LabelMapRasterisation::WorkLists& lists, const Eigen::Matrix4d& graphToPixel,
	                                const Eigen::Vector3d& m, LabelMapRasterisation::Mode mode, float sampleSpacing, const Eigen::Vector3d& q)
	{
		const auto dot = [&](const Eigen::Vector3d& u, const Eigen::Vector3d& v) { return m.cwiseProduct(u).dot(v); };
		const auto voxel = [&](int i)
		{
			const Eigen::Vector4f& node = lists.nodes[static_cast<std::size_t>(i)];
			return Eigen::Vector3d((graphToPixel * Eigen::Vector4d(node.x(), node.y(), node.z(), 1.0)).head<3>().array() + 0.5);
		};
		Reference result;
		for (std::size_t e = 0; e < lists.edges.size(); ++e)
		{
			const Eigen::Vector3d p0 = voxel(lists.edges[e].x()), a = voxel(lists.edges[e].y()) - p0;
			const double length2 = dot(a, a), r2 = double(lists.radii[e]) * lists.radii[e];
			const auto consider = [&](double d2)
			{
				result.labelled = result.labelled || d2 <= r2;
				result.margin = std::min(result.margin, std::abs(d2 - r2) / std::max(1.0, r2));
			};
			if (length2 < 1e-6)
				continue;
			if (mode == LabelMapRasterisation::Mode::Centerline)
			{
				const Eigen::Vector3d v = q - p0 - std::clamp(dot(q - p0, a) / length2, 0.0, 1.0) * a;
				consider(dot(v, v));
				continue;
			}
			const Eigen::Vector3d direction = a / std::sqrt(length2);
			const int n = static_cast<int>(LabelMapRasterisation::sampleCount(float(std::sqrt(length2)), lists.radii[e], mode, sampleSpacing));
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

	inline std::size_t countLabels(const TypedImage<unsigned char>& image)
	{
		return static_cast<std::size_t>(std::count_if(image.pointer(), image.pointer() + image.descriptor().size(), [](auto v) { return v != 0; }));
	}
}
