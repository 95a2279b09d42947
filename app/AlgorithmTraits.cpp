#include "app/AlgorithmTraits.h"

#include "host/core/Configurable.h"
#include "host/core/ParameterBase.h"
#include "host/core/Properties.h"

#include <optional>

namespace Quorvale::AlgorithmTraits
{
	namespace
	{
		struct Known
		{
			const char* id;
			Result result;
		};

		// What the graph plug-in's algorithms give.
		const Known kKnown[] = {
		    {"Graph.CenterlineGraphExtraction", Result::NewData},
		    {"Graph.CombineGraphs", Result::NewData},
		    {"Graph.ComputeFeatures", Result::InPlace},
		    {"Graph.PartitionGraphs", Result::NewData},
		    {"Graph.GraphSmoothing", Result::InPlace},
		    {"Graph.GraphToPointCloud", Result::NewData},
		    {"Graph.GraphReindexing", Result::NewData},
		    {"Graph.MinimumSpanningTree", Result::NewData},
		    {"Graph.NodeToEdgeFeature", Result::InPlace},
		    {"Graph.PruneTerminalPaths", Result::NewData},
		    {"Graph.DrawGraphAlgorithm", Result::InPlace},
		    {"Graph.EvaluateGraphAtImage", Result::InPlace},
		    {"Graph.TransferGraphFeatureToMeshAlgorithm", Result::InPlace},
		    {"Graph.GraphToLabelMapAlgorithm", Result::NewData},
		};

		const Known* known(const std::string& id)
		{
			for (const Known& entry : kKnown)
				if (id == entry.id)
					return &entry;
			return nullptr;
		}

		/// The value of a bool parameter "inPlace", read through its configuration (the parameter's class
		/// lives in the plug-in), or empty when there is none.
		std::optional<bool> inPlaceSetting(const Configurable& algorithm)
		{
			const ParameterBase* parameter = algorithm.parameter("inPlace");
			if (!parameter)
				return std::nullopt;
			Properties stored;
			parameter->configuration(stored);
			const Properties::Param* param = stored.findParam("inPlace");
			if (!param || !std::holds_alternative<bool>(param->value))
				return std::nullopt;
			return std::get<bool>(param->value);
		}
	}

	Result result(const std::string& id, const Configurable& algorithm)
	{
		if (const auto inPlace = inPlaceSetting(algorithm))
			return *inPlace ? Result::InPlace : Result::NewData;
		const Known* entry = known(id);
		return entry ? entry->result : Result::Unknown;
	}

	std::string describeResult(const std::string& id, const Configurable& algorithm)
	{
		if (inPlaceSetting(algorithm))
			return "new data; with inPlace=true its input, changed in place";
		switch (result(id, algorithm))
		{
			case Result::NewData: return "new data";
			case Result::InPlace: return "its input, changed in place";
			case Result::Unknown: break;
		}
		return "new data, or its input changed in place";
	}
}
