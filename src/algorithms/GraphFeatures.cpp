#include "src/algorithms/GraphFeatures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <map>
#include <set>
#include <unordered_set>
#include <vector>

#include <Eigen/Geometry>

#include "host/core/ThreadTeam.h"
#include "host/lib/SharedImage.h"
#include "host/lib/TypedImage.h"
#include "src/graph/GraphUtils.h"

namespace Quorvale::GraphFeatures
{
	namespace
	{
		constexpr double kPi = 3.14159265358979323846;
		constexpr int kRayCount = 36;

		enum class Sample
		{
			Outside,
			Background,
			Inside
		};

		/// Reads channel 0 of a label image at continuous pixel coordinates (integers at voxel centres),
		/// from the nearest voxel.
		template <typename T>
		class LabelReader
		{
		public:
			LabelReader(const TypedImage<T>& image, double threshold)
			    : m_data(image.pointer())
			    , m_descriptor(image.descriptor())
			    , m_dimensions(image.descriptor().dimensions().template cast<double>())
			    , m_threshold(threshold)
			    , m_identityMapping(image.descriptor().hasIdentityStorageMapping())
			{
			}

			Sample at(const Eigen::Vector3d& pixel) const
			{
				// Voxel k covers [k - 0.5, k + 0.5). Written so that NaN lands outside, and tested before
				// the conversion to int so that far-away points cannot overflow it.
				for (int axis = 0; axis < 3; ++axis)
					if (!(pixel[axis] >= -0.5 && pixel[axis] < m_dimensions[axis] - 0.5))
						return Sample::Outside;
				const int x = static_cast<int>(std::floor(pixel.x() + 0.5));
				const int y = static_cast<int>(std::floor(pixel.y() + 0.5));
				const int z = static_cast<int>(std::floor(pixel.z() + 0.5));
				double value = static_cast<double>(m_data[m_descriptor.elementIndex(x, y, z, 0)]);
				if (!m_identityMapping)
					value = m_descriptor.storageToOriginal(value);
				return value > m_threshold ? Sample::Inside : Sample::Background;
			}

		private:
			const T* m_data;
			const ImageDescriptor& m_descriptor;
			Eigen::Vector3d m_dimensions;
			double m_threshold;
			bool m_identityMapping;
		};

		/// The cross-section plane of one edge in pixel coordinates: the midpoint and the images of
		/// two perpendicular unit vectors (graph coordinates) spanning the plane.
		struct EdgeFrame
		{
			Eigen::Vector3d centre;
			Eigen::Vector3d u;
			Eigen::Vector3d w;
			/// False for an edge whose ends coincide: it defines no plane and is not measured.
			bool hasDirection = true;

			Eigen::Vector3d at(double radius, double cosine, double sine) const { return centre + radius * (cosine * u + sine * w); }
		};

		EdgeFrame makeFrame(const Eigen::Vector3d& a, const Eigen::Vector3d& b, const Eigen::Matrix4d& graphToPixel)
		{
			Eigen::Vector3d d = b - a;
			const double length = d.norm();
			if (length > 0.0)
				d /= length;
			Eigen::Vector3d u = std::abs(d.x()) > 0.1 ? Eigen::Vector3d(d.z(), 0.0, -d.x()) : Eigen::Vector3d(0.0, -d.z(), d.y());
			if (u.norm() > 0.0)
				u.normalize();
			Eigen::Vector3d w = d.cross(u);
			if (w.norm() > 0.0)
				w.normalize();

			const Eigen::Matrix3d linear = graphToPixel.topLeftCorner<3, 3>();
			EdgeFrame frame;
			frame.centre = linear * (0.5 * (a + b)) + graphToPixel.topRightCorner<3, 1>();
			frame.u = linear * u;
			frame.w = linear * w;
			frame.hasDirection = length > 0.0;
			return frame;
		}

		/// What both measurements share: the smallest spacing as step, the longest radius worth trying.
		struct Reach
		{
			double step;
			double limit;
		};

