#include "src/imaging/CenterlineGraphExtractionAlgorithm.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

#include <Eigen/Geometry>
#include <fmt/format.h>

#include "host/core/Geometry/AlignedBox.h"
#include "host/core/Log.h"
#include "host/core/Timer.h"
#include "host/lib/DataList.h"
#include "host/lib/ImageMath/ArrayGl.h"
#include "host/lib/MorphologicalOperationsAlgorithm.h"
#include "host/lib/Selection.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "src/algorithms/GraphCombination.h"
#include "src/algorithms/GraphPartition.h"
#include "src/algorithms/GraphPruning.h"
#include "src/algorithms/GraphSmoothing.h"
#include "src/algorithms/MinimumSpanningTree.h"
#include "src/graph/GraphUtils.h"
#include "src/imaging/Array.h"
#include "src/imaging/LabelVolume.h"
#include "src/imaging/MaxReduction.h"
#include "src/imaging/SkeletonGraph.h"

namespace Quorvale
{
	namespace
	{
		const char* const kCategory = "Graph.CenterlineGraphExtractionAlgorithm";

		/// The largest grid size per axis the resampling is asked for; far beyond any real volume,
		/// it only keeps absurd spacings from turning into absurd allocations.
		constexpr double kMaxGridSize = 1 << 20;

		/// Averaging runs of the graph smoothing after its heat-kernel step.
		constexpr int kAveragePasses = 5;

		void logError(const std::string& message) { Log::log(Log::Error, kCategory, message); }

		/// Logs how long a stage took, for profiling runs that accept debug records.
		void logStage(const char* stage, Timer& timer)
		{
			if (Log::isAccepted(Log::Debug, kCategory))
				Log::log(Log::Debug, kCategory, fmt::format("Stage {}: {:.6f} s", stage, timer.elapsed()));
			timer.restart();
		}

		/// "1.5" as the default stream format writes it (six significant digits).
		std::string streamed(double value)
		{
			std::ostringstream out;
			out << value;
			return out.str();
		}

		/// A stage of the extraction that cannot go on: `compute` logs the message as an error and
		/// ends with the status.
		class StageFailure : public std::runtime_error
		{
		public:
			explicit StageFailure(const std::string& message, int status = Algorithm::Error)
			    : std::runtime_error(message)
			    , m_status(status)
			{
			}
			int status() const { return m_status; }

		private:
			int m_status;
		};

		/// The coarsest spacing of the image: the larger of x and y, and of z in a 3-D image.
		double coarsestSpacing(const ImageDescriptor& layout)
		{
			const Eigen::Vector3d& spacing = layout.spacing();
			double largest = std::max(spacing.x(), spacing.y());
			if (layout.dimension() == 3)
				largest = std::max(largest, spacing.z());
			return largest;
		}

		/// Why distances over the labels of `layout`, at its own spacing and at `target`, cannot be
		/// measured: the distance images of the pruning (and of the diameters measured on the graph
		/// later) square them in single precision. A labelled voxel lies within half the shortest side
		/// of the label bounds, and a voxel or two of resampling, of the background; the bounds are
		/// taken as the whole image, so that the check comes before any work.
		std::optional<std::string> unmeasurableSpacing(const ImageDescriptor& layout, double target)
		{
			const int axes = layout.dimension() == 3 ? 3 : 2;
			const Eigen::Vector3d& s = layout.spacing();
			const std::string spacing = fmt::format("The label image's spacing ({:.6g}, {:.6g}, {:.6g}) mm", s.x(), s.y(), s.z());
			double finest = s.x(), shortestSide = s.x() * layout.dimensions().x();
			for (int a = 1; a < axes; ++a)
			{
				finest = std::min(finest, s[a]);
				shortestSide = std::min(shortestSide, s[a] * layout.dimensions()[a]);
			}
			if (finest < LabelVolume::finestSpacing())
				return fmt::format("{} is too fine to measure: distances are squared in single precision, which resolves spacings from "
				                   "{:.3g} mm.",
				                   spacing, LabelVolume::finestSpacing());
			const double longest = 0.5 * shortestSide + 2.0 * target;
			if (!(longest <= LabelVolume::longestDistance()))
				return fmt::format("{}{} is too coarse to measure: distances within the image may reach {:.3g} mm, and single precision "
				                   "squares distances up to {:.3g} mm.",
				                   spacing,
				                   target > s.head(axes).maxCoeff() ? fmt::format(" with the target spacing {:.6g} mm", target) : "",
				                   longest, LabelVolume::longestDistance());
			return std::nullopt;
		}

