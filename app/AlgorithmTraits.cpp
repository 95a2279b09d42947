#include "app/AlgorithmTraits.h"

#include "app/ParameterAssignment.h"
#include "host/core/Configurable.h"
#include "host/core/ParameterBase.h"
#include "host/core/ParameterLimits.h"
#include "host/core/Properties.h"
#include "host/lib/Algorithm.h"
#include "host/lib/DataList.h"
#include "host/lib/FactoryRegistry.h"

#include <optional>
#include <regex>

namespace Quorvale::AlgorithmTraits
{
	namespace
	{
		/// Adds to a failure line what the algorithm's own message leaves out; empty when nothing.
		using Hint = std::string (*)(const Algorithm& algorithm, const std::string& lastError);

		struct Known
		{
			const char* id;
			Result result;
			const char* kind;
			const char* inputs;
			const char* summary;
			std::map<std::string, std::string> allowedByInputs;
			/// By parameter: enumeration values the algorithm offers only on other inputs, with what
			/// they need.
			std::map<std::string, std::map<std::string, std::string>> valueNeeds = {};
			Hint hint = nullptr;
		};

		/// The stored form of the parameter `name` (value and attributes), or empty when there is none.
		std::optional<Properties::Param> stored(const Configurable& algorithm, const std::string& name)
		{
			const ParameterBase* parameter = algorithm.parameter(name);
			if (!parameter)
				return std::nullopt;
			Properties properties;
			parameter->configuration(properties);
			const Properties::Param* param = properties.findParam(name);
			return param ? std::optional<Properties::Param>(*param) : std::nullopt;
		}

		/// The value of the parameter `name` as a user writes it; empty when there is none.
		std::string setting(const Configurable& algorithm, const std::string& name)
		{
			const auto param = stored(algorithm, name);
			return param ? ParameterAssignment::formatValue(*param) : std::string();
		}

		std::string labelMapHint(const Algorithm& algorithm, const std::string& lastError)
		{
			if (lastError != "Label not set.")
				return {};
			return "mode=" + setting(algorithm, "mode") + " measures in a label map, which is needed as the second input";
		}

		std::string distanceImageHint(const Algorithm&, const std::string& lastError)
		{
			if (lastError.find("distance image") == std::string::npos)
				return {};
			return "mode=DistanceBased needs a distance image, an image set of 32-bit floats, as the second input";
		}

		/// The graph's node identifiers: the largest one is the "max" of `rootIndex`, the count is in
		/// the host's description of the graph ("Graph with N nodes and M edges").
		std::string rootHint(const Algorithm& algorithm, const std::string& lastError)
		{
			const DataList& data = algorithm.factoryInfo().data;
			const auto root = stored(algorithm, "rootIndex");
			if (lastError != "Invalid root node index selected." || data.isEmpty() || !root)
				return {};
			const std::optional<double> largest = ParameterLimits::bound(*root, "max");
			std::smatch count;
			const std::string description = FactoryRegistry::get().describeData(*data.get(0));
			if (!largest || !std::regex_search(description, count, std::regex("with ([0-9]+) nodes")))
				return {};
			const long long last = static_cast<long long>(*largest);
			if (count[1] == "0")
				return "the graph has no nodes";
			if (count[1] == std::to_string(last))
				return "rootIndex must be a node identifier of the graph, 1 to " + std::to_string(last);
			return "rootIndex must be a node identifier of the graph, whose " + count[1].str() + " nodes have identifiers between 1 and " +
			       std::to_string(last);
		}

		std::string diameterHint(const Algorithm& algorithm, const std::string& lastError)
		{
			const auto name = stored(algorithm, "edgeFeatureName");
			if (!lastError.empty() || !name || ParameterAssignment::formatValue(*name) != "diameter")
				return {};
			for (const std::string& feature : ParameterLimits::valueNames(*name))
				if (feature == "diameter")
					return {};
			return "the graph has no edge feature 'diameter'; Graph.ComputeFeatures with mode=Diameter or VesselDiameter measures it";
		}

