#pragma once

#include "host/lib/ImageDescriptorWorld.h"

#include <Eigen/Core>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace Quorvale
{
	class Graph;
	class MemImage;
	class Progress;
}

/// Turning a graph whose edges carry diameters into a binary label image: the work lists that the
/// CPU and the GPU path share, the output grid, and the CPU rasterisation, whose per-voxel rule
/// defines which voxels an edge labels.
///
/// Coordinates. Node positions are graph coordinates; `graphToPixel` (the grid's world-to-pixel
/// matrix times the graph's matrix to world, rounded to float) maps them to continuous pixel
/// coordinates, to which 0.5 is added on every axis, so that voxel v spans [v, v + 1) and its
/// centre is v + 0.5. Distances are measured in scaled units with the metric m: the squared length
/// of a voxel-unit vector d is (mx·dx·dx + my·dy·dy) + mz·dz·dz, evaluated in float in exactly that
/// order (the compute shader repeats every float operation of the per-voxel rule in the same order).
///
///   Centerline (a capsule):   d² = squared distance from the voxel centre to the segment P0-P1
///   Vessel (a cylinder):      the edge is cut into n samples C_k; a voxel within 2.5 scaled units
///                             of C_k along the edge gets d² = its squared distance to the axis
///
/// A voxel is labelled when d² <= r² for some edge. Each edge's samples bound the voxels that are
/// tested by small boxes; the boxes are wide enough to hold every voxel that the distance test
/// accepts, so the result equals a test of every voxel against every edge.
namespace Quorvale::LabelMapRasterisation
{
	/// What an edge labels.
	enum class Mode : std::int32_t
	{
		/// Everything within the radius of the segment, round ends included.
		Centerline = 0,
		/// Everything within the radius of the axis, from 2.5 scaled units before the first sample
		/// centre to 2.5 after the last one.
		Vessel = 1
	};

	/// The lists that both paths rasterise, in graph coordinates.
	struct WorkLists
	{
		/// Per node in ascending identifier order: position rounded to float, then 1 for an end or
		/// isolated node (fewer than two neighbour entries), else 0.
		std::vector<Eigen::Vector4f> nodes;
		/// Per edge in the graph's edge order: indices of source and target in `nodes`.
		std::vector<Eigen::Vector2i> edges;
		/// Per edge: half the "diameter", rounded to float, times the scale, in scaled units.
		std::vector<float> radii;
	};

	/// The measures derived from a grid spacing s.
	struct Geometry
	{
		/// (1, 1, 1) for an isotropic spacing, else ((sx/g)², (sy/g)², (sz/g)²) with g the cube root
		/// of sx·sy·sz rounded to float.
		Eigen::Vector3d metric = Eigen::Vector3d::Ones();
		/// World units to scaled units: 1/sx, or 1/g; rounded to float.
		float scale = 1.0f;
		/// The smallest spacing, in world units.
		float smallestSpacing = 1.0f;

		/// The smallest spacing in scaled units: the sampling step of Vessel mode is half of it.
		float sampleSpacing() const { return smallestSpacing * scale; }
	};

	/// Half-extents, sample count and slice range of one edge, with the values of its distance test.
	struct EdgeRecord
	{
		Eigen::Vector3f p0;
		Eigen::Vector3f p1;
		/// (P1 - P0) / L, L the metric length.
		Eigen::Vector3f direction;
		float r2 = 0.0f;
		float invLength2 = 0.0f;
		/// Half-extents of every sample's box, in voxels along each axis.
		Eigen::Vector3i halfExtent = Eigen::Vector3i::Zero();
		int samples = 0;
		/// (P1 - P0) / samples.
		Eigen::Vector3f step;
		/// First and last slice that the edge can reach, clipped to the grid.
		int zmin = 0;
		int zmax = -1;
	};

	/// A checked rasterisation of one graph: everything that the CPU and the GPU path take.
	struct Job
	{
		WorkLists lists;
		Geometry geometry;
		/// The output grid: the reference grid, or the one fitted around the graph.
		ImageDescriptorWorld grid;
		/// The graph's matrix to world.
		Eigen::Matrix4d graphToWorld = Eigen::Matrix4d::Identity();
	};