		/// Why the samples that cover the labels make no grid with a margin of `margin` voxels, or
		/// nothing when they do. Only x and y count in a 2-D image.
		std::optional<std::string> unusableSamples(const Eigen::Vector3d& samples, bool twoD, double target, int margin)
		{
			// The grid keeps a few voxels around the labels even for a single labelled voxel.
			constexpr double kBorder = 5.0;
			double widest = kBorder;
			for (int a = 0; a < (twoD ? 2 : 3); ++a)
			{
				if (!std::isfinite(samples[a]) || samples[a] > kMaxGridSize)
					return fmt::format("The label bounds need {} samples on axis {} at spacing {}; that grid cannot be made.", samples[a],
					                   a, target);
				widest = std::max(widest, samples[a] + kBorder);
			}
			// A closing wider than the labels themselves closes nothing more, and its margin would
			// only inflate the grid.
			if (margin > widest)
				return fmt::format("A closing of {} voxels is wider than the label bounds ({} voxels at spacing {}); use at most {}.",
				                   margin, widest, target, widest);
			return std::nullopt;
		}

		/// The largest value of the image, or empty when it has none (no pixels).
		std::optional<double> largestValue(SharedImage& image)
		{
			ImageMath::ArrayImage array(image, false, ImageMath::internal::ArrayGl::nearestFilter,
			                            ImageMath::internal::ArrayGl::clampToEdge);
			ImageMath::MaxReduction<ImageMath::ArrayImage> reduction(array, ImageMath::ImgOps::max{}, Selection());
			Eigen::VectorXd maxima;
			reduction.reduce(maxima);
			if (maxima.size() == 0)
				return std::nullopt;
			const double largest = maxima.maxCoeff();
			// The lowest double is the reduction's "no value".
			if (largest == std::numeric_limits<double>::lowest())
				return std::nullopt;
			return largest;
		}

		/// Runs one step of the graph clean-up. An error of type `InnerError` that the step reports is
		/// logged as the algorithm it belongs to logs it, in the default category, and the pipeline
		/// goes on without that step's result, as it does after any inner step that fails.
		template <typename InnerError, typename Step>
		void relayInnerErrors(Step&& step)
		{
			try
			{
				step();
			}
			catch (const InnerError& e)
			{
				Log::log(Log::Error, {}, e.what());
			}
		}
	}

	CenterlineGraphExtractionAlgorithm::CenterlineGraphExtractionAlgorithm(SharedImageSet& input)
	    : m_input(input)
	{
		mode.setParamType(PropertiesDetail::ParamType::Enumeration);
		mode.setAttribute("values", "Skeletonization");
		minPixelResolution.setAttribute("hidden", "true");
		minVesselDiameter.setAttribute("min", "0.0");
		minVesselDiameter.setAttribute("tooltip", "Smallest vessel diameter (in mm) that should be accurately resolved.");
		closeHolesSize.setAttribute("min", "1");
		closeHolesSize.setAttribute(
		    "tooltip", "Kernel size (in pixels) used for the morphological closing operation to fill small holes in a preprocessing step.");
		prunePathsSensitivity.setAttribute("min", "0.0");
		prunePathsSensitivity.setAttribute("tooltip", "Higher sensitivity results in more aggressive removal of smaller paths.");
		graphSmoothing.setAttribute("min", "0.0");
	}

	CenterlineGraphExtractionAlgorithm::~CenterlineGraphExtractionAlgorithm() = default;

	bool CenterlineGraphExtractionAlgorithm::createCompatible(const DataList& data, Algorithm** out)
	{
		const std::vector<SharedImageSet*> images = data.getImages(0, 0);
		if (static_cast<int>(images.size()) != data.size() || images.size() != 1 || images.front()->size() != 1)
			return false;
		if (out)
			*out = new CenterlineGraphExtractionAlgorithm(*images.front());
		return true;
	}

	std::optional<RawSkeletonGraph> CenterlineGraphExtractionAlgorithm::skeletonAsRawGraph(const SharedImage& image, bool simplify)
	{
		return SkeletonGraph::skeletonAsRawGraph(image, simplify);
	}

