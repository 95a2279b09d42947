#pragma once

#include "host/core/Hashing.h"
#include "host/lib/MemImage.h"
#include "src/graph/Graph.h"

#include <cstdint>
#include <vector>

/// 64-bit fingerprints of results, for checks that a result stays byte for byte what it was: with
/// another thread count, or against another build. Header-only, like GraphGeometry.h, so that this
/// library need not link the graph plug-in.
namespace Quorvale::SyntheticVessels
{
	/// The bytes of the image's elements.
	inline std::uint64_t fingerprint(const MemImage& image) { return Hashing::murmur64(image.data(), image.byteSize()); }

	/// Every node (identifier and position, in identifier order) and every edge (its ends and
	/// features, in the graph's edge order).
	inline std::uint64_t fingerprint(const Graph& graph)
	{
		std::vector<double> values;
		graph.forEachNode(
		    [&](uint64_t id, const Graph::NodeInfo& node)
		    {
			    values.push_back(static_cast<double>(id));
			    values.insert(values.end(), node.position().data(), node.position().data() + 3);
		    });
		graph.forEachEdge(
		    [&](const Graph::EdgeInfo& edge, uint64_t from, uint64_t to)
		    {
			    values.push_back(static_cast<double>(from));
			    values.push_back(static_cast<double>(to));
			    values.insert(values.end(), edge.features().begin(), edge.features().end());
		    });
		return Hashing::murmur64(values.data(), values.size());
	}
}
