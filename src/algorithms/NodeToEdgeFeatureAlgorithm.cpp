#include "src/algorithms/NodeToEdgeFeatureAlgorithm.h"

#include <cmath>
#include <functional>
#include <vector>

#include <fmt/format.h>

#include "src/algorithms/AlgorithmInputs.h"
#include "host/core/Log.h"
#include "host/lib/DataList.h"
#include "src/graph/GraphUtils.h"

namespace Quorvale
{
	namespace
	{
		/// The default category, the one users' log filters know these messages by.
		const char* const kCategory = "";

		/// How a mode combines the values at an edge's two ends, and the edge feature it writes.
		struct Combination
		{
			std::function<double(double, double)> combine;
			std::string edgeFeature;
		};

		/// The combination of `mode`; empty for an unknown mode.
		std::optional<Combination> combinationFor(NodeToEdgeFeatureAlgorithm::Mode mode, bool directed)
		{
			using Mode = NodeToEdgeFeatureAlgorithm::Mode;
			switch (mode)
			{
				case Mode::Sum:
					return Combination{[](double a, double b) { return a + b; }, "NodeFeatureSum"};
				case Mode::Difference:
					if (directed)
						return Combination{[](double a, double b) { return a - b; }, "NodeFeatureDifference"};
					return Combination{[](double a, double b) { return std::abs(a - b); }, "NodeFeatureDifference"};
				case Mode::Average:
					return Combination{[](double a, double b) { return (a + b) * 0.5; }, "NodeFeatureAverage"};
			}
			return std::nullopt;
		}
	}

	NodeToEdgeFeatureAlgorithm::NodeToEdgeFeatureAlgorithm(Graph& graph)
	    : m_graph(graph)
	{
		mode.setAttribute("values", "Sum, Difference, Average");
		nodeFeatureName.setAttribute("values", AlgorithmInputs::featureNames(graph.nodeFeatureDescriptors()));
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

	std::optional<int> NodeToEdgeFeatureAlgorithm::selectedFeature() const
	{
		std::optional<int> feature = m_graph.getNodeFeatureIdx(nodeFeatureName);
		if (!feature)
			feature = nodeFeatureIndex.value();
		if (!feature || *feature < 0 || *feature >= m_graph.numNodeFeatures())
			return std::nullopt;
		return feature;
	}

	std::optional<std::string> NodeToEdgeFeatureAlgorithm::invalidSettings() const
	{
		if (m_graph.numNodeFeatures() == 0)
			return "No node features found.";
		if (!selectedFeature())
			return "Selected node feature does not exist.";
		if (!combinationFor(mode.value(), m_graph.type() == Graph::Type::Directed))
			return fmt::format("Unknown mode {}: expected 0 (Sum), 1 (Difference) or 2 (Average).", static_cast<int>(mode.value()));
		return std::nullopt;
	}

	void NodeToEdgeFeatureAlgorithm::compute()
	{
		if (const std::optional<std::string> problem = invalidSettings())
		{
			Log::log(Log::Error, kCategory, *problem);
			m_status = InvalidInput;
			return;
		}
		const Combination combination = *combinationFor(mode.value(), m_graph.type() == Graph::Type::Directed);
		GraphUtils::transformNodeFeatureToEdge(m_graph, static_cast<uint64_t>(*selectedFeature()), combination.combine, combination.edgeFeature);
		m_status = Success;
	}
}
