#include "src/imaging/LabelMapRasterisation.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <thread>

#include <fmt/format.h>

#include "host/core/MemoryLimit.h"
#include "host/core/Progress.h"
#include "host/core/ThreadPool.h"
#include "host/core/ThreadTeam.h"
#include "host/lib/TypedImage.h"
#include "src/graph/Graph.h"

namespace Quorvale::LabelMapRasterisation
{
	namespace
	{
		/// A sample's reach along the edge in Vessel mode: 2.5 scaled units, squared.
		constexpr float kAxialReach2 = 6.25f;
		/// Box bounds are clamped in float before they become integers; no grid is this large.
		constexpr float kBoxLimit = 1073741824.0f;

		bool isFinite(const Eigen::Vector3d& v) { return std::isfinite(v.x()) && std::isfinite(v.y()) && std::isfinite(v.z()); }
		bool isFinite(const Eigen::Vector3f& v) { return std::isfinite(v.x()) && std::isfinite(v.y()) && std::isfinite(v.z()); }

		/// ⌈value⌉ as an index of an axis of `size` voxels, clamped to [lo, size - 1]; NaN gives lo.
		int clampedCeil(float value, int lo, int size)
		{
			const float c = std::ceil(value);
			if (!(c > static_cast<float>(lo)))
				return lo;
			return c >= static_cast<float>(size - 1) ? size - 1 : static_cast<int>(c);
		}
		/// ⌊value⌋ clamped to [0, hi].
		int clampedFloor(float value, int hi)
		{
			const float f = std::floor(value);
			if (!(f > 0.0f))
				return 0;
			return f >= static_cast<float>(hi) ? hi : static_cast<int>(f);
		}
	}

	std::optional<std::string> unsafeSpacing(const Eigen::Vector3d& spacing)
	{
		for (int axis = 0; axis < 3; ++axis)
			if (!(spacing[axis] > 0.0) || !std::isfinite(spacing[axis]))
				return fmt::format("The spacing ({}, {}, {}) must be positive and finite.", spacing.x(), spacing.y(), spacing.z());
		// The rasterisation measures in floats: the spacing, its scale and its metric must be normal floats.
		constexpr double smallest = std::numeric_limits<float>::min(), largest = std::numeric_limits<float>::max();
		const auto isNormalFloat = [&](double value) { return value >= smallest && value <= largest; };
		const Geometry geometry = geometryOf(spacing);
		if (!isNormalFloat(spacing.minCoeff()) || !isNormalFloat(spacing.maxCoeff()) || !isNormalFloat(geometry.scale) ||
		    !isNormalFloat(geometry.metric.minCoeff()) || !isNormalFloat(geometry.metric.maxCoeff()))
			return fmt::format("The spacing ({}, {}, {}) cannot be rasterised in single precision: its sizes, their inverse and their ratios "
			                   "must lie between {:.6g} and {:.6g}.",
			                   spacing.x(), spacing.y(), spacing.z(), smallest, largest);
		return std::nullopt;
	}

	std::optional<std::string> unsafeMatrix(const Graph& graph, const std::optional<ImageDescriptorWorld>& referenceGrid)
	{
		if (!graph.matrixToWorld().allFinite())
			return std::string("The graph's matrix to world holds values that are not finite.");
		if (referenceGrid && !referenceGrid->matrixToWorld().allFinite())
			return std::string("The reference image's matrix to world holds values that are not finite.");
		return std::nullopt;
	}

	std::string memoryRefusal(const ImageDescriptorWorld& grid, double bytesPerVoxel, const char* where)
	{
		const Eigen::Vector3i& d = grid.dimensions();
		return MemoryLimit::refusal(d.cast<double>().prod() * bytesPerVoxel,
		                            fmt::format("A label map of {} x {} x {} voxels{}", d.x(), d.y(), d.z(), where));
	}

	Geometry geometryOf(const Eigen::Vector3d& s)
	{
		Geometry geometry;
		if (s.x() == s.y() && s.y() == s.z())
		{
			geometry.scale = static_cast<float>(1.0 / s.x());
			geometry.smallestSpacing = static_cast<float>(s.x());
			return geometry;
		}
		const double g = static_cast<float>(std::cbrt(s.x() * s.y() * s.z()));
		geometry.metric = Eigen::Vector3d((s.x() / g) * (s.x() / g), (s.y() / g) * (s.y() / g), (s.z() / g) * (s.z() / g));
		geometry.scale = static_cast<float>(1.0 / g);
		geometry.smallestSpacing = static_cast<float>(s.minCoeff());
		return geometry;
	}

