#include "src/imaging/GraphToLabelMapAlgorithm.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include <fmt/format.h>

#include "host/core/Log.h"
#include "host/gl/ProgramCache.h"
#include "host/gl/ShaderStorageBuffer.h"
#include "host/lib/DataList.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "src/graph/Graph.h"

namespace Quorvale
{
	namespace
	{
		const char* const kLogCategory = "Graph.GraphToLabelMapAlgorithm";
	}

	GraphToLabelMapAlgorithm::GraphToLabelMapAlgorithm(const Graph& graph, std::optional<ImageDescriptorWorld> referenceGrid)
	    : m_graph(graph)
	    , m_referenceGrid(std::move(referenceGrid))
	{
		mode.setParamType(PropertiesDetail::ParamType::Enumeration);
		mode.setAttribute("values", "Centerline, Vessel");
		if (m_referenceGrid)
			spacing.setAttribute("hidden", "true");
	}

	GraphToLabelMapAlgorithm::~GraphToLabelMapAlgorithm() = default;

	bool GraphToLabelMapAlgorithm::createCompatible(const DataList& data, Algorithm** out)
	{
		if (data.size() == 0 || data.size() >= 3)
			return false;
		const std::vector<Graph*> graphs = DataList::getGraphs(data);
		const std::vector<SharedImageSet*> images = data.getImages(Data::ImageSet, 0);
		if (graphs.size() != 1 || graphs.size() + images.size() != static_cast<std::size_t>(data.size()))
			return false;
		std::optional<ImageDescriptorWorld> reference;
		if (!images.empty())
		{
			// A set without images has no grid to copy.
			const SharedImage* current = images.front()->get(-1);
			if (!current)
				return false;
			reference = current->descriptorWorld();
		}
		if (out)
			*out = new GraphToLabelMapAlgorithm(*graphs.front(), std::move(reference));
		return true;
	}

	void GraphToLabelMapAlgorithm::compute()
	{
		namespace Raster = LabelMapRasterisation;
		m_output.reset();
		const auto refuse = [this](const std::string& message)
		{
			Log::error(message);
			m_status = InvalidInput;
		};
		if (m_graph.empty())
			return refuse("Graph has no nodes");
		const std::optional<int> diameterIndex = m_graph.getEdgeFeatureIdx("diameter");
		if (!diameterIndex)
			return refuse("Graph does not have a diameter feature.");

		const Eigen::Vector3d gridSpacing = m_referenceGrid ? m_referenceGrid->spacing() : Eigen::Vector3d::Constant(spacing.value());
		if (auto problem = Raster::unsafeSpacing(gridSpacing))
			return refuse(*problem);
		const Raster::Geometry geometry = Raster::geometryOf(gridSpacing);
		if (auto problem = Raster::unsafeGraph(m_graph, *diameterIndex, geometry.scale))
			return refuse(*problem);
		const Raster::WorkLists lists = Raster::workLists(m_graph, *diameterIndex, geometry.scale);
		const int numEdges = static_cast<int>(lists.edges.size());

		if (std::all_of(lists.radii.begin(), lists.radii.end(), [](float r) { return r == 0.0f; }))
			Log::warn("All graph edge diameters are zero.");
		// Without edges there is no smallest or largest radius: no warning, and the smallest margin.
		std::optional<float> largestRadius;
		if (!lists.radii.empty())
		{
			const auto [smallest, largest] = std::minmax_element(lists.radii.begin(), lists.radii.end());
			largestRadius = *largest;
			if (*smallest < 1.0f)
				Log::warn(fmt::format("Smallest radius {:.3g} is smaller than one scaled unit, consider increasing the resolution.", *smallest));
		}

		ImageDescriptorWorld grid;
		if (m_referenceGrid)
			grid = *m_referenceGrid;
		else
		{
			const Geometry::AlignedBox bounds = m_graph.bounds();
			auto fitted = Raster::fittedGrid(bounds.min(), bounds.max(), spacing.value(), largestRadius);
			if (auto* problem = std::get_if<std::string>(&fitted))
				return refuse(*problem);
			grid = std::get<ImageDescriptorWorld>(fitted);
		}
		const Eigen::Matrix4f graphToPixel = Raster::graphToPixelMatrix(grid, m_graph.matrixToWorld());
		if (auto problem = Raster::unsafeEdges(lists, graphToPixel, geometry.metric, mode.value(), geometry.sampleSpacing()))
			return refuse(*problem);

		bool gpu = false;
		if (!forceCPU.value())
		{
			gpu = gpuAvailable();
			if (!gpu)
				Log::info("OpenGL 4.3 not available, using CPU fallback", kLogCategory);
		}
		if (gpu && computeGPU(lists.nodes, lists.edges, lists.radii, grid, numEdges, geometry.metric, geometry.sampleSpacing()))
			return;
		computeCPU(lists.nodes, lists.edges, lists.radii, grid, numEdges, geometry.metric, geometry.sampleSpacing());
	}

	void GraphToLabelMapAlgorithm::computeCPU(const std::vector<Eigen::Vector4f>& nodes, const std::vector<Eigen::Vector2i>& edges,
	                                          const std::vector<float>& radii, const ImageDescriptorWorld& grid, int numEdges,
	                                          const Eigen::Vector3d& metric, float sampleSpacing)
	{
		try
		{
			setOutput(LabelMapRasterisation::rasterise(nodes, edges, radii, grid, m_graph.matrixToWorld(), metric, mode.value(), sampleSpacing),
			          grid);
			m_status = Success;
		}
		catch (const std::bad_alloc&)
		{
			Log::error(fmt::format("Not enough memory for a label map of {}x{}x{} voxels.", grid.dimensions().x(), grid.dimensions().y(),
			                       grid.dimensions().z()));
			m_status = Error;
		}
		catch (const std::length_error& e)
		{
			Log::error(fmt::format("Cannot make the label map: {}", e.what()));
			m_status = Error;
		}
	}

	void GraphToLabelMapAlgorithm::setOutput(std::unique_ptr<MemImage> labels, const ImageDescriptorWorld& grid)
	{
		auto image = std::make_unique<SharedImage>(std::shared_ptr<MemImage>(std::move(labels)));
		image->setMatrixToWorld(grid.matrixToWorld());
		m_output = std::make_unique<SharedImageSet>(std::move(image));
		m_output->setModality(Data::LabelMap);
	}

	OwningDataList GraphToLabelMapAlgorithm::takeOutput()
	{
		OwningDataList list;
		list.add(std::move(m_output));
		return list;
	}
}