	std::unique_ptr<Graph> CenterlineGraphExtractionAlgorithm::rawSkeletonGraphToGraph(const RawSkeletonGraph& graph,
	                                                                                   ImageDescriptorWorld descriptor,
	                                                                                   SharedImage* potential)
	{
		return SkeletonGraph::rawSkeletonGraphToGraph(graph, descriptor, potential);
	}

	std::variant<ImageDescriptorWorld, std::string> CenterlineGraphExtractionAlgorithm::labelGrid(const SharedImageSet& set, double target,
	                                                                                              int margin)
	{
		const SharedImage* image = set.get(-1);
		if (!image)
			return std::string("The label image set holds no image.");
		if (!(target > 0.0) || !std::isfinite(target))
			return fmt::format("Invalid target spacing {}.", target);
		if (margin < 0)
			return fmt::format("Invalid margin {}: it must not be negative.", margin);

		const ImageDescriptorWorld descriptor = image->descriptorWorld();
		const std::optional<Geometry::AlignedBox> bounds = LabelVolume::labelBounds(*image);
		if (!bounds)
			return std::string("The label image holds no labels.");
		const Eigen::Vector3d samples = LabelVolume::samplesAcross(descriptor, *bounds, target);
		if (auto problem = unusableSamples(samples, descriptor.dimension() == 2, target, margin))
			return *problem;
		// At least two voxels beyond the margin on each side, and odd sizes: n + 2 margin + 4 or 5.
		return LabelVolume::gridAround(descriptor, *bounds, samples, target, {margin + 2, true, true});
	}

	std::unique_ptr<SharedImageSet> CenterlineGraphExtractionAlgorithm::resampleToLabelBounds(const SharedImageSet& set, double target,
	                                                                                          int margin) const
	{
		auto grid = labelGrid(set, target, margin);
		if (const auto* problem = std::get_if<std::string>(&grid))
		{
			logError(*problem);
			return nullptr;
		}
		return LabelVolume::resample(set, std::get<ImageDescriptorWorld>(grid));
	}

	void CenterlineGraphExtractionAlgorithm::compute()
	{
		m_status = Error;
		if (m_input.size() == 0)
		{
			logError("Empty input image set provided.");
			return;
		}
		if (mode.value() != Mode::Skeletonization)
		{
			logError("Not implemented.");
			return;
		}

		try
		{
			if (const std::optional<std::string> problem = invalidSettings())
				throw StageFailure(*problem, InvalidInput);
			m_status = runStages();
		}
		catch (const StageFailure& failure)
		{
			logError(failure.what());
			m_status = failure.status();
		}
		catch (const std::bad_alloc&)
		{
			logError("Centerline extraction ran out of memory.");
			m_status = Error;
		}
		catch (const std::exception& e)
		{
			logError(std::string("Centerline extraction failed: ") + e.what());
			m_status = Error;
		}
	}

	std::optional<std::string> CenterlineGraphExtractionAlgorithm::invalidSettings() const
	{
		const ImageDescriptor& layout = m_input.get(-1)->descriptor();
		if (!ImageDescriptor::isNumericPixelType(layout.pixelType()))
			return fmt::format("The label image has pixel type {}, which holds no numeric values.", layout.pixelType());
		// These would turn the grid sizes into NaN or infinity; refuse them before allocating anything.
		const Eigen::Vector3d& inputSpacing = layout.spacing();
		for (int a = 0; a < (layout.dimension() == 3 ? 3 : 2); ++a)
			if (!(inputSpacing[a] > 0.0) || !std::isfinite(inputSpacing[a]))
				return fmt::format("Invalid image spacing ({}, {}, {}): every spacing must be positive and finite.", inputSpacing.x(),
				                   inputSpacing.y(), inputSpacing.z());
		if (minPixelResolution.value() < 1)
			return fmt::format("minPixelResolution must be at least 1, got {}.", minPixelResolution.value());
		if (closeHolesSize.value() && *closeHolesSize.value() < 0)
			return fmt::format("closeHolesSize must not be negative, got {}.", *closeHolesSize.value());
		// The smoothing runs one heat-kernel step and five averages of that strength.
		const double smoothing = graphSmoothing.value();
		const double largestSmoothing = GraphSmoothing::kMaxAveragePasses / kAveragePasses;
		if (!(smoothing >= 0.0 && smoothing <= largestSmoothing))
			return fmt::format("graphSmoothing must be a number from 0 to {}, got {}.", largestSmoothing, smoothing);
		const double target = targetSpacing(coarsestSpacing(layout));
		if (!std::isfinite(target))
			return fmt::format("minVesselDiameter must be finite, got {}.", minVesselDiameter.value());
		return unmeasurableSpacing(layout, target);
	}