	std::optional<std::string> unsafeCounts(std::uint64_t nodes, std::uint64_t edges)
	{
		constexpr std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
		if (nodes > limit || edges > limit)
			return fmt::format("The graph has {} nodes and {} edges; at most {} of each can be rasterised.", nodes, edges, limit);
		return std::nullopt;
	}

	std::optional<std::string> unsafeGraph(const Graph& graph, int diameterIndex, float scale)
	{
		std::optional<std::string> problem;
		std::uint64_t nodes = 0, edges = 0;
		graph.forEachNode(
		    [&](std::uint64_t id, const Graph::NodeInfo& info)
		    {
			    ++nodes;
			    if (!problem && !isFinite(info.position()))
				    problem = fmt::format("Node {} has a position that is not finite.", id);
		    });
		graph.forEachEdge(
		    [&](const Graph::EdgeInfo& info, std::uint64_t from, std::uint64_t to)
		    {
			    ++edges;
			    if (problem)
				    return;
			    const double diameter = info.features()[static_cast<std::size_t>(diameterIndex)];
			    const float radius = static_cast<float>(diameter * 0.5);
			    if (!(diameter >= 0.0) || !std::isfinite(radius * scale))
				    problem = fmt::format("The edge from node {} to node {} has the diameter {}; diameters must be finite and not negative.",
				                          from, to, diameter);
			    else if (radius > 0.0f && radius * scale == 0.0f)
				    problem = fmt::format("The edge from node {} to node {} of diameter {} has no radius at the spacing's scale {:.6g} (scaled "
				                          "units per world unit); use a smaller spacing.",
				                          from, to, diameter, scale);
		    });
		if (problem)
			return problem;
		return unsafeCounts(nodes, edges);
	}

	WorkLists workLists(const Graph& graph, int diameterIndex, float scale)
	{
		WorkLists lists;
		std::map<std::uint64_t, int> indexOf;
		graph.forEachNode(
		    [&](std::uint64_t id, const Graph::NodeInfo& info, const Graph::Neighborhood& neighbours)
		    {
			    indexOf.emplace_hint(indexOf.end(), id, static_cast<int>(lists.nodes.size()));
			    const Eigen::Vector3d& p = info.position();
			    lists.nodes.emplace_back(static_cast<float>(p.x()), static_cast<float>(p.y()), static_cast<float>(p.z()),
			                             neighbours.size() < 2 ? 1.0f : 0.0f);
		    });
		graph.forEachEdge(
		    [&](const Graph::EdgeInfo& info, std::uint64_t from, std::uint64_t to)
		    {
			    lists.edges.emplace_back(indexOf.at(from), indexOf.at(to));
			    const double diameter = info.features()[static_cast<std::size_t>(diameterIndex)];
			    lists.radii.push_back(static_cast<float>(diameter * 0.5) * scale);
		    });
		return lists;
	}

	std::variant<ImageDescriptorWorld, std::string> fittedGrid(const Eigen::Vector3d& min, const Eigen::Vector3d& max, double spacing,
	                                                           float largestRadius)
	{
		const double margin = 2.0 * std::ceil(static_cast<double>(largestRadius)) + 4.0;
		const Eigen::Vector3d extent = max - min;
		Eigen::Vector3i dimensions;
		for (int axis = 0; axis < 3; ++axis)
		{
			const double size = std::ceil(extent[axis] / spacing) + margin;
			if (!(size >= 1.0 && size <= static_cast<double>(std::numeric_limits<std::int32_t>::max())))
				return fmt::format("A grid of spacing {} around the graph would need {} voxels along one axis; use a larger spacing.", spacing,
				                   size);
			dimensions[axis] = static_cast<int>(size);
		}
		ImageDescriptorWorld grid{ImageDescriptor()};
		grid.setDimensions(dimensions, 0);
		grid.setSpacing(Eigen::Vector3d::Constant(spacing), true);
		Eigen::Matrix4d matrix = Eigen::Matrix4d::Identity();
		matrix.block<3, 1>(0, 3) = 0.5 * (min + max);
		grid.setMatrixToWorld(matrix);
		return grid;
	}

