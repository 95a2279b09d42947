#include "src/imaging/GraphToLabelMapAlgorithm.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include <fmt/format.h>

#include "host/core/Log.h"
#include "host/lib/DataList.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "src/graph/Graph.h"

namespace Quorvale
{
	namespace
	{
		// Errors and warnings go to the default category; only the notes on which path rasterises
		// (the CPU fallbacks) carry the algorithm's own category.
		const char* const kCategory = "Graph.GraphToLabelMapAlgorithm";
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
		m_output.reset();
		std::optional<LabelMapRasterisation::Job> job;
		try
		{
			job = LabelMapRasterisation::prepare(m_graph, m_referenceGrid, spacing.value(), mode.value(),
			                                     [](const std::string& warning) { Log::warn(warning); });
		}
		catch (const LabelMapRasterisation::Error& e)
		{
			Log::error(e.what());
			m_status = InvalidInput;
			return;
		}
		catch (const LabelMapRasterisation::Failure& e)
		{
			Log::error(e.what());
			m_status = Error;
			return;
		}
		const LabelMapRasterisation::WorkLists& lists = job->lists;
		const int numEdges = static_cast<int>(lists.edges.size());
		const float sampleSpacing = job->geometry.sampleSpacing();
		if (gpuWanted() && computeGPU(lists.nodes, lists.edges, lists.radii, job->grid, numEdges, job->geometry.metric, sampleSpacing))
			return;
		computeCPU(lists.nodes, lists.edges, lists.radii, job->grid, numEdges, job->geometry.metric, sampleSpacing);
	}

	bool GraphToLabelMapAlgorithm::gpuWanted() const
	{
		if (forceCPU.value())
			return false;
		const std::optional<std::string> unavailable = LabelMapRasterisation::gpuUnavailable();
		if (!unavailable)
			return true;
		Log::info(*unavailable, kCategory);
		return false;
	}

	bool GraphToLabelMapAlgorithm::computeGPU(const std::vector<Eigen::Vector4f>& nodes, const std::vector<Eigen::Vector2i>& edges,
	                                          const std::vector<float>& radii, const ImageDescriptorWorld& grid, int numEdges,
	                                          const Eigen::Vector3d& metric, float sampleSpacing)
	{
		std::unique_ptr<SharedImage> labels;
		try
		{
			labels = LabelMapRasterisation::rasteriseOnGpu(nodes, edges, radii, grid, m_graph.matrixToWorld(), metric, mode.value(), sampleSpacing,
			                                               numEdges, m_gpu);
		}
		catch (const LabelMapRasterisation::GpuError& e)
		{
			Log::info(fmt::format("The GPU cannot rasterise the graph ({}), using CPU fallback", e.what()), kCategory);
			return false;
		}
		if (!labels)
		{
			Log::info("OpenGL context not available, using CPU fallback", kCategory);
			return false;
		}
		setOutput(std::move(labels));
		m_status = Success;
		return true;
	}

	void GraphToLabelMapAlgorithm::computeCPU(const std::vector<Eigen::Vector4f>& nodes, const std::vector<Eigen::Vector2i>& edges,
	                                          const std::vector<float>& radii, const ImageDescriptorWorld& grid, int numEdges,
	                                          const Eigen::Vector3d& metric, float sampleSpacing)
	{
		try
		{
			setOutput(LabelMapRasterisation::rasterise(nodes, edges, radii, grid, m_graph.matrixToWorld(), metric, mode.value(), sampleSpacing,
			                                           0, m_progress),
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
		setOutput(std::move(image));
	}

	void GraphToLabelMapAlgorithm::setOutput(std::unique_ptr<SharedImage> labels)
	{
		m_output = std::make_unique<SharedImageSet>(std::move(labels));
		m_output->setModality(Data::LabelMap);
		m_output->setName(m_graph.name().empty() ? std::string("Label Map") : m_graph.name() + " Label Map");
	}

	OwningDataList GraphToLabelMapAlgorithm::takeOutput()
	{
		OwningDataList list;
		list.add(std::move(m_output));
		return list;
	}
}
