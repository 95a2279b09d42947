#include "src/algorithms/CurveShortening.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <Eigen/Geometry>
#include <Eigen/LU>
#include <fmt/format.h>

#include "host/core/Geometry/AlignedBox.h"
#include "host/core/Log.h"
#include "host/core/MemoryLimit.h"
#include "host/core/ThreadTeam.h"
#include "host/lib/Algorithm.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "src/algorithms/GraphSmoothing.h"
#include "src/graph/Graph.h"
#include "src/imaging/ImageAssignment.h"
#include "src/imaging/LabelVolume.h"

namespace Quorvale::CurveShortening
{
	namespace
	{
		const char* const kCategory = "GraphSmoothingAlgorithm.compute";
		constexpr double kPi = 3.14159265358979323846;
		/// cos and sin of 2πk/5, k = 0..4: the directions of the five ring points.
		const std::array<double, 5> kRingCos{1.0, std::cos(2.0 * kPi / 5.0), std::cos(4.0 * kPi / 5.0), std::cos(6.0 * kPi / 5.0),
		                                     std::cos(8.0 * kPi / 5.0)};
		const std::array<double, 5> kRingSin{0.0, std::sin(2.0 * kPi / 5.0), std::sin(4.0 * kPi / 5.0), std::sin(6.0 * kPi / 5.0),
		                                     std::sin(8.0 * kPi / 5.0)};

		// The Bogacki–Shampine 5(4) pair (Computers & Mathematics with Applications 32(6), 1996).
		// Row i of A gives stage i + 2 from stages 1 .. i + 1; the fifth-order weights equal the last
		// row, so the last stage is the velocity at the new state.
		constexpr std::array<std::array<double, 7>, 7> kA{{
		    {1.0 / 6.0},
		    {2.0 / 27.0, 4.0 / 27.0},
		    {183.0 / 1372.0, -162.0 / 343.0, 1053.0 / 1372.0},
		    {68.0 / 297.0, -4.0 / 11.0, 42.0 / 143.0, 1960.0 / 3861.0},
		    {597.0 / 22528.0, 81.0 / 352.0, 63099.0 / 585728.0, 58653.0 / 366080.0, 4617.0 / 20480.0},
		    {174197.0 / 959244.0, -30942.0 / 79937.0, 8152137.0 / 19744439.0, 666106.0 / 1039181.0, -29421.0 / 29068.0,
		     482048.0 / 414219.0},
		    {587.0 / 8064.0, 0.0, 4440339.0 / 15491840.0, 24353.0 / 124800.0, 387.0 / 44800.0, 2152.0 / 5985.0, 7267.0 / 94080.0},
		}};
		constexpr std::array<double, 8> kFifth{
		    587.0 / 8064.0, 0.0, 4440339.0 / 15491840.0, 24353.0 / 124800.0, 387.0 / 44800.0, 2152.0 / 5985.0, 7267.0 / 94080.0, 0.0};
		constexpr std::array<double, 8> kFourth{
		    2479.0 / 34992.0, 0.0, 123.0 / 416.0, 612941.0 / 3411720.0, 43.0 / 1440.0, 2272.0 / 6561.0, 79937.0 / 1113912.0,
		    3293.0 / 556956.0};

		/// The step factor 0.9 · (tol / (error + 1e-10))^0.2, at least 0.2.
		double shrinkFactor(double error) { return std::max(0.9 * std::pow(kTolerance / (error + 1e-10), 0.2), 0.2); }

		/// out = base + Σ factors[j] · terms[j] over the first `count` terms (base null: 0), in one
		/// pass over the entries.
		void combine(Positions& out, const Positions* base, const std::array<const Positions*, 8>& terms,
		             const std::array<double, 8>& factors, size_t count)
		{
			const Eigen::Index size = out.size();
			double* target = out.data();
			const double* start = base ? base->data() : nullptr;
			std::array<const double*, 8> sources{};
			for (size_t j = 0; j < count; ++j)
				sources[j] = terms[j]->data();
			for (Eigen::Index i = 0; i < size; ++i)
			{
				double sum = start ? start[i] : 0.0;
				for (size_t j = 0; j < count; ++j)
					sum += factors[j] * sources[j][i];
				target[i] = sum;
			}
		}

