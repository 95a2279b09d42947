#include "src/algorithms/EvaluateGraphAtImageAlgorithm.h"

#include <Eigen/Geometry>

#include "host/core/Log.h"
#include "host/lib/DataList.h"
#include "host/lib/ImageDescriptor.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"

namespace Quorvale
{
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
			Log::log(Log::Error, {}, "No edge feature name specified");
			return;
		}
		const SharedImage* image = m_image.get(-1);
		if (!image || !ImageDescriptor::isNumericPixelType(image->descriptor().pixelType()))
		{
			Log::log(Log::Error, {}, image ? "The image holds no numeric values to sample" : "The image set holds no image to sample");
			m_status = InvalidInput;
			return;
		}

		std::optional<int> feature = m_graph.getEdgeFeatureIdx(edgeFeatureName);
		if (!feature)
		{
			feature = m_graph.numEdgeFeatures();
			m_graph.addEdgeFeatureDescriptors({{edgeFeatureName.value(), 0.0}});
		}
		const Eigen::Matrix4d graphToPixel = image->descriptorWorld().worldToPixelMatrix() * m_graph.matrixToWorld();
		const MemImage& memory = *image->mem();
		const size_t slot = static_cast<size_t>(*feature);
		m_graph.editEachEdge(
		    [&](Graph::EdgeInfo& edge, const Graph::NodeInfo& a, const Graph::NodeInfo& b)
		    {
			    const Eigen::Vector3d middle = (a.position() + b.position()) * 0.5;
			    const Eigen::Vector3d pixel = (graphToPixel * middle.homogeneous()).head<3>();
			    edge.features()[slot] = 2.0 * memory.valueAt(pixel, 0, true, 0.0);
		    });
		m_status = Success;
	}
}
