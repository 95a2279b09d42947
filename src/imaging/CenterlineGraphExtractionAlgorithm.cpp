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
#include "host/lib/DistanceTransform.h"
#include "host/lib/ImageMath/ArrayGl.h"
#include "host/lib/ImageProcessing.h"
#include "host/lib/ImageResamplingAlgorithm.h"
#include "host/lib/LabelStatistics.h"
#include "host/lib/MorphologicalOperationsAlgorithm.h"
#include "host/lib/Selection.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "src/algorithms/CombineGraphsAlgorithm.h"
#include "src/algorithms/GraphSmoothingAlgorithm.h"
#include "src/algorithms/MinimumSpanningTreeAlgorithm.h"
#include "src/algorithms/PartitionGraphsAlgorithm.h"
#include "src/algorithms/PruneTerminalPathsAlgorithm.h"
#include "src/graph/GraphUtils.h"
#include "src/imaging/Array.h"
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

		/// The binarised label image: an unsigned 8-bit image as it is (label values kept), any other
		/// numeric type thresholded at 0.5 on its original values.
		std::unique_ptr<SharedImage> binarise(const SharedImage& image)
		{
			std::shared_ptr<MemImage> memory;
			if (image.descriptor().pixelType() == ImageDescriptor::UnsignedChar)
				memory = dynamic_cast<const TypedImage<unsigned char>&>(*image.mem()).clone();
			else
				memory = ImageProcessing::createThresholded(*image.mem(), 0.5,
				                                            ImageProcessing::StrictlyGreater | ImageProcessing::OriginalValues);
			auto binarised = std::make_unique<SharedImage>(std::move(memory));
			binarised->setMatrix(image.matrix());
			binarised->setModality(Data::LabelMap);
			return binarised;
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

		/// The first item of the list that is a graph, taken out of it.
		std::unique_ptr<Graph> takeFirstGraph(OwningDataList list) { return list.extractFirst<Graph>(); }
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

		ImageDescriptorWorld grid = image->descriptorWorld();
		const auto bounds = LabelStatistics::computeBounds(*image->mem());
		if (bounds.empty())
			return std::string("The label image holds no labels.");
		Geometry::AlignedBox box;
		for (const auto& [label, labelBounds] : bounds)
		{
			box.addPoint(labelBounds.min.cast<double>());
			box.addPoint(labelBounds.max.cast<double>());
		}

		// std::round rounds halves away from zero.
		const Eigen::Vector3d centrePixel = box.center().unaryExpr([](double v) { return std::round(v); });
		const Eigen::Vector3d centreWorld = grid.pixelToWorld(centrePixel);
		const Eigen::Vector3d extent = box.max() - box.min();
		const bool twoD = grid.dimension() == 2;

		Eigen::Vector3i sizes;
		// The grid keeps a few voxels around the labels even for a single labelled voxel.
		constexpr double kBorder = 5.0;
		double widest = kBorder;
		for (int a = 0; a < (twoD ? 2 : 3); ++a)
		{
			const double samples = std::ceil(grid.spacing()[a] * extent[a] / target);
			if (!std::isfinite(samples) || samples > kMaxGridSize)
				return fmt::format("The label bounds need {} samples on axis {} at spacing {}; that grid cannot be made.", samples, a,
				                   target);
			widest = std::max(widest, samples + kBorder);
			sizes[a] = static_cast<int>(samples);
		}
		// A closing wider than the labels themselves closes nothing more, and its margin would
		// only inflate the grid.
		if (margin > widest)
			return fmt::format("A closing of {} voxels is wider than the label bounds ({} voxels at spacing {}); use at most {}.", margin,
			                   widest, target, widest);
		for (int a = 0; a < 3; ++a)
		{
			const int n = twoD && a == 2 ? 0 : sizes[a];
			sizes[a] = n + 2 * margin + (n % 2 == 1 ? 4 : 5);
		}
		Eigen::Vector3d spacing = Eigen::Vector3d::Constant(target);
		if (twoD)
		{
			spacing.z() = 1.0;
			sizes.z() = 1;
		}
		grid.setDimensions(sizes, 0);
		grid.setSpacing(spacing, grid.isMetric());
		Eigen::Matrix4d matrix = image->matrixToWorld();
		matrix.topRightCorner<3, 1>() = centreWorld;
		grid.setMatrixToWorld(matrix);
		return grid;
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
		ImageResamplingAlgorithm resampling(set, {std::get<ImageDescriptorWorld>(grid)});
		resampling.setReductionMode(ImageResamplingAlgorithm::Maximum);
		resampling.compute();
		return resampling.takeOutput().extractFirstImage(0, 0);
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
			Timer timer;
			const SharedImage& labels = *m_input.get(-1);
			const ImageDescriptor& layout = labels.descriptor();
			if (!ImageDescriptor::isNumericPixelType(layout.pixelType()))
			{
				logError(fmt::format("The label image has pixel type {}, which holds no numeric values.", layout.pixelType()));
				m_status = InvalidInput;
				return;
			}
			// These would turn the grid sizes into NaN or infinity; refuse them before allocating anything.
			const bool threeD = layout.dimension() == 3;
			const Eigen::Vector3d& inputSpacing = layout.spacing();
			for (int a = 0; a < (threeD ? 3 : 2); ++a)
				if (!(inputSpacing[a] > 0.0) || !std::isfinite(inputSpacing[a]))
				{
					logError(fmt::format("Invalid image spacing ({}, {}, {}): every spacing must be positive and finite.", inputSpacing.x(),
					                     inputSpacing.y(), inputSpacing.z()));
					m_status = InvalidInput;
					return;
				}
			if (minPixelResolution.value() < 1)
			{
				logError(fmt::format("minPixelResolution must be at least 1, got {}.", minPixelResolution.value()));
				m_status = InvalidInput;
				return;
			}
			if (closeHolesSize.value() && *closeHolesSize.value() < 0)
			{
				logError(fmt::format("closeHolesSize must not be negative, got {}.", *closeHolesSize.value()));
				m_status = InvalidInput;
				return;
			}
			// The smoothing runs one heat-kernel step and five averages of that strength.
			const double smoothing = graphSmoothing.value();
			const double largestSmoothing = GraphSmoothingAlgorithm::kMaxAveragePasses / kAveragePasses;
			if (!(smoothing >= 0.0 && smoothing <= largestSmoothing))
			{
				logError(fmt::format("graphSmoothing must be a number from 0 to {}, got {}.", largestSmoothing, smoothing));
				m_status = InvalidInput;
				return;
			}
			double largestSpacing = std::max(inputSpacing.x(), inputSpacing.y());
			if (threeD)
				largestSpacing = std::max(largestSpacing, inputSpacing.z());
			// Never finer than the coarsest axis of the input.
			const double target = std::max(largestSpacing, minVesselDiameter.value() / static_cast<double>(minPixelResolution.value()));
			if (!std::isfinite(target))
			{
				logError(fmt::format("minVesselDiameter must be finite, got {}.", minVesselDiameter.value()));
				m_status = InvalidInput;
				return;
			}

			std::unique_ptr<SharedImage> binarised = binarise(labels);
			const std::optional<double> largest = largestValue(*binarised);
			// A label image without voxels has no largest value; either way there is nothing to extract.
			if (!largest || !(*largest > 0.0))
			{
				Log::log(Log::Warning, kCategory, "Input label image is empty.");
				m_output = std::make_unique<Graph>(
				    Graph::Type::Undirected, binarised->descriptor().dimension() == 2 ? Graph::Dimension::TwoD : Graph::Dimension::ThreeD);
				return;
			}
			logStage("binarise", timer);

			std::unique_ptr<SharedImageSet> working = m_input.clone(SharedImageSet::CloneWithoutImages);
			working->add(std::move(binarised));
			Log::log(Log::Info, kCategory, "Resampling from " + streamed(largestSpacing) + " to " + streamed(target) + "\n");

			const int margin = closeHolesSize.value().value_or(0);
			auto grid = labelGrid(*working, target, margin);
			if (const auto* problem = std::get_if<std::string>(&grid))
			{
				logError(*problem);
				m_status = InvalidInput;
				return;
			}
			std::unique_ptr<SharedImageSet> resampled;
			{
				ImageResamplingAlgorithm resampling(*working, {std::get<ImageDescriptorWorld>(grid)});
				resampling.setReductionMode(ImageResamplingAlgorithm::Maximum);
				resampling.compute();
				resampled = resampling.takeOutput().extractFirstImage(0, 0);
			}
			// The binarised full-size image is not needed any more.
			working.reset();
			if (!resampled || resampled->size() == 0)
			{
				logError("Could not resample input");
				return;
			}
			if (Log::isAccepted(Log::Debug, kCategory))
			{
				const Eigen::Vector3i& n = resampled->get(0)->descriptor().dimensions();
				Log::log(Log::Debug, kCategory, fmt::format("Resampled grid {} x {} x {}", n.x(), n.y(), n.z()));
			}
			logStage("resample", timer);

			if (closeHolesSize.value())
			{
				MorphologicalOperationsAlgorithm closing(*resampled);
				closing.setInPlace(true);
				closing.setProgress(m_progress);
				closing.setOpMode(MorphologicalOperationsAlgorithm::Closing);
				closing.setOpSize(*closeHolesSize.value());
				closing.compute();
				if (closing.status() != Success)
				{
					logError("Could not close the holes of the resampled labels.");
					m_status = closing.status();
					return;
				}
				logStage("close", timer);
			}

			{
				MorphologicalOperationsAlgorithm thinning(*resampled);
				thinning.setInPlace(false);
				thinning.setProgress(m_progress);
				thinning.setOpMode(MorphologicalOperationsAlgorithm::Skeletonization);
				thinning.compute();
				m_skeleton = thinning.takeOutput().extractFirstImage(0, 0);
			}
			if (!m_skeleton || m_skeleton->size() == 0)
			{
				m_skeleton.reset();
				logError("Failed to compute skeleton.");
				return;
			}
			logStage("skeleton", timer);

			const std::optional<RawSkeletonGraph> raw = skeletonAsRawGraph(*m_skeleton->get(0), true);
			if (!raw)
			{
				logError("Failed to extract skeleton as graph.");
				return;
			}
			logStage("voxel graph", timer);

			buildAndCleanGraph(*raw, *resampled);
			if (m_status == Success && !GraphUtils::isAcyclic(*m_output))
				Log::log(Log::Warning, kCategory, "Graph is not acyclic.");
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

	void CenterlineGraphExtractionAlgorithm::buildAndCleanGraph(const RawSkeletonGraph& raw, const SharedImageSet& resampled)
	{
		Timer timer;
		std::unique_ptr<Graph> graph = rawSkeletonGraphToGraph(raw, m_skeleton->get(0)->descriptorWorld(), nullptr);
		if (!graph)
		{
			logError("Failed to extract skeleton as graph.");
			return;
		}

		// Into the image coordinates of the input: skeleton image -> world -> input image.
		const Eigen::Matrix4d toInput = m_input.matrixFromWorld() * graph->matrixToWorld();
		graph->editEachNode([&toInput](uint64_t, Graph::NodeInfo& node)
		                    { node.position() = (toInput * node.position().homogeneous()).head<3>(); });
		graph->setMatrixToWorld(m_input.matrixToWorld());
		logStage("graph", timer);

		{
			PartitionGraphsAlgorithm partition(*graph);
			partition.minComponentSize = minComponentSize.value();
			partition.compute();
			std::vector<std::unique_ptr<Graph>> components;
			for (auto& item : partition.takeOutput().extractAll())
				if (auto* component = dynamic_cast<Graph*>(item.get()))
				{
					item.release();
					components.emplace_back(component);
				}
			if (components.empty())
				logError("Partitioning failed.");
			else if (components.size() == 1)
				graph = std::move(components.front());
			else
			{
				std::vector<Graph*> parts;
				for (const auto& component : components)
					parts.push_back(component.get());
				CombineGraphsAlgorithm combine(parts);
				combine.compute();
				// Without a combined graph the unpartitioned one stays.
				if (auto combined = takeFirstGraph(combine.takeOutput()))
					graph = std::move(combined);
			}
		}
		logStage("partition", timer);

		{
			const SharedImage& closed = *resampled.get(0);
			auto distance = DistanceTransform::computeChamfer(dynamic_cast<const TypedImage<unsigned char>&>(*closed.mem()), true, true, 0);
			distance->setSpacing(closed.descriptor().spacing(), closed.descriptor().isMetric());
			auto distanceImage = std::make_unique<SharedImage>(std::move(distance));
			distanceImage->setMatrixToWorld(resampled.matrixToWorld());
			SharedImageSet distanceSet(std::move(distanceImage));
			logStage("distance", timer);

			PruneTerminalPathsAlgorithm prune(*graph, &distanceSet);
			prune.sensitivity = prunePathsSensitivity.value();
			prune.inPlace = true;
			prune.compute();
		}
		logStage("prune", timer);

		if (graphSmoothing.value() > 0.0)
		{
			GraphSmoothingAlgorithm smoothing(*graph, nullptr);
			smoothing.mode = GraphSmoothingAlgorithm::Mode::LaplacianHeatKernel;
			smoothing.smoothingStrength = graphSmoothing.value();
			smoothing.compute();
			smoothing.mode = GraphSmoothingAlgorithm::Mode::NeighborhoodWeightedAverage;
			smoothing.smoothingStrength = graphSmoothing.value();
			for (int pass = 0; pass < kAveragePasses; ++pass)
				smoothing.compute();
			logStage("smooth", timer);
		}

		if (removeCycles.value())
		{
			MinimumSpanningTreeAlgorithm tree(*graph, nullptr);
			tree.weightMode = MinimumSpanningTreeAlgorithm::WeightMode::EdgeLength;
			tree.pruneBySegment = true;
			tree.compute();
			// Without a tree the graph before it stays.
			if (auto result = takeFirstGraph(tree.takeOutput()))
				graph = std::move(result);
			logStage("spanning tree", timer);
		}

		m_output = std::move(graph);
		m_status = Success;
	}

	OwningDataList CenterlineGraphExtractionAlgorithm::takeOutput()
	{
		OwningDataList list;
		list.add(std::move(m_output));
		return list;
	}
}
