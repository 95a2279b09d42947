#pragma once

#include "host/lib/DataAnnotationFactory.h"

namespace Quorvale
{
	/// Lets the host describe and clone `Graph` data (and data derived from it). Graphs offer no
	/// annotations and no icon, so everything else keeps the base's empty answers.
	class GraphDataAnnotationFactory : public DataAnnotationFactory
	{
	public:
		/// "Graph with N nodes and M edges" for a graph, empty for any other data.
		std::string dataDescription(const Data* data) override;
		/// A copy made by the graph's copy constructor; null for null or any other data.
		std::unique_ptr<Data> cloneData(const Data* data) override;
	};
}
