#include "src/algorithms/PruneTerminalPathsAlgorithm.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include <Eigen/Geometry>

#include "src/algorithms/AlgorithmInputs.h"
#include "host/core/Log.h"
#include "host/lib/DataList.h"
#include "host/lib/ImageDescriptor.h"
#include "host/lib/MemImage.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"

namespace Quorvale
{
	namespace
	{
		const char* const distanceImageMissing = "Distance image not set.";
		const char* const distanceImageNotFloat = "No valid distance image: require PixelType::Float.";

		/// Decides at each node of a walk from a terminal node whether it goes on; returns the next
		/// node or null. Arguments: current id, current record, first candidate (never null).
		template <typename Step>
		void walkFrom(const Graph& graph, uint64_t terminal, Step&& step)
		{
			graph.traverse(terminal,
			               Graph::PathChooser(
			                   [&](uint64_t current, const Graph::NodeInfo& info, const std::vector<const Graph::NodeInfo*>& candidates,
			                       const std::vector<uint64_t>&) -> const Graph::NodeInfo*
			                   {
				                   if (graph.neighborhood(current).size() > 2 || candidates.empty())
					                   return nullptr;
				                   return step(current, info, *candidates.front()) ? candidates.front() : nullptr;
			                   }));
		}

		/// Calls `f(id)` for every terminal node (exactly one neighbour entry), ascending.
		template <typename F>
		void forEachTerminalNode(const Graph& graph, F&& f)
		{
			graph.forEachNode(
			    [&f](uint64_t id, const Graph::NodeInfo&, const Graph::Neighborhood& neighbors)
			    {
				    if (neighbors.size() == 1)
					    f(id);
			    });
		}

		/// Removes the marked nodes once each, after every walk is done.
		void removeMarked(Graph& graph, std::vector<uint64_t>& marked)
		{
			std::sort(marked.begin(), marked.end());
			marked.erase(std::unique(marked.begin(), marked.end()), marked.end());
			for (uint64_t id : marked)
				graph.removeNode(id);
		}

		/// The current image of the set when it can serve as a distance image, else null.
		const SharedImage* floatDistanceImage(const SharedImageSet& distanceImage)
		{
			const SharedImage* image = distanceImage.get(-1);
			if (!image || image->descriptor().pixelType() != ImageDescriptor::Float)
				return nullptr;
			return image;
		}
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
				removeShortTerminalPaths(target(), pruningThreshold);
				m_status = Success;
				return;
			case Mode::DistanceBased:
				if (!m_distanceImage)
				{
					Log::log(Log::Error, {}, distanceImageMissing);
					m_status = InvalidInput;
					return;
				}
				if (!floatDistanceImage(*m_distanceImage))
				{
					Log::log(Log::Error, {}, distanceImageNotFloat);
					m_status = InvalidInput;
					return;
				}
				removePathsDistanceBased(target(), m_distanceImage, sensitivity);
				m_status = Success;
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
		std::vector<uint64_t> marked;
		std::vector<uint64_t> path;
		forEachTerminalNode(graph,
		                    [&](uint64_t terminal)
		                    {
			                    double length = 0.0;
			                    path.clear();
			                    walkFrom(graph, terminal,
			                             [&](uint64_t current, const Graph::NodeInfo& info, const Graph::NodeInfo& next)
			                             {
				                             length += (next.position() - info.position()).norm();
				                             if (length > threshold)
					                             return false;
				                             path.push_back(current);
				                             return true;
			                             });
			                    if (threshold > length)
				                    marked.insert(marked.end(), path.begin(), path.end());
		                    });
		removeMarked(graph, marked);
	}

	void PruneTerminalPathsAlgorithm::removePathsDistanceBased(Graph& graph, const SharedImageSet* distanceImage, double sensitivity)
	{
		if (!distanceImage)
			throw std::invalid_argument(distanceImageMissing);
		const SharedImage* image = floatDistanceImage(*distanceImage);
		if (!image)
			throw std::invalid_argument(distanceImageNotFloat);
		const MemImage& distances = *image->mem();
		// Graph coordinates → world → continuous pixel coordinates. The map is affine, so the pixel
		// position of a step's midpoint is the midpoint of its two ends' pixel positions.
		const Eigen::Matrix4d graphToPixel = image->descriptorWorld().worldToPixelMatrix() * graph.matrixToWorld();
		const auto pixelOf = [&graphToPixel](const Eigen::Vector3d& position)
		{ return Eigen::Vector3d((graphToPixel * position.homogeneous()).head<3>()); };

		std::vector<uint64_t> marked;
		std::vector<uint64_t> path;
		forEachTerminalNode(graph,
		                    [&](uint64_t terminal)
		                    {
			                    double length = 0.0;
			                    double maxValue = 0.0;
			                    path.clear();
			                    walkFrom(graph, terminal,
			                             [&](uint64_t current, const Graph::NodeInfo& info, const Graph::NodeInfo& next)
			                             {
				                             length += (next.position() - info.position()).norm();
				                             const Eigen::Vector3d sample = 0.5 * (pixelOf(info.position()) + pixelOf(next.position()));
				                             maxValue = std::max(maxValue, distances.valueAt(sample, 0, true, 0.0));
				                             if (length > maxValue * sensitivity)
					                             return false;
				                             path.push_back(current);
				                             return true;
			                             });
			                    if (maxValue * sensitivity > length)
				                    marked.insert(marked.end(), path.begin(), path.end());
		                    });
		removeMarked(graph, marked);
	}

	void PruneTerminalPathsAlgorithm::removeThinTerminalEdges(Graph& graph, double threshold)
	{
		const std::optional<int> diameter = graph.getEdgeFeatureIdx("diameter");
		std::vector<uint64_t> marked;
		forEachTerminalNode(
		    graph,
		    [&](uint64_t terminal)
		    {
			    uint64_t previous = terminal;
			    graph.traverse(terminal,
			                   Graph::PathChooser(
			                       [&](uint64_t current, const Graph::NodeInfo&, const std::vector<const Graph::NodeInfo*>& candidates,
			                           const std::vector<uint64_t>&) -> const Graph::NodeInfo*
			                       {
				                       if (current != terminal)
				                       {
					                       const double value =
					                           graph.edge(previous, current).value().features().at(static_cast<size_t>(diameter.value()));
					                       if (threshold > value)
						                       marked.push_back(previous);
					                       previous = current;
					                       const size_t entries = graph.neighborhood(current).size();
					                       if (entries > 2 || entries == 1)
						                       return nullptr;
				                       }
				                       return candidates.empty() ? nullptr : candidates.front();
			                       }));
		    });
		removeMarked(graph, marked);
	}
}
