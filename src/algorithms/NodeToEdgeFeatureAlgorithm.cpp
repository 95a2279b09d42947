#include "src/algorithms/NodeToEdgeFeatureAlgorithm.h"

#include <cmath>
#include <functional>
#include <vector>

#include <fmt/format.h>

#include "host/core/Log.h"
#include "host/lib/DataList.h"
#include "src/graph/GraphUtils.h"

namespace Quorvale
{
	NodeToEdgeFeatureAlgorithm::NodeToEdgeFeatureAlgorithm(Graph& graph)
	    : m_graph(graph)
	{
		mode.setAttribute("values", "Sum, Difference, Average");
		std::vector<std::string> names;
		for (const Graph::FeatureDescriptor& descriptor : graph.nodeFeatureDescriptors())
			names.push_back(descriptor.name);
		nodeFeatureName.setAttribute("values", joinStrings(names, ","));
	}

	NodeToEdgeFeatureAlgorithm::~NodeToEdgeFeatureAlgorithm() = default;

	bool NodeToEdgeFeatureAlgorithm::createCompatible(const DataList& data, Algorithm** out)
	{
		const std::vector<Graph*> graphs = DataList::getGraphs(data);
		if (graphs.size() != 1)
			return false;
		if (out)
			*out = new NodeToEdgeFeatureAlgorithm(*graphs.front());
		return true;
	}

	void NodeToEdgeFeatureAlgorithm::compute()
	{
		if (m_graph.numNodeFeatures() == 0)
		{
			Log::log(Log::Error, {}, "No node features found.");
			m_status = InvalidInput;
			return;
		}
		std::optional<int> feature = m_graph.getNodeFeatureIdx(nodeFeatureName);
		if (!feature)
			feature = nodeFeatureIndex.value();
		if (!feature || *feature < 0 || *feature >= m_graph.numNodeFeatures())
		{
			Log::log(Log::Error, {}, "Selected node feature does not exist.");
			m_status = InvalidInput;
			return;
		}

		const bool directed = m_graph.type() == Graph::Type::Directed;
		std::function<double(double, double)> combine;
		std::string edgeFeature;
		switch (mode.value())
		{
			case Mode::Sum:
				combine = [](double a, double b) { return a + b; };
				edgeFeature = "NodeFeatureSum";
				break;
			case Mode::Difference:
				if (directed)
					combine = [](double a, double b) { return a - b; };
				else
					combine = [](double a, double b) { return std::abs(a - b); };
				edgeFeature = "NodeFeatureDifference";
				break;
			case Mode::Average:
				combine = [](double a, double b) { return (a + b) * 0.5; };
				edgeFeature = "NodeFeatureAverage";
				break;
		}
		if (!combine)
		{
			Log::log(Log::Error, {},
			         fmt::format("Unknown mode {}: expected 0 (Sum), 1 (Difference) or 2 (Average).", static_cast<int>(mode.value())));
			m_status = InvalidInput;
			return;
		}
		GraphUtils::transformNodeFeatureToEdge(m_graph, static_cast<uint64_t>(*feature), combine, edgeFeature);
		m_status = Success;
	}
}