	Eigen::Matrix4f graphToPixelMatrix(const ImageDescriptorWorld& grid, const Eigen::Matrix4d& graphToWorld)
	{
		return (grid.worldToPixelMatrix() * graphToWorld).cast<float>();
	}

	Eigen::Vector3f toVoxel(const Eigen::Matrix4f& m, const Eigen::Vector4f& node)
	{
		Eigen::Vector3f p;
		for (int row = 0; row < 3; ++row)
			p[row] = (((m(row, 0) * node.x() + m(row, 1) * node.y()) + m(row, 2) * node.z()) + m(row, 3)) + 0.5f;
		return p;
	}

	double sampleCount(float length, float radius, Mode mode, float sampleSpacing)
	{
		if (mode == Mode::Vessel)
			return std::max(1.0, std::ceil(static_cast<double>(length / (sampleSpacing * 0.5f))));
		const float quotient = length / radius;
		double count = 1.0;
		if (std::isfinite(quotient) && quotient < 2147483648.0f)
			count = std::max(1.0, std::floor(static_cast<double>(quotient)));
		// Past ⌈L⌉ + 2 samples lie less than one scaled unit apart: more add no voxel to the boxes.
		return std::min(count + 2.0, std::ceil(static_cast<double>(length)) + 2.0);
	}

	std::optional<EdgeRecord> edgeRecord(const Eigen::Vector3f& p0, const Eigen::Vector3f& p1, float radius, const Eigen::Vector3f& metric,
	                                     Mode mode, float sampleSpacing, int depth)
	{
		const Eigen::Vector3f d = p1 - p0;
		const float length2 = metricDot(metric, d, d);
		if (!(length2 >= 1e-6f))
			return std::nullopt;
		EdgeRecord record;
		record.p0 = p0;
		record.p1 = p1;
		const float length = std::sqrt(length2);
		record.direction = Eigen::Vector3f(d.x() / length, d.y() / length, d.z() / length);
		record.r2 = radius * radius;
		record.invLength2 = 1.0f / length2;
		record.samples = static_cast<int>(std::min(sampleCount(length, radius, mode, sampleSpacing), kMaxSamples));
		const float n = static_cast<float>(record.samples);
		record.step = Eigen::Vector3f(d.x() / n, d.y() / n, d.z() / n);

		// How far from a sample centre an accepted voxel can lie along each axis, in scaled units,
		// with ŝ = (√m·direction) the unit axis in scaled coordinates. Centerline: a voxel within r
		// of the segment lies within r of a point that is at most half a step from the nearest
		// sample centre: r + |ŝi|·step/2. Vessel: a voxel accepted by a sample lies within 2.5 along
		// the axis and r across it: 2.5·|ŝi| + r·√(1 − ŝi²). One unit more covers the rounding.
		Eigen::Vector3f axisReach;
		for (int axis = 0; axis < 3; ++axis)
		{
			const float root = std::sqrt(metric[axis]);
			const float along = std::min(std::abs(root * record.direction[axis]), 1.0f);
			const float reach = mode == Mode::Centerline ? radius + along * (0.5f * (length / n))
			                                             : 2.5f * along + radius * std::sqrt(1.0f - along * along);
			axisReach[axis] = std::min((reach + 1.0f) / root, kBoxLimit);
			record.halfExtent[axis] = static_cast<int>(std::ceil(axisReach[axis]));
		}
		record.zmin = clampedFloor(std::min(p0.z(), p1.z()) - axisReach.z(), std::max(depth - 1, 0));
		record.zmax = clampedCeil(std::max(p0.z(), p1.z()) + axisReach.z(), -1, depth);
		return record;
	}

	std::optional<std::string> unsafeEdges(const WorkLists& lists, const Eigen::Matrix4f& graphToPixel, const Eigen::Vector3d& metric,
	                                       Mode mode, float sampleSpacing)
	{
		const Eigen::Vector3f m = metric.cast<float>();
		for (std::size_t e = 0; e < lists.edges.size(); ++e)
		{
			const Eigen::Vector3f p0 = toVoxel(graphToPixel, lists.nodes[static_cast<std::size_t>(lists.edges[e].x())]);
			const Eigen::Vector3f p1 = toVoxel(graphToPixel, lists.nodes[static_cast<std::size_t>(lists.edges[e].y())]);
			if (!isFinite(p0) || !isFinite(p1))
				return fmt::format("Edge {} lies too far from the output grid to be rasterised.", e);
			const Eigen::Vector3f d = p1 - p0;
			const float length = std::sqrt(metricDot(m, d, d));
			if (!std::isfinite(length))
				return fmt::format("Edge {} is too long in voxels to be measured: the graph lies too far from the output grid or the "
				                   "spacing is too fine.",
				                   e);
			const double samples = sampleCount(length, lists.radii[e], mode, sampleSpacing);
			if (!(samples <= kMaxSamples))
				return fmt::format("Edge {} is {:.6g} scaled units long and would need {:.6g} samples, more than {}; the graph lies too far "
				                   "from the output grid or the spacing is too fine.",
				                   e, length, samples, kMaxSamples);
		}
		return std::nullopt;
	}