	double CenterlineGraphExtractionAlgorithm::targetSpacing(double coarsest) const
	{
		// Never finer than the coarsest axis of the input.
		return std::max(coarsest, minVesselDiameter.value() / static_cast<double>(minPixelResolution.value()));
	}

	int CenterlineGraphExtractionAlgorithm::runStages()
	{
		Timer timer;
		std::unique_ptr<SharedImageSet> binarised = LabelVolume::binarise(m_input);
		const std::optional<double> largest = largestValue(*binarised->get(0));
		// A label image without voxels has no largest value; either way there is nothing to extract.
		if (!largest || !(*largest > 0.0))
		{
			Log::log(Log::Warning, kCategory, "Input label image is empty.");
			m_output = std::make_unique<Graph>(Graph::Type::Undirected, binarised->get(0)->descriptor().dimension() == 2
			                                                                ? Graph::Dimension::TwoD
			                                                                : Graph::Dimension::ThreeD);
			return Error;
		}
		logStage("binarise", timer);

		std::unique_ptr<SharedImageSet> resampled = resampleBinarised(std::move(binarised));
		logStage("resample", timer);
		if (closeHolesSize.value())
		{
			closeHoles(*resampled);
			logStage("close", timer);
		}
		skeletonise(*resampled);
		logStage("skeleton", timer);

		const RawSkeletonGraph raw = voxelGraph();
		logStage("voxel graph", timer);
		std::unique_ptr<Graph> graph = graphInInputFrame(raw);
		logStage("graph", timer);
		graph = keepLargeComponents(std::move(graph));
		logStage("partition", timer);
		pruneTerminalPaths(*graph, *resampled, timer);
		logStage("prune", timer);
		if (graphSmoothing.value() > 0.0)
		{
			smooth(*graph);
			logStage("smooth", timer);
		}
		if (removeCycles.value())
		{
			graph = spanningTree(std::move(graph));
			logStage("spanning tree", timer);
		}

		m_output = std::move(graph);
		if (!GraphUtils::isAcyclic(*m_output))
			Log::log(Log::Warning, kCategory, "Graph is not acyclic.");
		return Success;
	}

	std::unique_ptr<SharedImageSet> CenterlineGraphExtractionAlgorithm::resampleBinarised(std::unique_ptr<SharedImageSet> binarised) const
	{
		const double largestSpacing = coarsestSpacing(m_input.get(-1)->descriptor());
		const double target = targetSpacing(largestSpacing);
		Log::log(Log::Info, kCategory, "Resampling from " + streamed(largestSpacing) + " to " + streamed(target) + "\n");

		auto grid = labelGrid(*binarised, target, closeHolesSize.value().value_or(0));
		if (const auto* problem = std::get_if<std::string>(&grid))
			throw StageFailure(*problem, InvalidInput);
		std::unique_ptr<SharedImageSet> resampled = LabelVolume::resample(*binarised, std::get<ImageDescriptorWorld>(grid));
		// The binarised full-size image is not needed any more.
		binarised.reset();
		if (!resampled || resampled->size() == 0)
			throw StageFailure("Could not resample input");
		if (Log::isAccepted(Log::Debug, kCategory))
		{
			const Eigen::Vector3i& n = resampled->get(0)->descriptor().dimensions();
			Log::log(Log::Debug, kCategory, fmt::format("Resampled grid {} x {} x {}", n.x(), n.y(), n.z()));
		}
		return resampled;
	}

	void CenterlineGraphExtractionAlgorithm::closeHoles(SharedImageSet& resampled)
	{
		MorphologicalOperationsAlgorithm closing(resampled);
		closing.setInPlace(true);
		closing.setProgress(m_progress);
		closing.setOpMode(MorphologicalOperationsAlgorithm::Closing);
		closing.setOpSize(*closeHolesSize.value());
		closing.compute();
		if (closing.status() != Success)
			throw StageFailure("Could not close the holes of the resampled labels.", closing.status());
	}

