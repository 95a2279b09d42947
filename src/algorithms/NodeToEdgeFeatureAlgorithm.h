#pragma once

#include "host/core/Parameter.h"
#include "host/lib/Algorithm.h"
#include "src/graph/Graph.h"

#include <optional>
#include <string>

namespace Quorvale
{
	/// Derives an edge feature from a node feature: every edge gets the sum, the difference or the
	/// average of the feature's values at its two ends, as "NodeFeatureSum", "NodeFeatureDifference"
	/// or "NodeFeatureAverage". Edits its input graph in place.
	class NodeToEdgeFeatureAlgorithm : public Algorithm
	{
	public:
		enum class Mode : int
		{
			Sum = 0,
			/// |a − b| on an undirected graph, source minus target on a directed one.
			Difference = 1,
			Average = 2
		};

		/// Works on `graph`, which must outlive the algorithm; offers its node feature names as the
		/// values of `nodeFeatureName`.
		explicit NodeToEdgeFeatureAlgorithm(Graph& graph);
		~NodeToEdgeFeatureAlgorithm() override;

		/// True when `data` holds exactly one graph (other items are ignored); with `out`, stores a
		/// new algorithm on it there.
		static bool createCompatible(const DataList& data, Algorithm** out);

		/// Writes (or overwrites) the mode's edge feature; status 0, or 2 (logged, graph unchanged)
		/// when the graph has no node features, the feature is named neither by `nodeFeatureName` nor
		/// by a valid `nodeFeatureIndex`, or the mode is unknown.
		void compute() override;

		Parameter<Mode> mode{"mode", Mode::Sum, this};
		/// The node feature by name; takes precedence over `nodeFeatureIndex`.
		Parameter<std::string> nodeFeatureName{"nodeFeatureName", std::string("no feature selected"), this};
		/// The node feature by position, used when `nodeFeatureName` names none.
		Parameter<std::optional<int>> nodeFeatureIndex{"nodeFeatureIndex", this};

	private:
		/// The node feature named by `nodeFeatureName`, else by `nodeFeatureIndex`, when the graph has it.
		std::optional<int> selectedFeature() const;
		/// Why the settings cannot be used: no node features, no selected feature, an unknown mode.
		/// nullopt when they can.
		std::optional<std::string> invalidSettings() const;

		Graph& m_graph;
	};
}
