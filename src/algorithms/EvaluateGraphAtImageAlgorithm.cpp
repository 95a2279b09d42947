#include "src/algorithms/EvaluateGraphAtImageAlgorithm.h"

#include "src/algorithms/AlgorithmInputs.h"
#include "src/algorithms/GraphImageSampling.h"
#include "host/core/Log.h"
#include "host/lib/DataList.h"

namespace Quorvale
{
	namespace
	{
		/// The default category, the one users' log filters know these messages by.
		const char* const kCategory = "";
	}

	EvaluateGraphAtImageAlgorithm::EvaluateGraphAtImageAlgorithm(Graph& graph, const SharedImageSet& image)
	    : m_graph(graph)
	    , m_image(image)
	{
	}

	EvaluateGraphAtImageAlgorithm::~EvaluateGraphAtImageAlgorithm() = default;

	bool EvaluateGraphAtImageAlgorithm::createCompatible(const DataList& data, Algorithm** out)
	{
		if (data.size() != 2)
			return false;
		const std::vector<Graph*> graphs = DataList::getGraphs(data);
		const std::vector<SharedImageSet*> images = data.getImages();
		if (graphs.size() != 1 || images.size() != 1)
			return false;
		if (out)
			*out = new EvaluateGraphAtImageAlgorithm(*graphs.front(), *images.front());
		return true;
	}

	void EvaluateGraphAtImageAlgorithm::compute()
	{
		if (edgeFeatureName.value().empty())
		{
			// Refused without a status of its own: the status of an earlier run stays.
			const std::string features = AlgorithmInputs::featureNames(m_graph.edgeFeatureDescriptors());
			Log::log(Log::Error, kCategory,
			         "No edge feature name specified: set edgeFeatureName to the edge feature that receives the image's values, a new "
			         "name or one of the graph's (" +
			             (features.empty() ? std::string("it has none") : features) + ")");
			return;
		}
		try
		{
			GraphImageSampling::sampleAtEdgeMidpoints(m_graph, m_image, edgeFeatureName);
			m_status = Success;
		}
		catch (const GraphImageSampling::Error& e)
		{
			Log::log(Log::Error, kCategory, e.what());
			m_status = InvalidInput;
		}
	}
}