		/// v / |v|, or v itself when its length is 0.
		Eigen::Vector3d normalizedOrZero(const Eigen::Vector3d& v)
		{
			const double norm = v.norm();
			return norm > 0.0 ? Eigen::Vector3d(v / norm) : v;
		}

		/// Node identifiers in ascending order: row i of the positions belongs to ids[i].
		std::vector<uint64_t> sortedIds(const Graph& graph)
		{
			std::vector<uint64_t> ids;
			ids.reserve(static_cast<size_t>(graph.numNodes()));
			graph.forEachNode([&](uint64_t id, const Graph::NodeInfo&) { ids.push_back(id); });
			return ids;
		}

		/// The rule that gives one node its velocity, fixed by the topology.
		struct NodeRule
		{
			enum Kind : std::uint8_t
			{
				/// Zero velocity: no neighbours, a preserved terminal, or a terminal whose neighbour is not a chain node.
				Still,
				/// Two neighbours a < b: towards the distance-weighted centre of a ring normal to the chain.
				Chain,
				/// One neighbour a, a chain node whose other neighbour is b: straight continuation of b → a.
				Terminal,
				/// Three or more neighbours: the mean of the neighbours.
				Junction,
				/// A junction whose neighbours are all chain nodes: the point nearest to their tangent lines.
				ChainJunction
			};
			Kind kind = Still;
			std::int32_t a = -1;
			std::int32_t b = -1;
			/// For junctions: their neighbours and (for chain junctions) each neighbour's other
			/// neighbour, at [first, first + count) of the shared lists.
			std::uint32_t first = 0;
			std::uint32_t count = 0;
		};

		class DistanceWeightedVelocity
		{
		public:
			DistanceWeightedVelocity(const Graph& graph, std::function<double(const Eigen::Vector3d&)> distance, bool preserveTerminalEdges)
			    : m_distance(std::move(distance))
			{
				const std::vector<uint64_t> ids = sortedIds(graph);
				const auto index = [&](uint64_t id)
				{ return static_cast<std::int32_t>(std::lower_bound(ids.begin(), ids.end(), id) - ids.begin()); };
				// The neighbour of `node`'s neighbour `via` other than `node`: via's first entry, or its
				// second when the first is `node`.
				const auto otherNeighbor = [&](uint64_t via, uint64_t node)
				{
					const auto first = graph.neighborhood(via).begin();
					return first->first == node ? std::next(first)->first : first->first;
				};
				m_rules.reserve(ids.size());
				graph.forEachNode(
				    [&](uint64_t id, const Graph::NodeInfo&, const Graph::Neighborhood& neighbors)
				    {
					    NodeRule rule;
					    if (neighbors.size() == 2)
					    {
						    rule.kind = NodeRule::Chain;
						    rule.a = index(neighbors.begin()->first);
						    rule.b = index(std::next(neighbors.begin())->first);
					    }
					    else if (neighbors.size() == 1)
					    {
						    const uint64_t a = neighbors.begin()->first;
						    if (!preserveTerminalEdges && graph.neighborhood(a).size() == 2)
						    {
							    rule.kind = NodeRule::Terminal;
							    rule.a = index(a);
							    rule.b = index(otherNeighbor(a, id));
						    }
					    }
					    else if (!neighbors.empty())
					    {
						    rule.kind = NodeRule::ChainJunction;
						    rule.first = static_cast<std::uint32_t>(m_neighbors.size());
						    rule.count = static_cast<std::uint32_t>(neighbors.size());
						    for (const auto& [neighbor, edge] : neighbors)
						    {
							    m_neighbors.push_back(index(neighbor));
							    const bool chain = graph.neighborhood(neighbor).size() == 2;
							    m_others.push_back(chain ? index(otherNeighbor(neighbor, id)) : -1);
							    if (!chain)
								    rule.kind = NodeRule::Junction;
						    }
					    }
					    m_rules.push_back(rule);
				    });
			}

