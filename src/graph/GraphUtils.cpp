#include "src/graph/GraphUtils.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include <Eigen/Geometry>
#include <fmt/format.h>

#include "host/lib/SharedImage.h"
#include "host/lib/TypedImage.h"

namespace Quorvale
{
	double meanOfValues(const std::vector<double>& values)
	{
		if (values.empty())
			return 0.0;
		double sum = 0.0;
		for (double v : values)
			sum += v;
		return sum / static_cast<double>(values.size());
	}

	namespace GraphUtils
	{
		namespace
		{
			using NodePair = std::pair<uint64_t, uint64_t>;

			struct NodePairHash
			{
				size_t operator()(const NodePair& p) const
				{
					const std::hash<uint64_t> hash;
					return hash(p.first) ^ (hash(p.second) << 1);
				}
			};

			using PairValues = std::unordered_map<NodePair, double, NodePairHash>;
			using PairSet = std::unordered_set<NodePair, NodePairHash>;

			size_t checkedEdgeFeature(const Graph& graph, int featureIdx)
			{
				if (featureIdx < 0 || featureIdx >= graph.numEdgeFeatures())
					throw std::out_of_range(fmt::format("edge feature index {} is out of range: the graph has {} edge features", featureIdx,
					                                    graph.numEdgeFeatures()));
				return static_cast<size_t>(featureIdx);
			}