	std::pair<unsigned, unsigned> workGroupGrid(std::uint64_t edges, unsigned maxGroups)
	{
		const std::uint64_t groups = (edges + 31) / 32;
		if (groups == 0)
			return {0u, 0u};
		const std::uint64_t x = std::min<std::uint64_t>(groups, maxGroups);
		return {static_cast<unsigned>(x), static_cast<unsigned>((groups + x - 1) / x)};
	}

	namespace
	{
		/// True when the record has samples that may label voxels of the slices [z0, z1).
		bool reachesSlices(const EdgeRecord& record, int z0, int z1) { return record.zmax >= z0 && record.zmin < z1 && record.samples > 0; }

		/// Centerline: true when the voxel centre `q` lies within the radius of the segment P0-P1
		/// (`a` = P1 - P0), the round ends included.
		inline bool capsuleHolds(const EdgeRecord& record, const Eigen::Vector3f& m, const Eigen::Vector3f& a, const Eigen::Vector3f& q)
		{
			float d2;
			const Eigen::Vector3f w = q - record.p0;
			const float s = metricDot(m, w, a) * record.invLength2;
			if (s <= 0.0f)
				d2 = metricDot(m, w, w);
			else if (s >= 1.0f)
			{
				const Eigen::Vector3f v = w - a;
				d2 = metricDot(m, v, v);
			}
			else
			{
				const Eigen::Vector3f v(w.x() - s * a.x(), w.y() - s * a.y(), w.z() - s * a.z());
				d2 = metricDot(m, v, v);
			}
			return d2 <= record.r2;
		}

		/// Vessel: true when the voxel centre `q` lies within 2.5 scaled units of the sample centre
		/// `c` along the edge and within the radius of the axis.
		inline bool cylinderHolds(const EdgeRecord& record, const Eigen::Vector3f& m, const Eigen::Vector3f& c, const Eigen::Vector3f& q)
		{
			const Eigen::Vector3f w = q - c;
			const float along = metricDot(m, record.direction, w);
			if (along * along > kAxialReach2)
				return false;
			const Eigen::Vector3f v(w.x() - along * record.direction.x(), w.y() - along * record.direction.y(),
			                        w.z() - along * record.direction.z());
			return metricDot(m, v, v) <= record.r2;
		}

		/// Labels the voxels of the box around the sample centre `c` that lie in the slices [z0, z1)
		/// and that the record's distance test accepts.
		void labelSampleBox(const EdgeRecord& record, const Eigen::Vector3f& m, Mode mode, const Eigen::Vector3f& c, std::uint8_t* labels,
		                    const Eigen::Vector3i& dimensions, int z0, int z1)
		{
			const int nx = dimensions.x(), ny = dimensions.y();
			const std::size_t row = static_cast<std::size_t>(nx);
			const std::size_t slice = row * static_cast<std::size_t>(ny);
			const Eigen::Vector3f a = record.p1 - record.p0;
			const Eigen::Vector3f e = record.halfExtent.cast<float>();
			const int xLo = clampedFloor(c.x() - e.x(), nx - 1), xHi = clampedCeil(c.x() + e.x(), -1, nx);
			const int yLo = clampedFloor(c.y() - e.y(), ny - 1), yHi = clampedCeil(c.y() + e.y(), -1, ny);
			const int zLo = std::max(clampedFloor(c.z() - e.z(), z1 - 1), z0);
			const int zHi = std::min(clampedCeil(c.z() + e.z(), -1, z1), z1 - 1);
			for (int z = zLo; z <= zHi; ++z)
				for (int y = yLo; y <= yHi; ++y)
				{
					std::uint8_t* out = labels + static_cast<std::size_t>(z) * slice + static_cast<std::size_t>(y) * row;
					for (int x = xLo; x <= xHi; ++x)
					{
						if (out[x])
							continue;
						const Eigen::Vector3f q(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f, static_cast<float>(z) + 0.5f);
						if (mode == Mode::Centerline ? capsuleHolds(record, m, a, q) : cylinderHolds(record, m, c, q))
							out[x] = 1;
					}
				}
		}
	}