			/// Rows are independent, so they are computed in parallel with the same result as in sequence.
			void operator()(const Positions& x, Positions& v) const
			{
				const Eigen::Index rows = x.rows();
				const Threading::ThreadTeam team(rows > 4096);
#pragma omp parallel for schedule(static) if (rows > 4096) num_threads(team.size())
				for (Eigen::Index i = 0; i < rows; ++i)
					v.row(i) = velocity(x, m_rules[static_cast<size_t>(i)], x.row(i).transpose()).transpose();
			}

		private:
			Eigen::Vector3d velocity(const Positions& x, const NodeRule& rule, const Eigen::Vector3d& p) const
			{
				const auto row = [&](std::int32_t n) -> Eigen::Vector3d { return x.row(n).transpose(); };
				switch (rule.kind)
				{
					case NodeRule::Still: return Eigen::Vector3d::Zero();
					case NodeRule::Chain: return chainVelocity(p, row(rule.a), row(rule.b));
					case NodeRule::Terminal:
					{
						// Continue the segment b → a straight on, at the node's present distance from a.
						const Eigen::Vector3d pa = row(rule.a);
						const Eigen::Vector3d direction = pa - row(rule.b);
						const double norm = direction.norm();
						if (!(norm > 0.0))
							return Eigen::Vector3d::Zero();
						return pa + (p - pa).norm() * (direction / norm) - p;
					}
					case NodeRule::Junction:
					case NodeRule::ChainJunction: return junctionVelocity(x, rule, p);
				}
				return Eigen::Vector3d::Zero();
			}

			/// Towards the centre of five points on a ring of a quarter of the local distance value
			/// around the node, normal to the chain, each weighed by its distance value plus 0.01;
			/// plus a tenth of the Laplacian. The tangential part of the pull is removed.
			Eigen::Vector3d chainVelocity(const Eigen::Vector3d& p, const Eigen::Vector3d& pa, const Eigen::Vector3d& pb) const
			{
				const Eigen::Vector3d t = normalizedOrZero(pb - pa);
				const double radius = 0.25 * m_distance(p);
				const Eigen::Vector3d e = std::abs(t.x()) > 0.9 ? Eigen::Vector3d::UnitY() : Eigen::Vector3d::UnitX();
				const Eigen::Vector3d f1 = normalizedOrZero(t.cross(e));
				const Eigen::Vector3d f2 = normalizedOrZero(t.cross(f1));
				Eigen::Vector3d weighted = Eigen::Vector3d::Zero();
				double weights = 0.0;
				for (int k = 0; k < 5; ++k)
				{
					const Eigen::Vector3d q = p + radius * (kRingCos[k] * f1 + kRingSin[k] * f2);
					const double w = m_distance(q) + 0.01;
					weighted += w * q;
					weights += w;
				}
				const Eigen::Vector3d d = weighted / weights - p;
				const Eigen::Vector3d laplacian = 0.5 * (pa + pb) - p;
				return d + 0.1 * laplacian - d.dot(t) * t;
			}

			/// To the mean of the neighbours; when all of them are chain nodes, to the point that best
			/// fits their tangent lines (zero when those lines are parallel).
			Eigen::Vector3d junctionVelocity(const Positions& x, const NodeRule& rule, const Eigen::Vector3d& p) const
			{
				Eigen::Vector3d mean = Eigen::Vector3d::Zero();
				Eigen::Matrix3d projectors = Eigen::Matrix3d::Zero();
				Eigen::Vector3d projected = Eigen::Vector3d::Zero();
				for (std::uint32_t k = rule.first; k < rule.first + rule.count; ++k)
				{
					const Eigen::Vector3d pn = x.row(m_neighbors[k]).transpose();
					mean += pn;
					if (rule.kind != NodeRule::ChainJunction)
						continue;
					const Eigen::Vector3d g = normalizedOrZero(pn - x.row(m_others[k]).transpose());
					const Eigen::Matrix3d projector = Eigen::Matrix3d::Identity() - g * g.transpose();
					projectors += projector;
					projected += projector * pn;
				}
				if (rule.kind != NodeRule::ChainJunction)
					return mean / static_cast<double>(rule.count) - p;
				const Eigen::FullPivLU<Eigen::Matrix3d> lu(projectors);
				if (!lu.isInvertible())
					return Eigen::Vector3d::Zero();
				const Eigen::Vector3d fit = lu.solve(projected);
				return fit.allFinite() ? Eigen::Vector3d(fit - p) : Eigen::Vector3d::Zero();
			}