	/// Input that cannot be rasterised; `what()` is the sentence that tells the user why.
	class Error : public std::invalid_argument
	{
	public:
		using std::invalid_argument::invalid_argument;
	};

	/// Sound input that gives no label map: a graph without edges or whose diameters are all zero
	/// (it would label nothing), or a grid beyond the memory limit. `what()` says why and what to do.
	class Failure : public std::runtime_error
	{
	public:
		using std::runtime_error::runtime_error;
	};

	/// The largest number of samples of one edge: beyond it an edge is refused as unsafe input.
	constexpr double kMaxSamples = 16777216.0;

	/// Checks `graph` and builds its job: work lists of the edge feature "diameter", the grid
	/// `referenceGrid` when given, else one fitted around the graph with voxels of `spacing` world
	/// units (`fittedGrid`, margin from the largest radius). Throws the first problem in this order:
	/// `Error` "Graph has no nodes", `Error` for no "diameter" edge feature, `Failure` for no edges,
	/// `Error` for what `unsafeSpacing`, `unsafeMatrix` and `unsafeGraph` find, `Failure` when every
	/// diameter is zero, `Error` for what `fittedGrid` finds, `Failure` for a grid beyond the memory
	/// limit (one byte per voxel), `Error` for what `unsafeEdges` finds. Hands `warn` the warning of
	/// a smallest radius under one scaled unit when it arises, that is before a problem of the grid
	/// or the edges is thrown.
	Job prepare(const Graph& graph, const std::optional<ImageDescriptorWorld>& referenceGrid, double spacing, Mode mode,
	            const std::function<void(const std::string&)>& warn);

	/// Why `spacing` cannot carry a grid (not positive and finite on every axis; a size, the scale or
	/// the metric that is not a normal float), or nothing.
	std::optional<std::string> unsafeSpacing(const Eigen::Vector3d& spacing);
	/// Why the graph's or the reference grid's matrix to world cannot place voxels (a value that is
	/// not finite), or nothing.
	std::optional<std::string> unsafeMatrix(const Graph& graph, const std::optional<ImageDescriptorWorld>& referenceGrid);
	/// Why a label map on `grid` that takes `bytesPerVoxel` of memory per voxel does not fit in the
	/// memory limit ("A label map of X x Y x Z voxels" and `where`, see `MemoryLimit::refusal`), or empty.
	std::string memoryRefusal(const ImageDescriptorWorld& grid, double bytesPerVoxel, const char* where);
	/// Metric, scale and smallest spacing of a positive, finite spacing.
	Geometry geometryOf(const Eigen::Vector3d& spacing);

	/// Why the graph cannot be rasterised (a position that is not finite, a "diameter" at
	/// `diameterIndex` that is negative or not finite or becomes infinite as a float radius, a radius
	/// that `scale` turns into 0, more nodes or edges than 32-bit indices hold), or nothing.
	std::optional<std::string> unsafeGraph(const Graph& graph, int diameterIndex, float scale);
	/// Why lists of these lengths cannot be indexed by the 32-bit integers of the lists, or nothing.
	std::optional<std::string> unsafeCounts(std::uint64_t nodes, std::uint64_t edges);

	/// The node, edge and radius lists of a graph checked by `unsafeGraph`.
	WorkLists workLists(const Graph& graph, int diameterIndex, float scale);

	/// The grid fitted around world-space bounds [`min`, `max`]: `spacing` on every axis, ⌈extent /
	/// spacing⌉ + p voxels per axis with p = 2·⌈largestRadius⌉ + 4 (⌈r⌉ + 2 voxels of margin on
	/// each side), centred on the bounds. A message when a size is not a number
	/// from 1 to the largest 32-bit integer (bounds that are empty or not finite included).
	std::variant<ImageDescriptorWorld, std::string> fittedGrid(const Eigen::Vector3d& min, const Eigen::Vector3d& max, double spacing,
	                                                           float largestRadius);