			/// Median of the values (reordered in place); 0.0 for none.
			double medianInPlace(std::vector<double>& values)
			{
				if (values.empty())
					return 0.0;
				const size_t mid = values.size() / 2;
				std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid), values.end());
				const double upper = values[mid];
				if (values.size() % 2 == 1)
					return upper;
				const double lower = *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid));
				return 0.5 * (lower + upper);
			}

			double median(std::vector<double> values) { return medianInPlace(values); }

			/// The edges from a segment's end to its neighbours outside the segment: how many, the
			/// largest feature value, and the values themselves when there are at most two (only
			/// then does clamping look at them one by one).
			struct OuterEdges
			{
				size_t count = 0;
				double largest = -std::numeric_limits<double>::infinity();
				std::vector<double> few;
			};

			/// Finds the outer edges of segment ends. A branch node may end thousands of segments
			/// (a star); its largest values are collected once, so that clamping every segment stays
			/// linear in the number of edges.
			class OuterEdgeFinder
			{
			public:
				OuterEdgeFinder(const Graph& graph, size_t k)
				    : m_graph(graph)
				    , m_k(k)
				{
				}

				OuterEdges at(uint64_t end, const std::unordered_set<uint64_t>& segment)
				{
					OuterEdges out;
					const Graph::Neighborhood& neighbors = m_graph.neighborhood(end);
					if (neighbors.size() <= kFewNeighbors)
					{
						for (const auto& [neighbor, edge] : neighbors)
							if (segment.count(neighbor) == 0)
								add(out, value(end, neighbor, edge));
						if (out.count > 2)
							out.few.clear();
						return out;
					}
					// At most three neighbours of an end lie in its segment (the next node, the node
					// before it on a closed loop, and itself for a loop edge), so one of the four
					// largest values always leads out.
					out.count = neighbors.size();
					for (uint64_t node : segment)
						if (neighbors.count(node) != 0)
							--out.count;
					for (const auto& [v, neighbor] : largestAt(end, neighbors))
						if (segment.count(neighbor) == 0)
						{
							out.largest = v;
							break;
						}
					return out;
				}

			private:
				static constexpr size_t kFewNeighbors = 5;
				static constexpr size_t kKept = 4;
				using Ranked = std::vector<std::pair<double, uint64_t>>;

				/// An entry without a record (a directed edge arriving at `end`) reads the record at its source.
				double value(uint64_t end, uint64_t neighbor, const std::optional<Graph::EdgeInfo>& edge) const
				{
					const std::optional<Graph::EdgeInfo>& record = edge ? edge : m_graph.edge(neighbor, end);
					return record->features()[m_k];
				}

				static void add(OuterEdges& out, double v)
				{
					++out.count;
					out.largest = std::max(out.largest, v);
					if (out.few.size() < 3)
						out.few.push_back(v);
				}

				const Ranked& largestAt(uint64_t end, const Graph::Neighborhood& neighbors)
				{
					Ranked& ranked = m_largest[end];
					if (!ranked.empty())
						return ranked;
					const auto greater = [](const auto& a, const auto& b) { return a.first > b.first; };
					for (const auto& [neighbor, edge] : neighbors)
					{
						ranked.emplace_back(value(end, neighbor, edge), neighbor);
						std::sort(ranked.begin(), ranked.end(), greater);
						if (ranked.size() > kKept)
							ranked.pop_back();
					}
					return ranked;
				}

				const Graph& m_graph;
				size_t m_k;
				std::unordered_map<uint64_t, Ranked> m_largest;
			};

			/// Lowers values above the segment's reference value times `factor` to that product.
			void clampSegment(const std::vector<uint64_t>& path, std::vector<double>& values, double factor, OuterEdgeFinder& outer)
			{
				double reference = median(values);
				const std::unordered_set<uint64_t> segment(path.begin(), path.end());
				const OuterEdges atFront = outer.at(path.front(), segment);
				const OuterEdges atBack = outer.at(path.back(), segment);
				if (values.size() < 5)
				{
					// A short segment between two bifurcations is judged by the thinner parent: by
					// Murray's law the parent's cube equals the sum of its children's cubes.
					const OuterEdges* chosen = nullptr;
					if (atFront.count == 1 && atBack.count != 0)
						chosen = &atBack;
					else if (atBack.count == 1 && atFront.count != 0)
						chosen = &atFront;
					else if (atFront.count == 2 && atBack.count == 2)
						chosen = meanOfValues(atBack.few) > meanOfValues(atFront.few) ? &atFront : &atBack;
					if (chosen && chosen->count == 2)
						reference = std::pow(std::pow(chosen->few[0], 3.0) + std::pow(chosen->few[1], 3.0), 1.0 / 3.0);
				}
				else if (atFront.count != 0 || atBack.count != 0)
					reference = std::min(reference, std::max(atFront.largest, atBack.largest));
				const double limit = reference * factor;
				for (double& v : values)
					if (v > limit)
						v = limit;
			}

			/// Each value replaced by the median of the values within `window` positions, all read
			/// from the values before smoothing.
			std::vector<double> smoothed(const std::vector<double>& values, size_t window)
			{
				const size_t count = values.size();
				std::vector<double> out(count);
				std::vector<double> scratch;
				for (size_t i = 0; i < count; ++i)
				{
					const size_t hi = std::min(count - 1, i + window);
					const size_t lo = std::min(i < window ? 0 : i - window, hi);
					scratch.assign(values.begin() + static_cast<std::ptrdiff_t>(lo), values.begin() + static_cast<std::ptrdiff_t>(hi) + 1);
					out[i] = medianInPlace(scratch);
				}
				return out;
			}

			/// Tells whether the element at a linear index holds a label (a non-zero original value).
			using LabelTest = std::function<bool(size_t)>;

			template <typename T>
			LabelTest labelTestOf(const MemImage& image)
			{
				const auto* typed = dynamic_cast<const TypedImage<T>*>(&image);
				if (!typed)
					throw std::invalid_argument(
					    fmt::format("the label map's memory does not hold elements of its pixel type {}", image.pixelType()));
				const T* elements = typed->pointer();
				const ImageDescriptor descriptor = image.descriptor();
				return [elements, descriptor](size_t i) { return descriptor.storageToOriginal(static_cast<double>(elements[i])) != 0.0; };
			}

			LabelTest labelTestFor(const MemImage& image)
			{
				switch (image.pixelType())
				{
					case ImageDescriptor::Char: return labelTestOf<char>(image);
					case ImageDescriptor::UnsignedChar: return labelTestOf<unsigned char>(image);
					case ImageDescriptor::Short: return labelTestOf<short>(image);
					case ImageDescriptor::UnsignedShort: return labelTestOf<unsigned short>(image);
					case ImageDescriptor::Int: return labelTestOf<int>(image);
					case ImageDescriptor::UnsignedInt: return labelTestOf<unsigned int>(image);
					case ImageDescriptor::Float:
					case ImageDescriptor::HalfFloat: return labelTestOf<float>(image);
					case ImageDescriptor::Double: return labelTestOf<double>(image);
				}
				throw std::invalid_argument(
				    fmt::format("cannot read labels from pixel type {}: its elements have no numeric values", image.pixelType()));
			}

			/// The feature record of the edge between a and b, whichever end stores it.
			const std::optional<Graph::EdgeInfo>& edgeEitherWay(const Graph& graph, uint64_t a, uint64_t b)
			{
				const std::optional<Graph::EdgeInfo>& stored = graph.edge(a, b);
				return stored ? stored : graph.edge(b, a);
			}

			/// Depth-first search for a cycle with an explicit stack: each frame remembers how far its
			/// node's neighbour map has been walked, so chains of any length cost no call depth.
			class CycleSearch
			{
			public:
				explicit CycleSearch(const Graph& graph)
				    : m_graph(graph)
				    , m_directed(graph.type() == Graph::Type::Directed)
				{
					m_marks.reserve(static_cast<size_t>(graph.numNodes()));
				}

				/// Searches from `root` unless an earlier search reached it; true when a cycle was found.
				bool closesCycleFrom(uint64_t root, const Graph::Neighborhood& rootNeighbors)
				{
					if (m_marks.count(root) != 0)
						return false;
					m_marks.emplace(root, Mark::OnStack);
					m_stack.push_back({root, std::nullopt, rootNeighbors.begin(), rootNeighbors.end()});
					while (!m_stack.empty())
					{
						Frame& top = m_stack.back();
						if (top.next == top.end)
						{
							m_marks[top.node] = Mark::Done;
							m_stack.pop_back();
							continue;
						}
						const uint64_t node = top.node;
						const std::optional<uint64_t> parent = top.parent;
						const auto& [neighbor, edge] = *top.next;
						++top.next;
						// Directed: only leaving edges lead on. Undirected: the edge back to the parent
						// is the one just come through.
						if (m_directed ? !edge : parent == neighbor)
							continue;
						const auto mark = m_marks.find(neighbor);
						if (mark == m_marks.end())
						{
							m_marks.emplace(neighbor, Mark::OnStack);
							const Graph::Neighborhood& neighbors = m_graph.neighborhood(neighbor);
							m_stack.push_back({neighbor, node, neighbors.begin(), neighbors.end()});
						}
						else if (mark->second == Mark::OnStack)
						{
							m_stack.clear();
							return true;
						}
					}
					return false;
				}

			private:
				enum class Mark : uint8_t
				{
					OnStack,
					Done
				};
				struct Frame
				{
					uint64_t node;
					std::optional<uint64_t> parent;
					Graph::Neighborhood::const_iterator next;
					Graph::Neighborhood::const_iterator end;
				};

				const Graph& m_graph;
				bool m_directed;
				std::unordered_map<uint64_t, Mark> m_marks;
				std::vector<Frame> m_stack;
			};

			/// A label map seen from a graph's coordinates, walked in steps.
			class LabelWalk
			{
			public:
				LabelWalk(const Graph& graph, const SharedImage& labelMap)
				    : m_isLabel(labelTestFor(*labelMap.mem()))
				    , m_descriptor(labelMap.mem()->descriptor())
				    , m_dimensions(m_descriptor.dimensions())
				    , m_graphToPixel(labelMap.worldToPixelMatrix() * graph.matrixToWorld())
				    , m_linear(m_graphToPixel.topLeftCorner<3, 3>())
				{
				}

				/// The length in pixels of `direction`, given in graph coordinates.
				double pixelLength(const Eigen::Vector3d& direction) const { return (m_linear * direction).norm(); }

				/// The points `start` − k · `step` (k = 1, 2, ...) up to the first one outside the grid or
				/// on a voxel without label.
				std::vector<Eigen::Vector3d> pointsInside(Eigen::Vector3d position, const Eigen::Vector3d& step) const
				{
					std::vector<Eigen::Vector3d> points;
					while (true)
					{
						position -= step;
						const std::optional<Eigen::Vector3i> voxel = voxelAt(position);
						if (!voxel || !m_isLabel(m_descriptor.elementIndex(voxel->x(), voxel->y(), voxel->z(), 0)))
							break;
						points.push_back(position);
					}
					return points;
				}

			private:
				// The voxel whose centre is nearest (pixel coordinates are integer at voxel centres), or
				// none outside the grid.
				std::optional<Eigen::Vector3i> voxelAt(const Eigen::Vector3d& position) const
				{
					const Eigen::Vector3d pixel = (m_graphToPixel * position.homogeneous()).head<3>();
					Eigen::Vector3i voxel;
					for (int axis = 0; axis < 3; ++axis)
					{
						const double rounded = std::floor(pixel[axis] + 0.5);
						// Also false for NaN, so no invalid value reaches the integer conversion.
						if (!(rounded >= 0.0 && rounded < static_cast<double>(m_dimensions[axis])))
							return std::nullopt;
						voxel[axis] = static_cast<int>(rounded);
					}
					return voxel;
				}

				LabelTest m_isLabel;
				const ImageDescriptor& m_descriptor;
				Eigen::Vector3i m_dimensions;
				Eigen::Matrix4d m_graphToPixel;
				Eigen::Matrix3d m_linear;
			};

			/// The way from a leaf into the graph (graph coordinates) and the features its extension takes.
			struct LeafHeading
			{
				Eigen::Vector3d direction;
				std::vector<double> features;
			};

			/// The heading of the leaf whose one neighbour is `neighbor`; none when no edge is stored
			/// between them.
			std::optional<LeafHeading> leafHeading(const Graph& graph, uint64_t leaf, const Graph::NodeInfo& leafInfo, uint64_t neighbor)
			{
				const std::optional<Graph::EdgeInfo>& leafEdge = edgeEitherWay(graph, leaf, neighbor);
				if (!leafEdge)
					return std::nullopt;
				LeafHeading heading{graph.node(neighbor).position() - leafInfo.position(), leafEdge->features()};
				const Graph::Neighborhood& next = graph.neighborhood(neighbor);
				if (next.size() == 2)
				{
					// Through an inner neighbour the direction and features of two edges are averaged.
					const uint64_t further = next.begin()->first != leaf ? next.begin()->first : std::next(next.begin())->first;
					const std::optional<Graph::EdgeInfo>& furtherEdge = edgeEitherWay(graph, neighbor, further);
					if (furtherEdge)
						for (size_t i = 0; i < heading.features.size() && i < furtherEdge->features().size(); ++i)
							heading.features[i] = 0.5 * (heading.features[i] + furtherEdge->features()[i]);
					heading.direction = 0.5 * (graph.node(further).position() - leafInfo.position());
				}
				return heading;
			}

			/// The new points of one leaf, one pixel apart, with the features of their edges.
			struct Extension
			{
				uint64_t leaf;
				std::vector<Eigen::Vector3d> points;
				std::vector<double> features;
			};
		}

		std::vector<double> collectLinearPathFeatures(const Graph& graph, uint64_t start, uint64_t next, int featureIdx,
		                                              std::vector<uint64_t>& path)
		{
			const size_t k = checkedEdgeFeature(graph, featureIdx);
			const size_t first = path.size();
			std::vector<double> values;
			path.push_back(start);
			// The first step goes to `next` when an edge leads there, else along the first edge that
			// leaves `start`. It is looked up, not gathered from every neighbour: a branch node of high
			// degree starts as many walks as it has neighbours.
			const Graph::Neighborhood& startNeighbors = graph.neighborhood(start);
			auto step = startNeighbors.find(next);
			if (step == startNeighbors.end() || !step->second || next == start)
				step = std::find_if(startNeighbors.begin(), startNeighbors.end(),
				                    [start](const auto& entry) { return entry.second && entry.first != start; });
			if (step == startNeighbors.end())
				return values;
			std::unordered_set<uint64_t> visited{start};
			uint64_t previous = start;
			uint64_t id = step->first;
			while (true)
			{
				visited.insert(id);
				values.push_back(graph.edge(previous, id)->features()[k]);
				path.push_back(id);
				// A branch node or a leaf ends the segment.
				const Graph::Neighborhood& neighbors = graph.neighborhood(id);
				if (neighbors.size() != 2)
					break;
				const auto onward = std::find_if(neighbors.begin(), neighbors.end(),
				                                 [&visited](const auto& entry) { return entry.second && visited.count(entry.first) == 0; });
				if (onward == neighbors.end())
					break;
				previous = id;
				id = onward->first;
			}
			// The walk stopped at an inner node because its other neighbour was visited: when that is
			// the start, the segment is a closed loop. A walk that stopped at a branch node adjacent to
			// the start has not come back: the edge between them is a segment of its own.
			const uint64_t last = path.back();
			if (path.size() - first >= 3 && graph.neighborhood(last).size() == 2)
			{
				const std::optional<Graph::EdgeInfo>& closing = graph.edge(last, start);
				if (closing)
				{
					values.push_back(closing->features()[k]);
					path.push_back(start);
				}
			}
			return values;
		}

		double aggregateLinearPathFeatures(const Graph& graph, uint64_t start, uint64_t next, int featureIdx, Reduction reduce,
		                                   std::vector<uint64_t>& path)
		{
			return reduce(collectLinearPathFeatures(graph, start, next, featureIdx, path));
		}

		void accumulateFeatureAlongSegments(Graph& graph, Reduction reduce, const std::string& sourceName, const std::string& targetName)
		{
			const int sourceIdx = graph.getEdgeFeatureIdx(sourceName).value();
			accumulateFeatureAlongSegments(graph, std::move(reduce), sourceIdx, targetName);
		}

		void accumulateFeatureAlongSegments(Graph& graph, Reduction reduce, int sourceIdx, const std::string& targetName)
		{
			const size_t k = checkedEdgeFeature(graph, sourceIdx);
			PairValues segmentValue;
			std::unordered_set<uint64_t> visited;
			segmentValue.reserve(2 * static_cast<size_t>(graph.numNodes()));
			visited.reserve(static_cast<size_t>(graph.numNodes()));

			// The first value stored for an edge stays: an edge between two branch nodes is walked
			// from one end only, and a segment's pairs are stored in both orders.
			auto walkAndStore = [&](uint64_t start, uint64_t next)
			{
				std::vector<uint64_t> path;
				const std::vector<double> values = collectLinearPathFeatures(graph, start, next, sourceIdx, path);
				visited.insert(path.begin(), path.end());
				if (values.empty())
					return;
				const double value = reduce(values);
				for (size_t i = 0; i + 1 < path.size(); ++i)
				{
					segmentValue.emplace(NodePair(path[i + 1], path[i]), value);
					segmentValue.emplace(NodePair(path[i], path[i + 1]), value);
				}
			};

			graph.forEachNode(
			    [&](uint64_t id, const Graph::NodeInfo&, const Graph::Neighborhood& neighbors)
			    {
				    if (neighbors.size() < 3)
					    return;
				    for (const auto& [neighbor, edge] : neighbors)
					    if (neighbor != id && segmentValue.count(NodePair(id, neighbor)) == 0)
						    walkAndStore(id, neighbor);
			    });
			graph.forEachNode(
			    [&](uint64_t id, const Graph::NodeInfo&, const Graph::Neighborhood& neighbors)
			    {
				    if (neighbors.size() == 1 && neighbors.begin()->first != id && visited.count(id) == 0)
					    walkAndStore(id, neighbors.begin()->first);
			    });
			// Closed chains have neither branch nodes nor leaves.
			graph.forEachNode(
			    [&](uint64_t id, const Graph::NodeInfo&, const Graph::Neighborhood& neighbors)
			    {
				    if (neighbors.size() == 2 && neighbors.begin()->first != id && visited.count(id) == 0)
					    walkAndStore(id, neighbors.begin()->first);
			    });

			const size_t target = static_cast<size_t>(graph.getOrCreateEdgeFeatureIdx(targetName, 0.0));
			graph.editEachEdge(
			    [&](Graph::EdgeInfo& edge, uint64_t a, uint64_t b)
			    {
				    const auto found = segmentValue.find(NodePair(a, b));
				    edge.features()[target] = found != segmentValue.end() ? found->second : edge.features()[k];
			    });
		}

		void clampAndSmoothEdgeFeature(Graph& graph, int featureIdx, bool clamp, std::optional<int> window, double factor)
		{
			const size_t k = checkedEdgeFeature(graph, featureIdx);
			const bool smooth = window && *window >= 1;
			std::unordered_set<uint64_t> visitedNodes;
			// Segments are recognised by their edges, not by their end nodes: a node can end several
			// segments, and a one-edge segment between two nodes already met must still be processed.
			PairSet processedEdges;
			OuterEdgeFinder outer(graph, k);

			auto process = [&](uint64_t start, uint64_t next)
			{
				std::vector<uint64_t> path;
				std::vector<double> values = collectLinearPathFeatures(graph, start, next, featureIdx, path);
				if (values.empty() || processedEdges.count(NodePair(path[0], path[1])) != 0)
					return;
				visitedNodes.insert(path.begin(), path.end());
				for (size_t i = 0; i + 1 < path.size(); ++i)
				{
					processedEdges.emplace(path[i], path[i + 1]);
					processedEdges.emplace(path[i + 1], path[i]);
				}
				if (clamp)
					clampSegment(path, values, factor, outer);
				if (smooth)
					values = smoothed(values, static_cast<size_t>(*window));
				for (size_t i = 0; i + 1 < path.size(); ++i)
					graph.editEdge(path[i], path[i + 1], [&](Graph::EdgeInfo& edge) { edge.features()[k] = values[i]; });
			};

			// The starts are gathered first, so that no edge is edited while the node map is walked.
			std::vector<NodePair> segmentStarts;
			std::vector<NodePair> chainStarts;
			graph.forEachNode(
			    [&](uint64_t id, const Graph::NodeInfo&, const Graph::Neighborhood& neighbors)
			    {
				    if (neighbors.size() == 2)
					    chainStarts.emplace_back(id, neighbors.begin()->first);
				    else
					    for (const auto& [neighbor, edge] : neighbors)
						    if (neighbor != id)
							    segmentStarts.emplace_back(id, neighbor);
			    });
			for (const NodePair& s : segmentStarts)
				if (processedEdges.count(s) == 0)
					process(s.first, s.second);
			for (const NodePair& s : chainStarts)
				if (visitedNodes.count(s.first) == 0)
					process(s.first, s.second);
		}

		bool isAcyclic(const Graph& graph)
		{
			CycleSearch search(graph);
			bool cyclic = false;
			graph.forEachNode(
			    [&](uint64_t root, const Graph::NodeInfo&, const Graph::Neighborhood& rootNeighbors)
			    { cyclic = cyclic || search.closesCycleFrom(root, rootNeighbors); });
			return !cyclic;
		}

		void extendLeavesToEdge(Graph& graph, const SharedImage& labelMap)
		{
			const LabelWalk walk(graph, labelMap);
			std::vector<Extension> extensions;
			graph.forEachNode(
			    [&](uint64_t leaf, const Graph::NodeInfo& leafInfo, const Graph::Neighborhood& neighbors)
			    {
				    if (neighbors.size() != 1)
					    return;
				    std::optional<LeafHeading> heading = leafHeading(graph, leaf, leafInfo, neighbors.begin()->first);
				    if (!heading)
					    return;
				    const double pixelLength = walk.pixelLength(heading->direction);
				    if (!(pixelLength >= 0.0001))
					    return;
				    // One step moves one pixel, away from the neighbour.
				    const Eigen::Vector3d step = heading->direction / pixelLength;
				    Extension extension{leaf, walk.pointsInside(leafInfo.position(), step), std::move(heading->features)};
				    if (!extension.points.empty())
					    extensions.push_back(std::move(extension));
			    });

			for (const Extension& extension : extensions)
			{
				uint64_t previous = extension.leaf;
				for (const Eigen::Vector3d& point : extension.points)
				{
					const uint64_t added = graph.addNode(Graph::NodeInfo(point, {}));
					graph.addEdge(previous, added, Graph::EdgeInfo(extension.features));
					previous = added;
				}
			}
		}

		int transformNodeFeatureToEdge(Graph& graph, uint64_t nodeFeatureIdx, std::function<double(double, double)> combine,
		                               const std::string& edgeFeatureName)
		{
			if (nodeFeatureIdx >= static_cast<uint64_t>(graph.numNodeFeatures()))
				return -1;
			const size_t k = static_cast<size_t>(nodeFeatureIdx);
			const int e = graph.getOrCreateEdgeFeatureIdx(edgeFeatureName, 0.0);
			const bool undirected = graph.type() == Graph::Type::Undirected;
			// An undirected edge is visited from its lower end; its value is the one it would keep
			// after being written from both ends, the higher end last.
			graph.editEachEdge(
			    [&](Graph::EdgeInfo& edge, uint64_t, const Graph::NodeInfo& from, uint64_t, const Graph::NodeInfo& to)
			    {
				    const double a = from.features()[k];
				    const double b = to.features()[k];
				    edge.features()[static_cast<size_t>(e)] = undirected ? combine(b, a) : combine(a, b);
			    });
			return e;
		}

		std::optional<uint64_t> argmaxNode(const Graph& graph, const std::function<double(const Graph::NodeInfo&)>& score)
		{
			return argmaxNode(graph, [&score](uint64_t, const Graph::NodeInfo& info, const Graph::Neighborhood&) { return score(info); });
		}

		std::optional<uint64_t> argmaxNode(const Graph& graph,
		                                   const std::function<double(uint64_t, const Graph::NodeInfo&, const Graph::Neighborhood&)>& score)
		{
			std::optional<uint64_t> best;
			double bestScore = 0.0;
			graph.forEachNode(
			    [&](uint64_t id, const Graph::NodeInfo& info, const Graph::Neighborhood& neighbors)
			    {
				    const double s = score(id, info, neighbors);
				    if (!best || s > bestScore)
				    {
					    best = id;
					    bestScore = s;
				    }
			    });
			return best;
		}

		std::vector<uint64_t> findLeafNodes(const Graph& graph)
		{
			std::vector<uint64_t> leaves;
			graph.forEachNode(
			    [&](uint64_t id, const Graph::NodeInfo&)
			    {
				    if (graph.degree(id, Graph::DegreeType::Total) == 1)
					    leaves.push_back(id);
			    });
			return leaves;
		}

		void traversePath(const Graph& graph, uint64_t start,
		                  const std::function<const Graph::NodeInfo*(std::vector<const Graph::NodeInfo*>)>& chooser)
		{
			graph.traverse(start, [&chooser](const std::vector<const Graph::NodeInfo*>& candidates) { return chooser(candidates); });
		}
	}
}