		// What the graph plug-in's algorithms take, give and do.
		const Known kKnown[] = {
		    {"Graph.CenterlineGraphExtraction", Result::NewData, "graph",
		     "one label image (an image set of one image): 8-bit values are labels, other pixel types are thresholded at 0.5",
		     "Extracts the centerline graph of the labelled vessels (resampling, closing, thinning, voxel graph, pruning, "
		     "smoothing) as a new graph.",
		     {}},
		    {"Graph.CombineGraphs", Result::NewData, "graph", "two or more graphs (other data given with them is ignored)",
		     "Merges the graphs into one new graph, node positions in world coordinates.",
		     {}},
		    {"Graph.ComputeFeatures", Result::InPlace, "graph",
		     "one graph; mode=Diameter and VesselDiameter (and CrossSection on a graph without diameters) also need a label map "
		     "as the second input",
		     "Measures edge lengths, diameters, cross-sections, node degrees or vessel diameters (by mode) into a feature of the "
		     "graph, in place.",
		     {}, {}, labelMapHint},
		    {"Graph.PartitionGraphs", Result::NewData, "graph", "one graph (other data given with it is ignored)",
		     "Splits the graph into its connected components of at least minComponentSize nodes, one new graph each, largest "
		     "first.",
		     {}},
		    {"Graph.GraphSmoothing", Result::InPlace, "graph",
		     "one graph, optionally with a label map as the second input, which mode=DistanceWeightedCurveShortening needs (the "
		     "default with one)",
		     "Smooths the node positions by neighbourhood averaging, a heat-kernel step or curve shortening against the label "
		     "map, in place.",
		     {}, {{"mode", {{"DistanceWeightedCurveShortening", "a label map as the second input"}}}}},
		    {"Graph.GraphToPointCloud", Result::NewData, "point cloud", "one or more graphs (other data given with them is ignored)",
		     "Makes one point cloud of node positions per graph.",
		     {}},
		    {"Graph.GraphReindexing", Result::NewData, "graph", "one graph (other data given with it is ignored)",
		     "Renumbers the nodes from 1 in traversal order from a root (rootIndex, or the leaf of the thickest edge), as a new "
		     "graph or in place.",
		     {{"rootIndex", "a node identifier of the graph (they start at 1)"}}, {}, rootHint},
		    {"Graph.MinimumSpanningTree", Result::NewData, "graph",
		     "one graph, optionally with a label map as the second input, in which weightMode=Diameter and "
		     "WeightedDiameterEdgeLength measure missing diameters",
		     "Reduces the graph to a spanning forest that keeps its thickest or longest connections, as a new graph.",
		     {{"edgeFeatureName", "an edge feature of the graph"}}},
		    {"Graph.NodeToEdgeFeature", Result::InPlace, "graph", "one graph with node features (other data given with it is ignored)",
		     "Writes the sum, difference or average of a node feature at each edge's two ends into an edge feature, in place.",
		     {{"nodeFeatureName", "a node feature of the graph"}}},
		    {"Graph.PruneTerminalPaths", Result::NewData, "graph",
		     "one graph; mode=DistanceBased also needs a distance image (an image set of 32-bit floats) as the second input",
		     "Removes short terminal branches, by a length threshold or against the distance image, as a new graph or in place.",
		     {}, {{"mode", {{"DistanceBased", "a distance image (an image set of 32-bit floats) as the second input"}}}}, distanceImageHint},
		    {"Graph.DrawGraphAlgorithm", Result::InPlace, "graph", "nothing, for a new empty graph, or one graph to edit",
		     "Draws or edits a graph by hand in the window's views; on the command line it makes a new empty graph.",
		     {}},
		    {"Graph.EvaluateGraphAtImage", Result::InPlace, "graph", "one graph and one image set of any pixel type, in either order",
		     "Samples the image at every edge's midpoint into the edge feature edgeFeatureName, in place.",
		     {}},
		    {"Graph.GraphMLIo", Result::NewData, "graph", "one .graphml file",
		     "Reads and writes GraphML files: node positions and node and edge features.",
		     {}},
		    {"Graph.TransferGraphFeatureToMeshAlgorithm", Result::InPlace, "mesh",
		     "one graph with the edge feature diameter and one surface mesh, in either order",
		     "Paints the vessel diameters of the graph onto the mesh's vertex colours (red by diameter), changing the mesh in "
		     "place.",
		     {{"edgeFeatureName", "an edge feature of the graph; only diameter is supported"}}, {}, diameterHint},
		    {"Graph.GraphToLabelMapAlgorithm", Result::NewData, "image set",
		     "one graph with the edge feature diameter, optionally with an image set whose grid the label map takes",
		     "Rasterises the graph's edges with their diameters into a new 8-bit label map (centerline capsules or vessel "
		     "cylinders), on the GPU or the CPU.",
		     {}},
		};

		const Known* known(const std::string& id)
		{
			for (const Known& entry : kKnown)
				if (id == entry.id)
					return &entry;
			return nullptr;
		}

		/// The value of a bool parameter "inPlace", or empty when there is none.
		std::optional<bool> inPlaceSetting(const Configurable& algorithm)
		{
			const auto param = stored(algorithm, "inPlace");
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
		const Known* entry = known(id);
		const std::string kind = entry ? std::string(entry->kind) + " " : std::string();
		const std::string inPlace = "its " + kind + "input, changed in place";
		if (inPlaceSetting(algorithm))
			return (entry ? "a new " + std::string(entry->kind) : std::string("new data")) + "; with inPlace=true " + inPlace;
		switch (result(id, algorithm))
		{
			case Result::NewData: return entry ? "a new " + std::string(entry->kind) : "new data";
			case Result::InPlace: return inPlace;
			case Result::Unknown: break;
		}
		return "new data, or its input changed in place";
	}

	std::string resultKind(const std::string& id)
	{
		const Known* entry = known(id);
		return entry ? entry->kind : std::string();
	}

	std::string inputs(const std::string& id)
	{
		const Known* entry = known(id);
		return entry ? entry->inputs : std::string();
	}

	std::string summary(const std::string& id)
	{
		const Known* entry = known(id);
		return entry ? entry->summary : std::string();
	}

	std::map<std::string, std::string> allowedByInputs(const std::string& id)
	{
		const Known* entry = known(id);
		return entry ? entry->allowedByInputs : std::map<std::string, std::string>();
	}

	std::string valueNeeds(const std::string& id, const std::string& parameter, const std::string& value)
	{
		const Known* entry = known(id);
		if (!entry)
			return {};
		const auto values = entry->valueNeeds.find(parameter);
		if (values == entry->valueNeeds.end())
			return {};
		for (const auto& [name, needs] : values->second)
			if (ParameterAssignment::sameValueName(name, value))
				return parameter + "=" + name + " needs " + needs;
		return {};
	}

	std::string failureHint(const std::string& id, const Algorithm& algorithm, const std::string& lastError)
	{
		const Known* entry = known(id);
		return entry && entry->hint ? entry->hint(algorithm, lastError) : std::string();
	}

	std::string parameterHint(const std::string& id, const std::string& parameter)
	{
		const Known* entry = known(id);
		if (!entry || std::string(entry->inputs).find(parameter + "=") == std::string::npos)
			return {};
		return id + " takes " + entry->inputs;
	}
}