		/// Circles of growing radius; the first sample that leaves the vessel is refined by bisection
		/// along its own direction.
		template <typename T>
		double circleRadius(const LabelReader<T>& label, const EdgeFrame& frame, const Reach& reach)
		{
			if (!frame.hasDirection || !(reach.limit > reach.step))
				return 0.0;
			double complete = 0.0;
			for (double radius = reach.step; radius < reach.limit; radius += reach.step)
			{
				const int samples = std::max(static_cast<int>(std::floor(3.0 * kPi * radius / reach.step)), 20);
				for (int k = 0; k < samples; ++k)
				{
					const double angle = 2.0 * kPi * k / samples;
					const double cosine = std::cos(angle);
					const double sine = std::sin(angle);
					const Sample sample = label.at(frame.at(radius, cosine, sine));
					if (sample == Sample::Outside)
						return complete;
					if (sample == Sample::Background)
					{
						// A bisection sample outside the image (the midpoint may lie near or beyond the
						// border) counts as outside the vessel.
						double lo = complete;
						double hi = radius;
						for (int i = 0; i < 5; ++i)
						{
							const double mid = 0.5 * (lo + hi);
							if (label.at(frame.at(mid, cosine, sine)) == Sample::Inside)
								lo = mid;
							else
								hi = mid;
						}
						return lo;
					}
				}
				complete = radius;
			}
			return complete;
		}

		struct RayDirections
		{
			std::array<double, kRayCount> cosine;
			std::array<double, kRayCount> sine;

			RayDirections()
			{
				for (int k = 0; k < kRayCount; ++k)
				{
					const double angle = 2.0 * kPi * k / kRayCount;
					cosine[static_cast<size_t>(k)] = std::cos(angle);
					sine[static_cast<size_t>(k)] = std::sin(angle);
				}
			}
		};

		/// The mean of the positive ray radii without the lowest 5 % and without 5 % to 60 % of the
		/// highest, the more the more the radii spread.
		double trimmedMeanRadius(std::array<double, kRayCount> radii)
		{
			const auto end = std::remove_if(radii.begin(), radii.end(), [](double r) { return !(r > 0.0); });
			const auto n = static_cast<int>(end - radii.begin());
			if (n == 0)
				return 0.0;
			std::sort(radii.begin(), end);
			const double lowest = radii.front();
			const double highest = radii[static_cast<size_t>(n - 1)];
			const double f = std::min((highest - lowest) / (highest + 1e-6), 1.0);
			const int a = static_cast<int>(std::floor(0.05 * n));
			const int b = static_cast<int>(std::floor(((0.6 - 0.05) * f + 0.05) * n));
			const int first = a < n - b ? a : 0;
			const int last = a < n - b ? n - b : n;
			double sum = 0.0;
			for (int i = first; i < last; ++i)
				sum += radii[static_cast<size_t>(i)];
			return sum / static_cast<double>(last - first);
		}

		/// 36 rays from the midpoint, each stepping outward while it stays inside the vessel; stops
		/// early once fewer than four rays are still going.
		template <typename T>
		double rayRadius(const LabelReader<T>& label, const EdgeFrame& frame, const Reach& reach)
		{
			static const RayDirections directions;
			if (!frame.hasDirection)
				return 0.0;
			std::array<double, kRayCount> radii;
			radii.fill(0.0);
			std::array<bool, kRayCount> active;
			active.fill(true);
			int activeCount = kRayCount;
			if (reach.limit > reach.step)
			{
				for (int i = 1; activeCount > 0.1 * kRayCount; ++i)
				{
					const double radius = i * reach.step;
					if (!(radius < reach.limit))
						break;
					for (size_t k = 0; k < static_cast<size_t>(kRayCount); ++k)
					{
						if (!active[k])
							continue;
						if (label.at(frame.at(radius, directions.cosine[k], directions.sine[k])) == Sample::Inside)
						{
							radii[k] = radius;
						}
						else
						{
							active[k] = false;
							--activeCount;
						}
					}
				}
			}
			return trimmedMeanRadius(radii);
		}

		enum class Method
		{
			Circles,
			Rays
		};

		/// The node positions of an edge in its visit orientation (from, to).
		struct EdgeEnds
		{
			Eigen::Vector3d a;
			Eigen::Vector3d b;
		};