	void rasteriseSlices(const std::vector<EdgeRecord>& records, const Eigen::Vector3f& m, Mode mode, std::uint8_t* labels,
	                     const Eigen::Vector3i& dimensions, int z0, int z1, std::atomic<std::int64_t>* samplesDone)
	{
		for (const EdgeRecord& record : records)
		{
			if (!reachesSlices(record, z0, z1))
				continue;
			for (int k = 0; k < record.samples; ++k)
			{
				const float t = static_cast<float>(k) + 0.5f;
				const Eigen::Vector3f c(record.p0.x() + t * record.step.x(), record.p0.y() + t * record.step.y(),
				                        record.p0.z() + t * record.step.z());
				labelSampleBox(record, m, mode, c, labels, dimensions, z0, z1);
			}
			if (samplesDone)
				samplesDone->fetch_add(record.samples, std::memory_order_relaxed);
		}
	}

	namespace
	{
		/// The records of the edges that label something, in edge order.
		std::vector<EdgeRecord> edgeRecords(const std::vector<Eigen::Vector4f>& nodes, const std::vector<Eigen::Vector2i>& edges,
		                                    const std::vector<float>& radii, const Eigen::Matrix4f& graphToPixel, const Eigen::Vector3f& m,
		                                    Mode mode, float sampleSpacing, int depth)
		{
			std::vector<EdgeRecord> records;
			records.reserve(edges.size());
			for (std::size_t e = 0; e < edges.size(); ++e)
			{
				const Eigen::Vector3f p0 = toVoxel(graphToPixel, nodes[static_cast<std::size_t>(edges[e].x())]);
				const Eigen::Vector3f p1 = toVoxel(graphToPixel, nodes[static_cast<std::size_t>(edges[e].y())]);
				if (auto record = edgeRecord(p0, p1, radii[e], m, mode, sampleSpacing, depth))
					records.push_back(*record);
			}
			return records;
		}

		/// How often a waiting rasterisation reports its progress.
		constexpr int kProgressIntervalMs = 50;

		/// The samples that `rasteriseSlices` visits for the slices [z0, z1).
		std::int64_t samplesReaching(const std::vector<EdgeRecord>& records, int z0, int z1)
		{
			std::int64_t samples = 0;
			for (const EdgeRecord& record : records)
				if (reachesSlices(record, z0, z1))
					samples += record.samples;
			return samples;
		}
	}

	std::unique_ptr<MemImage> rasterise(const std::vector<Eigen::Vector4f>& nodes, const std::vector<Eigen::Vector2i>& edges,
	                                    const std::vector<float>& radii, const ImageDescriptorWorld& grid, const Eigen::Matrix4d& graphToWorld,
	                                    const Eigen::Vector3d& metric, Mode mode, float sampleSpacing, unsigned threads, Progress* progress)
	{
		const Eigen::Vector3i dimensions = grid.dimensions();
		auto image = TypedImage<std::uint8_t>::create(ImageDescriptor(ImageDescriptor::UnsignedChar, dimensions, 1, grid.spacing(), grid.isMetric()));

		const Eigen::Vector3f m = metric.cast<float>();
		const std::vector<EdgeRecord> records =
		    edgeRecords(nodes, edges, radii, graphToPixelMatrix(grid, graphToWorld), m, mode, sampleSpacing, dimensions.z());

		// The team is chosen after the image is filled: the fill's own team has ended by then.
		const Threading::ThreadTeam team;
		Threading::ThreadPool pool(threads ? threads : std::max(1u, std::thread::hardware_concurrency()));
		const auto taking = threads ? pool.numThreads() : std::min(pool.numThreads(), static_cast<std::size_t>(team.size()));
		const int workers = static_cast<int>(taking);
		const int depth = dimensions.z();
		const int chunk = std::max(1, (depth - 1 + workers) / workers);
		std::uint8_t* labels = image->pointer();
		std::atomic<std::int64_t> done{0};
		std::int64_t total = 0;
		// Each task owns the slices [z0, z1): no two tasks write the same voxel, and nothing is locked.
		for (int t = 0; t < workers; ++t)
		{
			const int z0 = t * chunk;
			if (z0 < depth)
				total += samplesReaching(records, z0, std::min(depth, z0 + chunk));
			pool.enqueue(
			    [&, z0]
			    {
				    if (z0 >= depth)
					    return;
				    rasteriseSlices(records, m, mode, labels, dimensions, z0, std::min(depth, z0 + chunk), &done);
			    });
		}
		// Progress goes out from this thread only: a progress bar may process user interface events.
		const auto report = [&]
		{
			if (progress && total > 0)
				progress->update(static_cast<double>(done.load(std::memory_order_relaxed)) / static_cast<double>(total));
		};
		pool.waitPolling(kProgressIntervalMs, report);
		if (progress)
			progress->update(1.0);
		return image;
	}