	void CenterlineGraphExtractionAlgorithm::skeletonise(SharedImageSet& closed)
	{
		{
			MorphologicalOperationsAlgorithm thinning(closed);
			thinning.setInPlace(false);
			thinning.setProgress(m_progress);
			thinning.setOpMode(MorphologicalOperationsAlgorithm::Skeletonization);
			thinning.compute();
			m_skeleton = thinning.takeOutput().extractFirstImage(0, 0);
		}
		if (!m_skeleton || m_skeleton->size() == 0)
		{
			m_skeleton.reset();
			throw StageFailure("Failed to compute skeleton.");
		}
	}

	RawSkeletonGraph CenterlineGraphExtractionAlgorithm::voxelGraph() const
	{
		std::optional<RawSkeletonGraph> raw = skeletonAsRawGraph(*m_skeleton->get(0), true);
		if (!raw)
			throw StageFailure("Failed to extract skeleton as graph.");
		return std::move(*raw);
	}

	std::unique_ptr<Graph> CenterlineGraphExtractionAlgorithm::graphInInputFrame(const RawSkeletonGraph& raw) const
	{
		std::unique_ptr<Graph> graph = rawSkeletonGraphToGraph(raw, m_skeleton->get(0)->descriptorWorld(), nullptr);
		if (!graph)
			throw StageFailure("Failed to extract skeleton as graph.");
		// Into the image coordinates of the input: skeleton image -> world -> input image.
		const Eigen::Matrix4d toInput = m_input.matrixFromWorld() * graph->matrixToWorld();
		graph->editEachNode([&toInput](uint64_t, Graph::NodeInfo& node)
		                    { node.position() = (toInput * node.position().homogeneous()).head<3>(); });
		graph->setMatrixToWorld(m_input.matrixToWorld());
		return graph;
	}

	std::unique_ptr<Graph> CenterlineGraphExtractionAlgorithm::keepLargeComponents(std::unique_ptr<Graph> graph) const
	{
		std::vector<std::unique_ptr<Graph>> components = GraphPartition::componentGraphs(*graph, minComponentSize.value());
		if (components.empty())
		{
			logError("Partitioning failed.");
			return graph;
		}
		if (components.size() == 1)
			return std::move(components.front());
		std::vector<const Graph*> parts(components.size());
		std::transform(components.begin(), components.end(), parts.begin(), [](const auto& component) { return component.get(); });
		// Without a combined graph the unpartitioned one stays.
		std::unique_ptr<Graph> combined;
		relayInnerErrors<GraphCombination::Error>([&] { combined = GraphCombination::combine(parts); });
		return combined ? std::move(combined) : std::move(graph);
	}

	void CenterlineGraphExtractionAlgorithm::pruneTerminalPaths(Graph& graph, const SharedImageSet& closed, Timer& timer) const
	{
		const std::unique_ptr<SharedImageSet> distances = LabelVolume::distanceImage(closed);
		logStage("distance", timer);
		relayInnerErrors<GraphPruning::Error>(
		    [&]
		    {
			    const SharedImage& distance = GraphPruning::distanceImageOf(distances.get());
			    GraphPruning::removePathsDistanceBased(graph, distance, prunePathsSensitivity.value());
		    });
	}

	void CenterlineGraphExtractionAlgorithm::smooth(Graph& graph) const
	{
		// Terminal nodes keep their places, as the smoothing algorithm does by default.
		constexpr bool kPreserveTerminalEdges = true;
		relayInnerErrors<GraphSmoothing::Error>(
		    [&] { GraphSmoothing::smoothByHeatKernel(graph, graphSmoothing.value(), kPreserveTerminalEdges); });
		for (int pass = 0; pass < kAveragePasses; ++pass)
			relayInnerErrors<GraphSmoothing::Error>(
			    [&] { GraphSmoothing::smoothByNeighborhoodAverage(graph, graphSmoothing.value(), kPreserveTerminalEdges); });
	}

	std::unique_ptr<Graph> CenterlineGraphExtractionAlgorithm::spanningTree(std::unique_ptr<Graph> graph) const
	{
		// Without a tree the graph before it stays.
		std::unique_ptr<Graph> tree;
		relayInnerErrors<MinimumSpanningTree::Error>([&] { tree = MinimumSpanningTree::byEdgeLength(*graph, true); });
		return tree ? std::move(tree) : std::move(graph);
	}

	OwningDataList CenterlineGraphExtractionAlgorithm::takeOutput()
	{
		OwningDataList list;
		list.add(std::move(m_output));
		return list;
	}
}