		template <typename T>
		std::vector<double> measureDiameters(const std::vector<EdgeEnds>& edges, const TypedImage<T>& image,
		                                     const Eigen::Matrix4d& graphToPixel, const Reach& reach, double threshold, Method method)
		{
			const LabelReader<T> label(image, threshold);
			std::vector<double> diameters(edges.size(), 0.0);
			const auto count = static_cast<std::ptrdiff_t>(edges.size());
			// Every edge is measured on its own and written to its own slot, so the result is the same
			// for any thread count; the cost per edge varies with the vessel's width, hence dynamic.
			// A few edges are not worth waking the threads for.
			const Threading::ThreadTeam team(count > 256);
#pragma omp parallel for schedule(dynamic, 64) if (count > 256) num_threads(team.size())
			for (std::ptrdiff_t i = 0; i < count; ++i)
			{
				const auto slot = static_cast<size_t>(i);
				const EdgeFrame frame = makeFrame(edges[slot].a, edges[slot].b, graphToPixel);
				const double radius = method == Method::Circles ? circleRadius(label, frame, reach) : rayRadius(label, frame, reach);
				diameters[slot] = 2.0 * radius;
			}
			return diameters;
		}

		/// The value at `featureIdx` that an entry of `node`'s neighbour map stands for: its own edge
		/// record, or for the empty entry of an arriving directed edge the record at the source.
		std::optional<double> entryValue(const Graph& graph, uint64_t node, uint64_t neighbor, const std::optional<Graph::EdgeInfo>& entry,
		                                 size_t featureIdx)
		{
			const std::optional<Graph::EdgeInfo>& record = entry ? entry : graph.edge(neighbor, node);
			if (!record)
				return std::nullopt;
			return record->features()[featureIdx];
		}

		/// Gives every edge whose value at `featureIdx` is exactly 0 the mean of the positive values
		/// on the nearest ring of edges around it: first the edges at its two ends, then one step
		/// further out, and so on through its component. Edges are filled in edge order, and later
		/// searches see the values filled before them.
		void fillZeroEdges(Graph& graph, int featureIdx)
		{
			const auto k = static_cast<size_t>(featureIdx);
			// A search that runs out of nodes has walked a whole component without a positive value;
			// every later search from there would do the same and find nothing.
			std::unordered_set<uint64_t> exhausted;
			graph.editEachEdge(
			    [&](Graph::EdgeInfo& edge, uint64_t a, uint64_t b)
			    {
				    if (edge.features()[k] != 0.0 || exhausted.count(a) != 0)
					    return;
				    std::set<uint64_t> frontier{a, b};
				    std::unordered_set<uint64_t> visited;
				    while (!frontier.empty())
				    {
					    visited.insert(frontier.begin(), frontier.end());
					    // Neighbour → value of the entry of the first frontier node that has it.
					    std::map<uint64_t, std::optional<double>> gathered;
					    for (uint64_t node : frontier)
						    for (const auto& [neighbor, entry] : graph.neighborhood(node))
							    if (gathered.count(neighbor) == 0)
								    gathered.emplace(neighbor, entryValue(graph, node, neighbor, entry, k));
					    std::vector<double> positive;
					    for (const auto& [neighbor, value] : gathered)
						    if (value && *value > 0.0)
							    positive.push_back(*value);
					    if (!positive.empty())
					    {
						    edge.features()[k] = meanOfValues(positive);
						    return;
					    }
					    std::set<uint64_t> next;
					    for (const auto& [neighbor, value] : gathered)
						    if (visited.count(neighbor) == 0)
							    next.insert(neighbor);
					    frontier.swap(next);
				    }
				    exhausted.insert(visited.begin(), visited.end());
			    });
		}

		/// The node positions of every edge, in the graph's edge visit order.
		std::vector<EdgeEnds> edgeEnds(const Graph& graph)
		{
			std::vector<EdgeEnds> edges;
			edges.reserve(static_cast<size_t>(graph.numNodes()));
			graph.forEachEdge([&edges](const Graph::EdgeInfo&, const Graph::NodeInfo& a, const Graph::NodeInfo& b)
			                  { edges.push_back({a.position(), b.position()}); });
			return edges;
		}

