#include "src/algorithms/GraphImageSampling.h"

#include <optional>

#include <Eigen/Geometry>

#include "host/lib/ImageDescriptor.h"
#include "host/lib/MemImage.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"

namespace Quorvale::GraphImageSampling
{
	int sampleAtEdgeMidpoints(Graph& graph, const SharedImageSet& images, const std::string& featureName)
	{
		const SharedImage* current = images.get(-1);
		if (!current)
			throw Error("The image set holds no image to sample");
		const SharedImage& image = *current;
		if (!ImageDescriptor::isNumericPixelType(image.descriptor().pixelType()))
			throw Error("The image holds no numeric values to sample");
		std::optional<int> feature = graph.getEdgeFeatureIdx(featureName);
		if (!feature)
		{
			feature = graph.numEdgeFeatures();
			graph.addEdgeFeatureDescriptors({{featureName, 0.0}});
		}
		const Eigen::Matrix4d graphToPixel = image.descriptorWorld().worldToPixelMatrix() * graph.matrixToWorld();
		const MemImage& memory = *image.mem();
		const size_t slot = static_cast<size_t>(*feature);
		graph.editEachEdge(
		    [&](Graph::EdgeInfo& edge, const Graph::NodeInfo& a, const Graph::NodeInfo& b)
		    {
			    const Eigen::Vector3d middle = (a.position() + b.position()) * 0.5;
			    const Eigen::Vector3d pixel = (graphToPixel * middle.homogeneous()).head<3>();
			    edge.features()[slot] = 2.0 * memory.valueAt(pixel, 0, true, 0.0);
		    });
		return *feature;
	}
}