			std::function<double(const Eigen::Vector3d&)> m_distance;
			std::vector<NodeRule> m_rules;
			std::vector<std::int32_t> m_neighbors;
			std::vector<std::int32_t> m_others;
		};

		/// The inverse of the graph's matrix to world, or nothing when it has none or it is not finite.
		std::optional<Eigen::Matrix4d> fromWorld(const Graph& graph)
		{
			Eigen::Matrix4d inverse;
			bool invertible = false;
			graph.matrixToWorld().computeInverseWithCheck(inverse, invertible);
			if (!invertible || !inverse.allFinite())
				return std::nullopt;
			return inverse;
		}

		/// The world positions of the nodes, one row per node in ascending identifier order.
		Positions worldPositions(const Graph& graph)
		{
			const Eigen::Matrix4d& toWorld = graph.matrixToWorld();
			Positions positions(graph.numNodes(), 3);
			Eigen::Index row = 0;
			graph.forEachNode([&](uint64_t, const Graph::NodeInfo& info)
			                  { positions.row(row++) = (toWorld * info.position().homogeneous()).head<3>().transpose(); });
			return positions;
		}

		/// Why `run` cannot use its inputs: the status and the message it logs.
		struct Refusal
		{
			int status;
			std::string message;
		};

		/// The first input of `run` that it cannot use, or nothing: no label image, a voxel size
		/// that is not positive and finite, a label image that is not 3-D, a graph matrix that
		/// cannot be inverted, world positions (`start`) that are not finite.
		std::optional<Refusal> invalidInputs(const Graph& graph, const SharedImageSet* labels, double voxelSize, const Positions& start)
		{
			if (!labels)
				return Refusal{Algorithm::Error, "DistanceWeightedCurveShortening requires a label image"};
			if (!(voxelSize > 0.0) || !std::isfinite(voxelSize))
				return Refusal{Algorithm::InvalidInput,
				               fmt::format("The voxel size of the curve shortening (smoothingStrength) must be positive and "
				                           "finite, not {}.",
				                           voxelSize)};
			if (labels->get(-1) && labels->get(-1)->descriptor().dimension() != 3)
				return Refusal{Algorithm::InvalidInput, "DistanceWeightedCurveShortening requires a 3-D label image"};
			if (!fromWorld(graph))
				return Refusal{Algorithm::InvalidInput, "The graph's matrix to world cannot be inverted."};
			if (!start.allFinite())
				return Refusal{Algorithm::InvalidInput, "DistanceWeightedCurveShortening requires finite node positions."};
			return std::nullopt;
		}

		/// The mask resampled onto an isotropic grid of `voxelSize` around the bounds of its labels,
		/// with one voxel to spare on every side; null when there is no label or the grid cannot be
		/// made. Throws when the grid needs more memory than the machine allows.
		std::unique_ptr<SharedImageSet> resampleToLabelBounds(const SharedImageSet& mask, double voxelSize)
		{
			const SharedImage& image = *mask.get(-1);
			const std::optional<Geometry::AlignedBox> bounds = LabelVolume::labelBounds(image);
			if (!bounds)
				return nullptr;
			const ImageDescriptorWorld descriptor = image.descriptorWorld();
			const Eigen::Vector3d samples = LabelVolume::samplesAcross(descriptor, *bounds, voxelSize);
			if ((samples.array() > static_cast<double>(INT_MAX - 2)).any())
				return nullptr;
			const ImageDescriptorWorld grid = LabelVolume::gridAround(descriptor, *bounds, samples, voxelSize, {1, false, false});
			const Eigen::Vector3i& dimensions = grid.dimensions();
			// The resampled mask, its distance map and a working copy of it.
			MemoryLimit::require(dimensions.cast<double>().prod() * static_cast<double>(1 + 2 * sizeof(float)),
			                     fmt::format("A curve-shortening grid of {} x {} x {} voxels of {} mm", dimensions.x(), dimensions.y(),
			                                 dimensions.z(), voxelSize));
			return LabelVolume::resample(mask, grid);
		}