	namespace
	{
		void throwIf(const std::optional<std::string>& problem)
		{
			if (problem)
				throw Error(*problem);
		}

		/// What to do about a graph without diameters.
		const char* const kHowToMeasure = "measure them first (ComputeFeatures with mode VesselDiameter and the label image), or give "
		                                  "the edges a diameter feature of their own.";

		/// Throws `Failure` when every radius is zero (nothing would be labelled); warns of a radius
		/// smaller than one scaled unit. The largest radius of the non-empty list.
		float largestRadius(const std::vector<float>& radii, const std::function<void(const std::string&)>& warn)
		{
			if (std::all_of(radii.begin(), radii.end(), [](float r) { return r == 0.0f; }))
				throw Failure(std::string("All graph edge diameters are zero. The label map would be empty: ") + kHowToMeasure);
			const auto [smallest, largest] = std::minmax_element(radii.begin(), radii.end());
			if (*smallest < 1.0f)
				warn(fmt::format("Smallest radius {:.3g} is smaller than one scaled unit, consider increasing the resolution.", *smallest));
			return *largest;
		}

		/// Throws `Failure` when the grid's label map, one byte per voxel, does not fit in the memory limit.
		void requireMemory(const ImageDescriptorWorld& grid, bool fitted)
		{
			if (const std::string refusal = memoryRefusal(grid, 1.0, ""); !refusal.empty())
				throw Failure(refusal + (fitted ? "; use a larger spacing." : "."));
		}

		/// The grid around the graph's bounds.
		ImageDescriptorWorld gridAround(const Graph& graph, double spacing, float largestRadius)
		{
			const Quorvale::Geometry::AlignedBox bounds = graph.bounds();
			auto fitted = fittedGrid(bounds.min(), bounds.max(), spacing, largestRadius);
			if (auto* problem = std::get_if<std::string>(&fitted))
				throw Error(*problem);
			return std::get<ImageDescriptorWorld>(fitted);
		}
	}

	Job prepare(const Graph& graph, const std::optional<ImageDescriptorWorld>& referenceGrid, double spacing, Mode mode,
	            const std::function<void(const std::string&)>& warn)
	{
		if (graph.empty())
			throw Error("Graph has no nodes");
		const std::optional<int> diameterIndex = graph.getEdgeFeatureIdx("diameter");
		if (!diameterIndex)
			throw Error("Graph does not have a diameter feature.");
		if (graph.numEdges() == 0)
			throw Failure("Graph has no edges, so the label map would be empty: only edges are drawn into it.");

		const Eigen::Vector3d gridSpacing = referenceGrid ? referenceGrid->spacing() : Eigen::Vector3d::Constant(spacing);
		throwIf(unsafeSpacing(gridSpacing));
		throwIf(unsafeMatrix(graph, referenceGrid));
		Job job;
		job.graphToWorld = graph.matrixToWorld();
		job.geometry = geometryOf(gridSpacing);
		throwIf(unsafeGraph(graph, *diameterIndex, job.geometry.scale));
		job.lists = workLists(graph, *diameterIndex, job.geometry.scale);

		const float largest = largestRadius(job.lists.radii, warn);
		job.grid = referenceGrid ? *referenceGrid : gridAround(graph, spacing, largest);
		requireMemory(job.grid, !referenceGrid);
		throwIf(unsafeEdges(job.lists, graphToPixelMatrix(job.grid, job.graphToWorld), job.geometry.metric, mode, job.geometry.sampleSpacing()));
		return job;
	}
}
