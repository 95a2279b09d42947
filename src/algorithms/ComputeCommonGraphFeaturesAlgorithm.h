#pragma once

#include "host/core/Parameter.h"
#include "host/lib/Algorithm.h"
#include "src/graph/Graph.h"

#include <cstdint>
#include <optional>
#include <string>

namespace Quorvale
{
	class SharedImage;
	class SharedImageSet;

	/// Adds one kind of feature to a graph, chosen by `mode`: edge lengths ("length"), vessel
	/// diameters measured in a label map ("diameter"), cross-sectional areas ("crossSection"), node
	/// degrees ("degree"), or robust vessel diameters clamped and smoothed along the graph's linear
	/// segments ("diameter"). Edits its input graph in place.
	///
	/// Diameters are measured in the plane through each edge's midpoint perpendicular to the edge,
	/// in the current image of the label map: a sample counts as inside the vessel when the nearest
	/// voxel (channel 0) holds a value greater than `threshold`. Label maps of unsigned 8-bit,
	/// unsigned 16-bit and float pixels can be measured. Edges are measured in parallel; the result
	/// does not depend on the thread count. The work is in `GraphFeatures`.
	class ComputeCommonGraphFeaturesAlgorithm : public Algorithm
	{
	public:
		enum class Mode : int32_t
		{
			EdgeLength = 0,
			/// Circles of growing radius around the edge's midpoint; the radius where the first circle
			/// leaves the vessel, refined by bisection.
			Diameter = 1,
			/// π d² / 4 from the "diameter" feature, measured first when the graph has none.
			CrossSection = 2,
			/// The number of neighbour entries of each node, as node feature "degree".
			Degree = 3,
			/// 36 rays with a trimmed mean, then clamped and median-smoothed along segments.
			VesselDiameter = 4
		};

		/// Works on `graph` and, when `labelMap` is not null, on its current image; both must outlive
		/// the algorithm. Starts in mode `Diameter` with a label map, else in `EdgeLength`, and keeps
		/// the "hidden" attribute of each parameter in step with the mode.
		ComputeCommonGraphFeaturesAlgorithm(Graph& graph, SharedImageSet* labelMap);
		~ComputeCommonGraphFeaturesAlgorithm() override;

		/// True when `data` holds exactly one graph, at most one image set and nothing else; with
		/// `out`, stores a new algorithm on them there.
		static bool createCompatible(const DataList& data, Algorithm** out);

		/// Writes the mode's feature into the graph; status 0. Status 2 with an error in the log,
		/// leaving the graph unchanged, when a mode that measures has no label image, when the label
		/// image's pixel type cannot be measured, or when the mode is unknown.
		void compute() override;
		/// Always empty: the features are written into the input graph.
		OwningDataList takeOutput() override;

		/// Sets edge feature "length" (created with default 0.0) to the distance between the edge's
		/// two node positions, in graph coordinates. Returns its index (`GraphFeatures::computeEdgeLengths`).
		static int computeEdgeLengths(Graph& graph);
		/// Sets edge feature "diameter" (created with default 0.0) by the circle method; with
		/// `averageZeroEdges`, an edge measured 0 then takes the mean of the positive diameters of the
		/// nearest edges around it. Returns the feature's index, or -1 without any change when the
		/// label image's pixel type cannot be measured (`GraphFeatures::computeDiameters`).
		static int computeDiameters(Graph& graph, const SharedImage& labelImage, bool averageZeroEdges, double threshold);
		/// Sets edge feature "crossSection" (created with default 0.0) to π d² / 4 from the edge's
		/// "diameter". Returns its index. Throws std::bad_optional_access, changing nothing, when the
		/// graph has no "diameter" edge feature (`GraphFeatures::computeCrossSections`).
		static int computeCrossSections(Graph& graph);
		/// Sets edge feature "diameter" (created with default 0.0) by the ray method, optionally averages
		/// zero edges as `computeDiameters` does, then clamps (with `clampEdges`) and median-smooths
		/// (window `slidingAverage`) the diameters along each linear segment, with factor 1.1. Returns
		/// the feature's index, or -1 without any change for a pixel type that cannot be measured
		/// (`GraphFeatures::computeVesselDiameters`).
		static int computeVesselDiameters(Graph& graph, const SharedImage& labelImage, bool clampEdges, std::optional<int> slidingAverage,
		                                  bool averageZeroEdges, double threshold);

		Parameter<Mode> mode{"mode", Mode::EdgeLength, this};
		/// Fill edges measured 0 from their surroundings (modes `Diameter` and `VesselDiameter`).
		Parameter<bool> averageZeroEdges{"averageZeroEdges", false, this};
		/// Label value above which a sample counts as inside the vessel.
		Parameter<double> threshold{"threshold", 0.5, this};
		/// Half window of the median smoothing along segments; disengaged or below 1 for none.
		Parameter<std::optional<int>> slidingAverage{"slidingAverage", std::optional<int>(3), this};
		/// Clamp outliers along segments before smoothing (mode `VesselDiameter`).
		Parameter<bool> clampEdges{"clampEdges", true, this};

	private:
		/// The current image of the label map, or null.
		const SharedImage* labelImage() const;
		/// Why the settings cannot be used: an unknown mode, or a mode that measures without a label
		/// image. nullopt when they can.
		std::optional<std::string> invalidSettings() const;
		/// Writes the mode's feature; false, changing nothing, when the label image's pixel type cannot
		/// be measured. Needs settings that `invalidSettings` accepts.
		bool writeFeature();

		Graph& m_graph;
		SharedImageSet* m_labelMap;
	};
}