		/// The distance image of the labels' mask on the curve-shortening grid, as the float image
		/// set that the velocity samples; null when the labels cannot be resampled.
		std::unique_ptr<SharedImageSet> distanceImage(const SharedImageSet& labels, double voxelSize)
		{
			std::unique_ptr<SharedImageSet> resampled;
			if (labels.get(-1))
				resampled = resampleToLabelBounds(*LabelVolume::binarise(labels), voxelSize);
			if (!resampled || resampled->isEmpty())
				return nullptr;
			const std::unique_ptr<SharedImageSet> distances = LabelVolume::distanceImage(*resampled);
			const SharedImage& distance = *distances->get();
			auto copyImage = std::make_unique<SharedImage>(MemImage::create(distance.descriptor()));
			copyImage->setMatrixToWorld(distance.matrixToWorld());
			auto copy = std::make_unique<SharedImageSet>(std::move(copyImage));
			constexpr std::uint32_t kNearest = 9728;
			constexpr std::uint32_t kClampToEdge = 33071;
			ImageMath::ArraySet destination(*copy, false, kNearest, kClampToEdge, {0, 0, 0, 0});
			const ImageMath::ArraySet source(*distances, false, kNearest, kClampToEdge, {0, 0, 0, 0});
			ImageMath::assign(destination, source);
			return copy;
		}

		/// Warns when the integration stopped before the motion died down.
		void warnIfUnsettled(const Integration& integration)
		{
			if (integration.outcome == Outcome::StepLimit)
				Log::log(Log::Warning, kCategory,
				         fmt::format(
				             "Curve shortening stopped after {} steps at time {:.3g} of {:.3g} before the motion died down; the positions "
				             "reached so far are kept.",
				             integration.steps, integration.time, kEndTime));
			else if (integration.outcome == Outcome::NotFinite)
				Log::log(
				    Log::Warning, kCategory,
				    fmt::format("Curve shortening stopped at time {:.3g}: the node velocities are not finite; the positions reached so far "
				                "are kept.",
				                integration.time));
		}
	}

	Step bogackiShampineStep(const VelocityField& velocity, const Positions& x, const Positions& k, double h)
	{
		std::array<Positions, 8> stages;
		stages[0] = k;
		std::array<const Positions*, 8> terms{};
		std::array<double, 8> factors{};
		Positions state(x.rows(), 3);
		for (size_t stage = 1; stage < 8; ++stage)
		{
			size_t count = 0;
			for (size_t j = 0; j < stage; ++j)
				if (kA[stage - 1][j] != 0.0)
				{
					terms[count] = &stages[j];
					factors[count++] = h * kA[stage - 1][j];
				}
			combine(state, &x, terms, factors, count);
			stages[stage].resize(x.rows(), 3);
			velocity(state, stages[stage]);
		}
		Step step;
		step.fourth.resize(x.rows(), 3);
		Positions difference(x.rows(), 3);
		for (size_t j = 0; j < 8; ++j)
			terms[j] = &stages[j];
		for (size_t j = 0; j < 8; ++j)
			factors[j] = h * kFourth[j];
		combine(step.fourth, &x, terms, factors, 8);
		for (size_t j = 0; j < 8; ++j)
			factors[j] = kFifth[j] - kFourth[j];
		combine(difference, nullptr, terms, factors, 8);
		step.error = std::abs(h) * difference.norm();
		// The last stage was evaluated at the fifth-order solution.
		step.fifth = std::move(state);
		step.lastVelocity = std::move(stages[7]);
		return step;
	}

