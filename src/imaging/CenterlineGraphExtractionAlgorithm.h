#pragma once

#include "host/core/Parameter.h"
#include "host/lib/Algorithm.h"
#include "host/lib/ImageDescriptorWorld.h"
#include "src/graph/Graph.h"
#include "src/imaging/RawSkeletonGraph.h"

#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace Quorvale
{
	class SharedImage;
	class SharedImageSet;
	class Timer;

	/// Turns a label image of vessel-like structures into a centreline graph: binarise, crop to the
	/// labels and resample isotropically, close small holes, skeletonise, turn the skeleton voxels
	/// into a graph, and clean it up by partition, distance-based pruning, smoothing and, on
	/// request, a minimum spanning tree. Node positions are in the image coordinates of the input,
	/// the graph's matrix its `matrixToWorld` (world coordinates when several components were
	/// combined).
	class CenterlineGraphExtractionAlgorithm : public Algorithm
	{
	public:
		enum class Mode : int
		{
			Skeletonization = 0
		};
		/// Reserved; no named values.
		enum class LabelProcessing : int
		{
		};

		/// Works on the label image set `input`, which must outlive the algorithm.
		explicit CenterlineGraphExtractionAlgorithm(SharedImageSet& input);
		~CenterlineGraphExtractionAlgorithm() override;

		/// True when `data` holds exactly one item, an image set of one image; with `out`, stores a
		/// new algorithm on it there.
		static bool createCompatible(const DataList& data, Algorithm** out);

		/// Runs the pipeline. Status 0 with the graph; 1 with an error for an empty set, an unknown
		/// mode or a failing stage; 2 with an error, before anything is allocated, for a spacing
		/// that is not positive and finite or whose distances single precision cannot square (see
		/// `LabelVolume::finestSpacing` and `longestDistance`), a `minPixelResolution` below 1, a negative
		/// `closeHolesSize` or a grid that cannot be made; an empty label image (no voxel above
		/// zero) leaves 1 with the warning "Input label image is empty." and an empty graph.
		void compute() override;
		/// The graph of the last `compute`, when there is one; the algorithm keeps none.
		OwningDataList takeOutput() override;

		/// The skeleton of the last run (null before one, or when it failed earlier).
		const SharedImageSet* skeleton() const { return m_skeleton.get(); }

		/// The grid that `resampleToLabelBounds` resamples onto: centred on the bounding box of every
		/// label of the set's current image, `target` spacing on every axis (z: 1.0 in a 2-D image),
		/// and odd sizes covering the box with `margin` voxels and at least two more on each side.
		/// A message instead when the image has no labels or the sizes cannot be formed.
		static std::variant<ImageDescriptorWorld, std::string> labelGrid(const SharedImageSet& set, double target, int margin);
		/// The set's current image resampled onto `labelGrid` (each voxel the largest value its cell
		/// covers), or null with a logged error when there is no grid or the resampling fails.
		std::unique_ptr<SharedImageSet> resampleToLabelBounds(const SharedImageSet& set, double target, int margin) const;

		Parameter<Mode> mode{"mode", Mode::Skeletonization, this};
		/// Not used by `compute`.
		Parameter<LabelProcessing> labelProcessing{"labelProcessing", LabelProcessing{}, this};
		/// Smallest diameter (mm) that the resampled grid resolves with `minPixelResolution` voxels.
		Parameter<double> minVesselDiameter{"minVesselDiameter", 1.0, this};
		Parameter<int> minPixelResolution{"minPixelResolution", 6, this};
		/// Components with fewer nodes are dropped.
		Parameter<int> minComponentSize{"minComponentSize", 3, this};
		/// Radius in voxels of the closing before the skeleton; disengaged: no closing.
		Parameter<std::optional<int>> closeHolesSize{"closeHolesSize", std::optional<int>(2), this};
		/// Strength of the smoothing passes; 0 skips them.
		Parameter<double> graphSmoothing{"graphSmoothing", 2.0, this};
		/// Factor on the local vessel radius below which terminal branches are pruned.
		Parameter<double> prunePathsSensitivity{"prunePathsSensitivity", 1.0, this};
		/// Reduce the graph to a minimum spanning tree by edge length.
		Parameter<bool> removeCycles{"removeCycles", false, this};
		/// Not used by `compute`.
		Parameter<bool> addLabelID{"addLabelID", false, this};

	protected:
		/// The raw voxel graph of a skeleton image (see `SkeletonGraph::skeletonAsRawGraph`); always engaged.
		static std::optional<RawSkeletonGraph> skeletonAsRawGraph(const SharedImage& image, bool simplify);
		/// The `Graph` of a raw voxel graph (see `SkeletonGraph::rawSkeletonGraphToGraph`).
		static std::unique_ptr<Graph> rawSkeletonGraphToGraph(const RawSkeletonGraph& graph, ImageDescriptorWorld descriptor,
		                                                      SharedImage* potential);

	private:
		/// The first problem of the settings with the input image, or nothing: element type,
		/// spacing, `minPixelResolution`, `closeHolesSize`, `graphSmoothing`, the target spacing, and
		/// spacings too fine or too coarse for distances squared in single precision.
		std::optional<std::string> invalidSettings() const;
		/// The grid spacing: `minVesselDiameter` / `minPixelResolution`, never finer than the
		/// coarsest axis of the input (`coarsest`).
		double targetSpacing(double coarsest) const;
		/// Runs the stages on checked settings and returns the status to end with. A stage that
		/// cannot go on throws; `compute` logs it.
		int runStages();
		/// The binarised labels resampled onto `labelGrid`; the binarised set is dropped once done.
		std::unique_ptr<SharedImageSet> resampleBinarised(std::unique_ptr<SharedImageSet> binarised) const;
		/// Closes the holes of the resampled labels in place.
		void closeHoles(SharedImageSet& resampled);
		/// Thins the closed labels into the held skeleton.
		void skeletonise(SharedImageSet& closed);
		/// The simplified voxel graph of the held skeleton.
		RawSkeletonGraph voxelGraph() const;
		/// The `Graph` of the voxel graph, its positions in the image coordinates of the input.
		std::unique_ptr<Graph> graphInInputFrame(const RawSkeletonGraph& raw) const;
		/// The components of at least `minComponentSize` nodes, combined into one graph when
		/// there are several; the graph as it was when the partition gives none.
		std::unique_ptr<Graph> keepLargeComponents(std::unique_ptr<Graph> graph) const;
		/// Prunes short terminal paths against the distance image of the closed labels.
		void pruneTerminalPaths(Graph& graph, const SharedImageSet& closed, Timer& timer) const;
		/// One heat-kernel step and `kAveragePasses` neighbourhood averages of `graphSmoothing`.
		void smooth(Graph& graph) const;
		/// The minimum spanning tree by edge length; the graph as it was when there is none.
		std::unique_ptr<Graph> spanningTree(std::unique_ptr<Graph> graph) const;

		SharedImageSet& m_input;
		std::unique_ptr<SharedImageSet> m_skeleton;
		std::unique_ptr<Graph> m_output;
	};
}