	/// The grid's world-to-pixel matrix times `graphToWorld`, rounded to float.
	Eigen::Matrix4f graphToPixelMatrix(const ImageDescriptorWorld& grid, const Eigen::Matrix4d& graphToWorld);
	/// Voxel coordinates of a node: M·(x, y, z, 1) summed in the order of the shader, plus 0.5.
	Eigen::Vector3f toVoxel(const Eigen::Matrix4f& graphToPixel, const Eigen::Vector4f& node);
	/// The metric product ⟨u, v⟩ = (mx·(ux·vx) + my·(uy·vy)) + mz·(uz·vz), in float.
	inline float metricDot(const Eigen::Vector3f& m, const Eigen::Vector3f& u, const Eigen::Vector3f& v)
	{
		return (m.x() * (u.x() * v.x()) + m.y() * (u.y() * v.y())) + m.z() * (u.z() * v.z());
	}

	/// Samples of an edge of metric length `length` and radius `radius`. Centerline: max(1, ⌊L/r⌋)
	/// + 2 (an infinite or out-of-range quotient counting as 1), at most ⌈L⌉ + 2, which bounds the
	/// same voxels. Vessel: max(1, ⌈L / (sampleSpacing·0.5)⌉). In double: the caller checks the
	/// value against `kMaxSamples` before converting it.
	double sampleCount(float length, float radius, Mode mode, float sampleSpacing);

	/// The record of the edge from `p0` to `p1` (voxel coordinates), or nothing for an edge shorter
	/// than 1e-3 (L² < 1e-6), which labels nothing. `depth` is the grid's slice count.
	std::optional<EdgeRecord> edgeRecord(const Eigen::Vector3f& p0, const Eigen::Vector3f& p1, float radius, const Eigen::Vector3f& metric,
	                                     Mode mode, float sampleSpacing, int depth);

	/// Why some edge cannot be sampled (a voxel position or a length that is not finite as a float,
	/// or more than `kMaxSamples` samples), or nothing.
	std::optional<std::string> unsafeEdges(const WorkLists& lists, const Eigen::Matrix4f& graphToPixel, const Eigen::Vector3d& metric,
	                                       Mode mode, float sampleSpacing);

	/// The work groups of a dispatch of `edges` invocations in groups of 32, laid out as x·y groups
	/// with x at most `maxGroups` (one dimension of work groups holds at most 65,535), counted in
	/// integers. (0, 0) for no edges.
	std::pair<unsigned, unsigned> workGroupGrid(std::uint64_t edges, unsigned maxGroups = 65535);

	/// Labels with 1, in the unsigned 8-bit image `labels` of the grid's dimensions, every voxel of
	/// the slices [z0, z1) that some record labels; other voxels keep their value. With
	/// `samplesDone`, adds the samples of each record that reaches the slices once it is done.
	void rasteriseSlices(const std::vector<EdgeRecord>& records, const Eigen::Vector3f& metric, Mode mode, std::uint8_t* labels,
	                     const Eigen::Vector3i& dimensions, int z0, int z1, std::atomic<std::int64_t>* samplesDone = nullptr);

	/// The CPU rasterisation of the work lists: a zero-filled unsigned 8-bit image of the grid (its spacing, one
	/// channel) with 1 at every labelled voxel. The slices are split into slabs, one task of a
	/// `Threading::ThreadPool` each; no two tasks write the same voxel. `threads` 0: the pool has
	/// one thread per hardware thread, and the call's `Threading::ThreadTeam` chooses how many of
	/// them take part (the slabs); otherwise `threads` threads and slabs. While the tasks run, the
	/// calling thread reports to `progress` the fraction of the samples done, every 50 ms, and 1 at
	/// the end; the workers never do. Throws std::bad_alloc or std::length_error when the image
	/// cannot be allocated.
	std::unique_ptr<MemImage> rasterise(const std::vector<Eigen::Vector4f>& nodes, const std::vector<Eigen::Vector2i>& edges,
	                                    const std::vector<float>& radii, const ImageDescriptorWorld& grid, const Eigen::Matrix4d& graphToWorld,
	                                    const Eigen::Vector3d& metric, Mode mode, float sampleSpacing, unsigned threads = 0,
	                                    Progress* progress = nullptr);
}
