#include "src/algorithms/GraphSmoothingAlgorithm.h"

#include <cmath>

#include "src/algorithms/AlgorithmInputs.h"
#include "src/algorithms/CurveShortening.h"
#include "src/algorithms/GraphSmoothing.h"
#include "host/core/Log.h"
#include "host/lib/DataList.h"
#include "host/lib/SharedImageSet.h"

namespace Quorvale
{
	namespace
	{
		/// The default category, the one users' log filters know these messages by.
		const char* const kCategory = "";
	}

	GraphSmoothingAlgorithm::GraphSmoothingAlgorithm(Graph& graph, SharedImageSet* labelImage)
	    : m_graph(graph)
	    , m_labelImage(labelImage)
	{
		mode.setParamType(PropertiesDetail::ParamType::Enumeration);
		mode.setAttribute("values", "NeighborhoodWeightedAverage,LaplacianHeatKernel,DistanceWeightedCurveShortening");
		if (!labelImage)
		{
			mode.setAttribute("values", "NeighborhoodWeightedAverage,LaplacianHeatKernel");
			mode = Mode::NeighborhoodWeightedAverage;
		}
	}

	GraphSmoothingAlgorithm::~GraphSmoothingAlgorithm() = default;

	bool GraphSmoothingAlgorithm::createCompatible(const DataList& data, Algorithm** out)
	{
		const auto inputs = AlgorithmInputs::graphWithOptionalImage(data);
		if (!inputs)
			return false;
		if (out)
			*out = new GraphSmoothingAlgorithm(*inputs->graph, inputs->image);
		return true;
	}

	std::optional<std::string> GraphSmoothingAlgorithm::invalidSettings() const
	{
		std::string problem = strengthProblem(mode.value(), smoothingStrength.value());
		if (problem.empty())
			return std::nullopt;
		return problem;
	}

	void GraphSmoothingAlgorithm::compute()
	{
		if (const std::optional<std::string> problem = invalidSettings())
		{
			Log::log(Log::Error, kCategory, *problem);
			m_status = InvalidInput;
			return;
		}
		try
		{
			switch (mode.value())
			{
				case Mode::NeighborhoodWeightedAverage:
					GraphSmoothing::smoothByNeighborhoodAverage(m_graph, smoothingStrength, preserveTerminalEdges);
					break;
				case Mode::LaplacianHeatKernel:
					GraphSmoothing::smoothByHeatKernel(m_graph, smoothingStrength, preserveTerminalEdges);
					break;
				case Mode::DistanceWeightedCurveShortening:
					m_status = CurveShortening::run(m_graph, m_labelImage, smoothingStrength, preserveTerminalEdges);
					return;
			}
			m_status = Success;
		}
		catch (const GraphSmoothing::Error& e)
		{
			// The settings were checked: only a heat-kernel solve without a finite solution gets here.
			Log::log(Log::Error, kCategory, e.what());
			m_status = Error;
		}
	}

	OwningDataList GraphSmoothingAlgorithm::takeOutput() { return {}; }

	std::string GraphSmoothingAlgorithm::strengthProblem(Mode mode, double strength)
	{
		switch (mode)
		{
			case Mode::NeighborhoodWeightedAverage:
				return GraphSmoothing::averageStrengthProblem(strength).value_or(std::string());
			case Mode::LaplacianHeatKernel:
				return GraphSmoothing::heatKernelStrengthProblem(strength).value_or(std::string());
			case Mode::DistanceWeightedCurveShortening:
				return {};
		}
		// An unknown mode smooths nothing, but still refuses a strength that is not a number.
		return std::isfinite(strength) ? std::string() : GraphSmoothing::averageStrengthProblem(strength).value_or(std::string());
	}

	void GraphSmoothingAlgorithm::smoothByNeighborhoodAverage(Graph& graph, double strength, bool preserveTerminalEdges)
	{
		GraphSmoothing::smoothByNeighborhoodAverage(graph, strength, preserveTerminalEdges);
	}

	bool GraphSmoothingAlgorithm::smoothByHeatKernel(Graph& graph, double sigma, bool preserveTerminalEdges)
	{
		try
		{
			GraphSmoothing::smoothByHeatKernel(graph, sigma, preserveTerminalEdges);
			return true;
		}
		catch (const GraphSmoothing::Error&)
		{
			return false;
		}
	}
}
