#include "src/algorithms/GraphPruning.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include <Eigen/Geometry>

#include "host/lib/ImageDescriptor.h"
#include "host/lib/MemImage.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"

namespace Quorvale::GraphPruning
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
	}

	const SharedImage& distanceImageOf(const SharedImageSet* distanceImage)
	{
		if (!distanceImage)
			throw Error(distanceImageMissing);
		const SharedImage* image = distanceImage->get(-1);
		if (!image || image->descriptor().pixelType() != ImageDescriptor::Float)
			throw Error(distanceImageNotFloat);
		return *image;
	}

	void removeShortTerminalPaths(Graph& graph, double threshold)
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

	void removePathsDistanceBased(Graph& graph, const SharedImage& distanceImage, double sensitivity)
	{
		if (distanceImage.descriptor().pixelType() != ImageDescriptor::Float)
			throw Error(distanceImageNotFloat);
		const MemImage& distances = *distanceImage.mem();
		// Graph coordinates → world → continuous pixel coordinates. The map is affine, so the pixel
		// position of a step's midpoint is the midpoint of its two ends' pixel positions.
		const Eigen::Matrix4d graphToPixel = distanceImage.descriptorWorld().worldToPixelMatrix() * graph.matrixToWorld();
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

	void removeThinTerminalEdges(Graph& graph, double threshold)
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