		/// The diameters of every edge in edge visit order, measured in pixels of type T; nullopt when
		/// the image's memory does not hold such pixels.
		template <typename T>
		std::optional<std::vector<double>> measureTyped(const Graph& graph, const SharedImage& labelImage, double threshold, Method method)
		{
			const auto* typed = dynamic_cast<const TypedImage<T>*>(labelImage.mem());
			if (!typed)
				return std::nullopt;
			const ImageDescriptorWorld descriptor = labelImage.descriptorWorld();
			const Reach reach{descriptor.spacing().minCoeff(), std::sqrt(3.0) * descriptor.extent().maxCoeff()};
			const Eigen::Matrix4d graphToPixel = descriptor.worldToPixelMatrix() * graph.matrixToWorld();
			return measureDiameters(edgeEnds(graph), *typed, graphToPixel, reach, threshold, method);
		}

		/// Measures every edge's diameter into edge feature "diameter" and returns its index; nullopt
		/// without change for a pixel type that cannot be measured.
		std::optional<int> measureIntoGraph(Graph& graph, const SharedImage& labelImage, double threshold, Method method)
		{
			std::optional<std::vector<double>> diameters;
			switch (labelImage.descriptor().pixelType())
			{
				case ImageDescriptor::UnsignedChar: diameters = measureTyped<unsigned char>(graph, labelImage, threshold, method); break;
				case ImageDescriptor::UnsignedShort: diameters = measureTyped<unsigned short>(graph, labelImage, threshold, method); break;
				case ImageDescriptor::Float: diameters = measureTyped<float>(graph, labelImage, threshold, method); break;
				default: break;
			}
			if (!diameters)
				return std::nullopt;
			const int featureIdx = graph.getOrCreateEdgeFeatureIdx("diameter", 0.0);
			const auto k = static_cast<size_t>(featureIdx);
			size_t next = 0;
			// The same visit order as the collection, so each edge takes back its own measurement.
			graph.editEachEdge([&](Graph::EdgeInfo& edge, uint64_t, uint64_t) { edge.features()[k] = (*diameters)[next++]; });
			return featureIdx;
		}
	}

	int computeEdgeLengths(Graph& graph)
	{
		const int featureIdx = graph.getOrCreateEdgeFeatureIdx("length", 0.0);
		const auto k = static_cast<size_t>(featureIdx);
		graph.editEachEdge([k](Graph::EdgeInfo& edge, const Graph::NodeInfo& a, const Graph::NodeInfo& b)
		                   { edge.features()[k] = (b.position() - a.position()).norm(); });
		return featureIdx;
	}

	std::optional<int> computeDiameters(Graph& graph, const SharedImage& labelImage, bool averageZeroEdges, double threshold)
	{
		const std::optional<int> featureIdx = measureIntoGraph(graph, labelImage, threshold, Method::Circles);
		if (featureIdx && averageZeroEdges)
			fillZeroEdges(graph, *featureIdx);
		return featureIdx;
	}

	int computeCrossSections(Graph& graph)
	{
		const auto diameter = static_cast<size_t>(graph.getEdgeFeatureIdx("diameter").value());
		const int featureIdx = graph.getOrCreateEdgeFeatureIdx("crossSection", 0.0);
		const auto k = static_cast<size_t>(featureIdx);
		graph.editEachEdge(
		    [k, diameter](Graph::EdgeInfo& edge, uint64_t, uint64_t)
		    {
			    const double d = edge.features()[diameter];
			    edge.features()[k] = kPi * d * d / 4.0;
		    });
		return featureIdx;
	}

	std::optional<int> computeVesselDiameters(Graph& graph, const SharedImage& labelImage, bool clampEdges, std::optional<int> slidingAverage,
	                                          bool averageZeroEdges, double threshold)
	{
		const std::optional<int> featureIdx = measureIntoGraph(graph, labelImage, threshold, Method::Rays);
		if (!featureIdx)
			return featureIdx;
		if (averageZeroEdges)
			fillZeroEdges(graph, *featureIdx);
		GraphUtils::clampAndSmoothEdgeFeature(graph, *featureIdx, clampEdges, slidingAverage, 1.1);
		return featureIdx;
	}

	int computeDegrees(Graph& graph)
	{
		const int featureIdx = graph.getOrCreateNodeFeatureIdx("degree", 0.0);
		const auto k = static_cast<size_t>(featureIdx);
		graph.editEachNode([k](uint64_t, Graph::NodeInfo& info, const Graph::Neighborhood& neighborhood)
		                   { info.features()[k] = static_cast<double>(neighborhood.size()); });
		return featureIdx;
	}
}
