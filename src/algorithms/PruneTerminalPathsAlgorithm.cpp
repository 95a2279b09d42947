#include "src/algorithms/PruneTerminalPathsAlgorithm.h"

#include "src/algorithms/AlgorithmInputs.h"
#include "src/algorithms/GraphPruning.h"
#include "host/core/Log.h"
#include "host/lib/DataList.h"

namespace Quorvale
{
	namespace
	{
		/// The default category, the one users' log filters know these messages by.
		const char* const kCategory = "";
	}

	PruneTerminalPathsAlgorithm::PruneTerminalPathsAlgorithm(Graph& graph, SharedImageSet* distanceImage)
	    : m_graph(graph)
	    , m_distanceImage(distanceImage)
	{
		mode.setParamType(PropertiesDetail::ParamType::Enumeration);
		pruningThreshold.setAttribute("min", "0.0");
		if (distanceImage)
		{
			mode = Mode::DistanceBased;
			mode.setAttribute("values", "GlobalThreshold, DistanceBased");
			sensitivity.setAttribute("min", "0.0");
		}
		else
		{
			mode = Mode::GlobalThreshold;
			mode.setAttribute("values", "GlobalThreshold");
			sensitivity.setAttribute("hidden", "true");
		}
	}

	PruneTerminalPathsAlgorithm::~PruneTerminalPathsAlgorithm() = default;

	bool PruneTerminalPathsAlgorithm::createCompatible(const DataList& data, Algorithm** out)
	{
		const auto inputs = AlgorithmInputs::graphWithOptionalImage(data);
		if (!inputs)
			return false;
		if (out)
			*out = new PruneTerminalPathsAlgorithm(*inputs->graph, inputs->image);
		return true;
	}

	Graph& PruneTerminalPathsAlgorithm::target()
	{
		if (inPlace)
		{
			m_output.reset();
			return m_graph;
		}
		m_output = std::make_unique<Graph>(m_graph);
		return *m_output;
	}

	void PruneTerminalPathsAlgorithm::compute()
	{
		switch (mode.value())
		{
			case Mode::GlobalThreshold:
				GraphPruning::removeShortTerminalPaths(target(), pruningThreshold);
				m_status = Success;
				return;
			case Mode::DistanceBased:
				try
				{
					// The image is checked before `target` copies the graph: a refused run changes nothing.
					const SharedImage& image = GraphPruning::distanceImageOf(m_distanceImage);
					GraphPruning::removePathsDistanceBased(target(), image, sensitivity);
					m_status = Success;
				}
				catch (const GraphPruning::Error& e)
				{
					Log::log(Log::Error, kCategory, e.what());
					m_status = InvalidInput;
				}
				return;
		}
		m_status = Success;
	}

	OwningDataList PruneTerminalPathsAlgorithm::takeOutput()
	{
		OwningDataList out;
		if (!inPlace)
			out.add(std::move(m_output));
		return out;
	}

	void PruneTerminalPathsAlgorithm::removeShortTerminalPaths(Graph& graph, double threshold)
	{
		GraphPruning::removeShortTerminalPaths(graph, threshold);
	}

	void PruneTerminalPathsAlgorithm::removePathsDistanceBased(Graph& graph, const SharedImageSet* distanceImage, double sensitivity)
	{
		GraphPruning::removePathsDistanceBased(graph, GraphPruning::distanceImageOf(distanceImage), sensitivity);
	}

	void PruneTerminalPathsAlgorithm::removeThinTerminalEdges(Graph& graph, double threshold)
	{
		GraphPruning::removeThinTerminalEdges(graph, threshold);
	}
}
