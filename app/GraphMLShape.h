#pragma once

#include <Eigen/Core>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace Quorvale
{
	/// Reads the shape of a graph back from a GraphML file: what the program needs to judge a graph
	/// that a plug-in made (the program itself does not link the plug-in that owns the graph type).
	namespace GraphMLShape
	{
		struct Shape
		{
			/// Node positions from the "x", "y", "z" data (world millimetres as the writer stores them),
			/// in document order; a missing coordinate is 0.
			std::vector<Eigen::Vector3d> nodes;
			/// Edges as indices into `nodes`.
			std::vector<std::pair<std::size_t, std::size_t>> edges;
			/// The value of the requested edge feature per edge; NaN where an edge has none.
			std::vector<double> edgeValues;

			/// Sum of the edge lengths.
			double totalLength() const;
			/// Mean of the finite edge values; 0 when there are none.
			double meanEdgeValue() const;
			/// Number of connected components (a node without edges is one).
			int components() const;
		};

		/// Reads the first `graph` element of the file; throws std::runtime_error naming the file
		/// when it cannot be read or an edge names an unknown node.
		Shape read(const std::string& path, const std::string& edgeFeature);
	}
}
