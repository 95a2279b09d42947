#include "app/ParameterHelp.h"

namespace Quorvale::ParameterHelp
{
	namespace
	{
		using Descriptions = std::map<std::string, std::string>;

		// Lengths are in the graph's coordinates, which are millimetres for graphs extracted from images.
		const std::map<std::string, Descriptions> kDescriptions = {
		    {"Graph.CenterlineGraphExtraction",
		     {{"mode", "How the centerline is found; thinning the labels to a skeleton (Skeletonization) is the only way."},
		      {"labelProcessing", "Not used by the extraction; kept for stored settings."},
		      {"minPixelResolution",
		       "Least number of voxels across the smallest vessel: the grid is resampled to at most minVesselDiameter / "
		       "minPixelResolution mm (voxels)."},
		      {"minComponentSize", "Parts of the skeleton graph with fewer nodes are dropped (nodes)."},
		      {"graphSmoothing",
		       "Smoothing of the node positions after pruning: heat-kernel width in mm, then as many neighbourhood-averaging "
		       "passes; 0 smooths nothing."},
		      {"removeCycles", "Reduce the graph to a spanning forest by edge length, removing the segments that close loops."},
		      {"addLabelID", "Not used by the extraction; kept for stored settings."}}},
		    {"Graph.CombineGraphs", {}},
		    {"Graph.ComputeFeatures",
		     {{"mode",
		       "What is measured: EdgeLength (edge feature length, mm), Diameter or VesselDiameter (diameter, mm, in the label "
		       "map), CrossSection (crossSection, mm², from the diameters) or Degree (node feature degree)."},
		      {"averageZeroEdges",
		       "Edges measured with diameter 0 take the mean diameter of the nearest edges that have one (Diameter and "
		       "VesselDiameter)."},
		      {"threshold", "Label value above which a voxel counts as inside the vessel (label units)."},
		      {"slidingAverage",
		       "Half-width of the sliding median of the diameters along each segment, in edges; none for no smoothing "
		       "(VesselDiameter)."},
		      {"clampEdges",
		       "Cap the diameters of each segment at 1.1 times its median, or at its neighbouring segments' diameters "
		       "(VesselDiameter)."}}},
		    {"Graph.PartitionGraphs", {{"minComponentSize", "Components with fewer nodes are dropped (nodes)."}}},
		    {"Graph.GraphSmoothing",
		     {{"mode",
		       "NeighborhoodWeightedAverage (passes of averaging with the neighbours), LaplacianHeatKernel (one heat-diffusion "
		       "step) or DistanceWeightedCurveShortening (towards the vessel centres of the label map)."},
		      {"smoothingStrength",
		       "By mode: the number of averaging passes (the last one weighted by the fraction); the heat kernel's width in mm; "
		       "the voxel size in mm of the resampled label map."},
		      {"preserveTerminalEdges", "End nodes keep their positions."}}},
		    {"Graph.GraphToPointCloud", {}},
		    {"Graph.GraphReindexing",
		     {{"mode", "How the root is chosen: Manual (rootIndex) or Largest Diameter (the end node of the thickest end edge)."},
		      {"rootIndex", "Identifier of the node that becomes node 1 (Manual mode)."},
		      {"inPlace", "Renumber the input graph itself rather than make a new graph."}}},
		    {"Graph.MinimumSpanningTree",
		     {{"weightMode",
		       "What the kept connections are heaviest in: EdgeLength, Diameter, WeightedDiameterEdgeLength (both) or "
		       "UserDefined (the feature edgeFeatureName)."},
		      {"edgeFeatureName", "Edge feature used as the weight in UserDefined mode, and as the length in EdgeLength mode."},
		      {"pruneBySegment",
		       "Weigh whole segments between junctions, and remove the dangling segment that each removed edge leaves."}}},
		    {"Graph.NodeToEdgeFeature",
		     {{"mode",
		       "Sum, Difference or Average of the node feature at an edge's two ends, written to the edge feature "
		       "NodeFeatureSum, NodeFeatureDifference or NodeFeatureAverage."},
		      {"nodeFeatureName", "Node feature carried onto the edges."},
		      {"nodeFeatureIndex", "Index of the node feature (from 0), used when nodeFeatureName names none of the graph's."}}},
		    {"Graph.PruneTerminalPaths",
		     {{"mode", "GlobalThreshold (branches shorter than pruningThreshold) or DistanceBased (against the distance image)."},
		      {"pruningThreshold", "End branches shorter than this are removed, up to the first junction (mm; GlobalThreshold)."},
		      {"sensitivity",
		       "End branches shorter than sensitivity times the largest distance-image value along them are removed (factor; "
		       "DistanceBased)."},
		      {"inPlace", "Prune the input graph itself rather than make a new graph."}}},
		    {"Graph.DrawGraphAlgorithm",
		     {{"dimensions", "2D or 3D: the dimension of a new graph (a graph given to edit keeps its own)."},
		      {"type", "Directed or Undirected: the edges of a new graph."}}},
		    {"Graph.EvaluateGraphAtImage",
		     {{"edgeFeatureName",
		       "Edge feature (any name; made when the graph has none of it) that receives twice the image value at each edge's "
		       "midpoint; required."}}},
		    {"Graph.GraphMLIo", {{"exportFeatures", "Write the node and edge features; false writes node positions and edges only."}}},
		    {"Graph.TransferGraphFeatureToMeshAlgorithm",
		     {{"edgeFeatureName", "Edge feature painted onto the mesh; only diameter is supported; required."},
		      {"searchRange", "Radius within which a vertex looks for a graph node, as a multiple of the largest diameter (factor)."}}},
		    {"Graph.GraphToLabelMapAlgorithm",
		     {{"spacing", "Voxel size of a label map fitted around the graph (mm); with an image set given, its grid is taken."},
		      {"mode", "Centerline labels a capsule around each edge, Vessel a cylinder along it, of the edge's diameter."},
		      {"forceCPU", "Rasterise on the processor even where OpenGL 4.3 compute shaders are available."}}},
		};
	}

	const std::map<std::string, std::string>& of(const std::string& id)
	{
		static const Descriptions none;
		const auto found = kDescriptions.find(id);
		return found == kDescriptions.end() ? none : found->second;
	}
}