	Integration integrate(const VelocityField& velocity, const Positions& start, int maxSteps)
	{
		Integration result;
		result.positions = start;
		if (start.rows() == 0)
			return result;
		Positions& x = result.positions;
		Positions k(x.rows(), 3);
		velocity(x, k);
		const double entries = 3.0 * static_cast<double>(x.rows());
		constexpr double kSmallestStep = std::numeric_limits<double>::epsilon();
		double h = kFirstStep;
		while (result.time < kEndTime)
		{
			// Retry until the step is accepted; a step that is never accepted ends the integration.
			Step step;
			double used = h;
			for (;;)
			{
				if (result.steps >= maxSteps)
				{
					result.outcome = Outcome::StepLimit;
					return result;
				}
				++result.steps;
				step = bogackiShampineStep(velocity, x, k, h);
				if (!std::isfinite(step.error) || !step.fifth.allFinite() || !step.lastVelocity.allFinite())
				{
					h *= 0.5;
					if (h < kSmallestStep)
					{
						result.outcome = Outcome::NotFinite;
						return result;
					}
					continue;
				}
				if (step.error <= kTolerance || h < kSmallestStep)
				{
					used = h;
					h *= std::min(shrinkFactor(step.error), 5.0);
					break;
				}
				h *= shrinkFactor(step.error);
			}
			if (std::sqrt(step.lastVelocity.squaredNorm() / entries) < kTolerance)
			{
				result.outcome = Outcome::Settled;
				return result;
			}
			x = std::move(step.fifth);
			k = std::move(step.lastVelocity);
			result.time += used;
		}
		result.outcome = Outcome::EndTime;
		return result;
	}

	VelocityField distanceWeightedVelocity(const Graph& graph, std::function<double(const Eigen::Vector3d&)> distance,
	                                       bool preserveTerminalEdges)
	{
		auto field = std::make_shared<const DistanceWeightedVelocity>(graph, std::move(distance), preserveTerminalEdges);
		return [field](const Positions& x, Positions& v) { (*field)(x, v); };
	}

	int run(Graph& graph, SharedImageSet* labels, double voxelSize, bool preserveTerminalEdges)
	{
		const Positions start = worldPositions(graph);
		if (const std::optional<Refusal> refusal = invalidInputs(graph, labels, voxelSize, start))
		{
			Log::log(Log::Error, kCategory, refusal->message);
			return refusal->status;
		}

		std::unique_ptr<SharedImageSet> distances;
		try
		{
			distances = distanceImage(*labels, voxelSize);
		}
		catch (const std::exception& e)
		{
			Log::log(Log::Error, kCategory, fmt::format("DistanceWeightedCurveShortening failed: {}", e.what()));
			return Algorithm::Error;
		}
		if (!distances)
		{
			// Logged in the default category, where the host's own resampling errors go.
			Log::log(Log::Error, {}, "Could not resample label image");
			return Algorithm::Error;
		}

		const SharedImage& distanceImage = *distances->get(-1);
		const auto& values = dynamic_cast<const TypedImage<float>&>(*distanceImage.mem());
		const Eigen::Matrix4d worldToPixel = distanceImage.descriptorWorld().worldToPixelMatrix();
		const auto distanceAt = [&values, worldToPixel](const Eigen::Vector3d& world)
		{ return values.valueAt((worldToPixel * world.homogeneous()).head<3>(), 0, true, 0.0); };

		Integration integration;
		{
			// One team for every step of the integration.
			const Threading::ThreadTeam team(start.rows() > 4096);
			integration = integrate(distanceWeightedVelocity(graph, distanceAt, preserveTerminalEdges), start);
		}
		warnIfUnsettled(integration);
		const Eigen::Matrix4d toGraph = *fromWorld(graph);
		Eigen::Index row = 0;
		graph.editEachNode([&](uint64_t, Graph::NodeInfo& info)
		                   { info.position() = (toGraph * integration.positions.row(row++).transpose().homogeneous()).head<3>(); });
		GraphSmoothing::smoothByNeighborhoodAverage(graph, 2.0, true);
		return Algorithm::Success;
	}
}
