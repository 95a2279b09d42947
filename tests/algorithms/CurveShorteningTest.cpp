#include "src/algorithms/CurveShortening.h"

#include <gtest/gtest.h>

#include "tests/common/ScopedEnvironment.h"

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <Eigen/Geometry>
#include <fmt/format.h>

#include "host/core/Log.h"
#include "host/lib/AlgorithmRunner.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "src/algorithms/GraphSmoothingAlgorithm.h"
#include "src/graph/Graph.h"
#include "synthetic/VesselVolume.h"

using namespace Quorvale;
using CurveShortening::Outcome;
using CurveShortening::Positions;

namespace
{
	using Mode = GraphSmoothingAlgorithm::Mode;
	const double kNaN = std::numeric_limits<double>::quiet_NaN();

	Positions rows(const std::vector<Eigen::Vector3d>& points)
	{
		Positions x(static_cast<Eigen::Index>(points.size()), 3);
		for (size_t i = 0; i < points.size(); ++i)
			x.row(static_cast<Eigen::Index>(i)) = points[i].transpose();
		return x;
	}

	/// Nodes at the given positions, linked in order.
	Graph polyline(const std::vector<Eigen::Vector3d>& points)
	{
		Graph graph;
		uint64_t previous = 0;
		for (const Eigen::Vector3d& p : points)
		{
			const uint64_t id = graph.addNode(Graph::NodeInfo(p, {}));
			if (previous != 0)
				graph.addEdge(previous, id, Graph::EdgeInfo());
			previous = id;
		}
		return graph;
	}

	std::vector<Eigen::Vector3d> positions(const Graph& graph)
	{
		std::vector<Eigen::Vector3d> out;
		graph.forEachNode([&](uint64_t, const Graph::NodeInfo& info) { out.push_back(info.position()); });
		return out;
	}

	/// The velocity of every node of `graph` (at its own positions) in the distance field `distance`.
	Positions velocities(const Graph& graph, const std::function<double(const Eigen::Vector3d&)>& distance, bool preserve = true)
	{
		const Positions x = rows(positions(graph));
		Positions v(x.rows(), 3);
		CurveShortening::distanceWeightedVelocity(graph, distance, preserve)(x, v);
		return v;
	}

	void expectNear(const Eigen::Vector3d& actual, const Eigen::Vector3d& expected, double tolerance = 1e-12)
	{
		EXPECT_LE((actual - expected).norm(), tolerance) << "actual " << actual.transpose() << ", expected " << expected.transpose();
	}

	/// A straight tube of radius `radius` along the unit vector `axis` through `centre`.
	struct TubeScene
	{
		Eigen::Vector3d centre;
		Eigen::Vector3d axis;
		double radius;
		std::unique_ptr<SharedImageSet> labels;

		double offAxis(const Eigen::Vector3d& world) const
		{
			const Eigen::Vector3d r = world - centre;
			return (r - r.dot(axis) * axis).norm();
		}
	};

	TubeScene tubeScene(const Eigen::Vector3i& dimensions, const Eigen::Vector3d& spacing, const Eigen::Vector3d& axis, double radius,
	                    double halfLength, const Eigen::Matrix4d& matrix = Eigen::Matrix4d::Identity())
	{
		TubeScene scene{matrix.block<3, 1>(0, 3), axis.normalized(), radius, nullptr};
		scene.labels = SyntheticVolumes::createVesselVolume(
		    dimensions, spacing, matrix, {{scene.centre - halfLength * scene.axis, scene.centre + halfLength * scene.axis, radius}});
		return scene;
	}

	/// `count` nodes along the tube's axis from −halfLength to +halfLength, pushed off the axis by
	/// `offset` along a fixed side direction plus uniform noise of `noise` per coordinate.
	std::vector<Eigen::Vector3d> chainInTube(const TubeScene& scene, int count, double halfLength, double offset, double noise,
	                                         std::uint64_t seed = 3)
	{
		std::mt19937_64 random(seed);
		std::uniform_real_distribution<double> jitter(-noise, noise);
		const Eigen::Vector3d side = scene.axis.unitOrthogonal();
		std::vector<Eigen::Vector3d> points;
		for (int i = 0; i < count; ++i)
		{
			const double s = -halfLength + 2.0 * halfLength * i / (count - 1);
			points.push_back(scene.centre + s * scene.axis + offset * side +
			                 Eigen::Vector3d(jitter(random), jitter(random), jitter(random)));
		}
		return points;
	}

	double meanOffAxis(const TubeScene& scene, const std::vector<Eigen::Vector3d>& points, bool innerOnly)
	{
		double sum = 0.0;
		const size_t first = innerOnly ? 1 : 0;
		const size_t last = innerOnly ? points.size() - 1 : points.size();
		for (size_t i = first; i < last; ++i)
			sum += scene.offAxis(points[i]);
		return sum / static_cast<double>(last - first);
	}

	/// Runs the curve shortening on `graph` with `labels` and returns the status.
	int shorten(Graph& graph, SharedImageSet* labels, double voxelSize = 1.0, bool preserve = true)
	{
		GraphSmoothingAlgorithm algorithm(graph, labels);
		algorithm.mode = Mode::DistanceWeightedCurveShortening;
		algorithm.smoothingStrength = voxelSize;
		algorithm.preserveTerminalEdges = preserve;
		return AlgorithmRunner::run(algorithm);
	}

	/// A smooth nonlinear field without closed-form solution.
	void swirl(const Positions& x, Positions& v)
	{
		for (Eigen::Index i = 0; i < x.rows(); ++i)
			v.row(i) << std::sin(x(i, 1)) + 0.5 * x(i, 2), -x(i, 0) * x(i, 2), std::cos(x(i, 0)) - x(i, 1) * x(i, 1);
	}
}

TEST(CurveShorteningTest, StepHasFifthOrderWithAFourthOrderEstimate)
{
	const Positions start = rows({{0.4, -0.7, 0.9}, {-0.2, 0.3, 0.1}});
	Positions k(2, 3);
	swirl(start, k);
	// The reference: 2000 steps of a 2000th of the size.
	const auto exact = [&](double h)
	{
		Positions x = start;
		Positions v(2, 3);
		for (int i = 0; i < 2000; ++i)
		{
			swirl(x, v);
			x = CurveShortening::bogackiShampineStep(swirl, x, v, h / 2000).fifth;
		}
		return x;
	};
	const auto errors = [&](double h)
	{
		const CurveShortening::Step step = CurveShortening::bogackiShampineStep(swirl, start, k, h);
		const Positions reference = exact(h);
		return std::make_pair((step.fifth - reference).norm(), (step.fourth - reference).norm());
	};
	// Local errors shrink at least like h⁶ for the fifth-order solution and like h⁵ for the
	// fourth-order one: halving the step divides them by 64 (here more) and about 32.
	const auto [fifthLarge, fourthLarge] = errors(0.2);
	const auto [fifthSmall, fourthSmall] = errors(0.1);
	EXPECT_GT(fifthLarge / fifthSmall, 50.0);
	EXPECT_GT(fourthLarge / fourthSmall, 24.0);
	EXPECT_LT(fourthLarge / fourthSmall, 45.0);

	const CurveShortening::Step step = CurveShortening::bogackiShampineStep(swirl, start, k, 0.1);
	EXPECT_NEAR(step.error, (step.fifth - step.fourth).norm(), 1e-15);
	Positions last(2, 3);
	swirl(step.fifth, last);
	EXPECT_EQ(step.lastVelocity, last) << "the last stage is the velocity at the new state";
}

TEST(CurveShorteningTest, IntegrationSettlesReturningTheStateBeforeTheLastStep)
{
	// x' = −x: the velocity falls below the tolerance after t = ln(100 · |x₀|rms).
	const Positions start = rows({{1.0, -0.5, 0.25}, {0.75, 0.0, -1.0}});
	const CurveShortening::Integration result = CurveShortening::integrate([](const Positions& x, Positions& v) { v = -x; }, start);
	EXPECT_EQ(result.outcome, Outcome::Settled);
	EXPECT_GT(result.time, 2.0);
	EXPECT_LT(result.time, std::log(100.0 * std::sqrt(start.squaredNorm() / 6.0)));
	// The state returned is the one before the step that settled: its velocity is still above the tolerance.
	EXPECT_GE(std::sqrt(result.positions.squaredNorm() / 6.0), CurveShortening::kTolerance);
	EXPECT_LE((result.positions - std::exp(-result.time) * start).norm(), 2e-2);

	// A field that vanishes settles in the first step with the start unchanged.
	const CurveShortening::Integration still = CurveShortening::integrate([](const Positions&, Positions& v) { v.setZero(); }, start);
	EXPECT_EQ(still.outcome, Outcome::Settled);
	EXPECT_EQ(still.steps, 1);
	EXPECT_EQ(still.time, 0.0);
	EXPECT_EQ(still.positions, start);

	// Nothing to integrate.
	EXPECT_EQ(CurveShortening::integrate([](const Positions&, Positions&) { FAIL(); }, Positions(0, 3)).outcome, Outcome::Settled);

	// A constant drift never settles and runs to the end time.
	const CurveShortening::Integration drift =
	    CurveShortening::integrate([](const Positions& x, Positions& v) { v = Positions::Constant(x.rows(), 3, 0.5); }, start);
	EXPECT_EQ(drift.outcome, Outcome::EndTime);
	EXPECT_GE(drift.time, CurveShortening::kEndTime);
	EXPECT_NEAR((drift.positions - start).mean(), 0.5 * drift.time, 1e-9);
}

TEST(CurveShorteningTest, IntegrationEndsWhereTheStepControlCannot)
{
	// A velocity that flips its sign across x = 0: every step straddling the switch has an error of
	// about the jump whatever its size, so the steps shrink to machine epsilon and crawl.
	const auto chatter = [](const Positions& x, Positions& v) { v = x.unaryExpr([](double c) { return c > 0.0 ? -1e3 : 1e3; }); };
	const CurveShortening::Integration crawl = CurveShortening::integrate(chatter, rows({{0.3, -0.2, 0.1}}), 5000);
	EXPECT_EQ(crawl.outcome, Outcome::StepLimit);
	EXPECT_EQ(crawl.steps, 5000);
	EXPECT_LT(crawl.time, 1.0);
	EXPECT_TRUE(crawl.positions.allFinite());
	EXPECT_LT(crawl.positions.cwiseAbs().maxCoeff(), 1.0);

	// NaN from the start: every step is rejected and halved until it is below machine epsilon.
	const Positions start = rows({{1.0, 2.0, 3.0}});
	const CurveShortening::Integration broken =
	    CurveShortening::integrate([](const Positions& x, Positions& v) { v = Positions::Constant(x.rows(), 3, kNaN); }, start);
	EXPECT_EQ(broken.outcome, Outcome::NotFinite);
	EXPECT_LT(broken.steps, 60);
	EXPECT_EQ(broken.positions, start);

	// NaN beyond x = 2 while moving there at unit speed: the state stays finite, short of the wall.
	const auto wall = [](const Positions& x, Positions& v)
	{ v = x.unaryExpr([](double c) { return c < 2.0 ? 1.0 : std::numeric_limits<double>::quiet_NaN(); }); };
	const CurveShortening::Integration stopped = CurveShortening::integrate(wall, rows({{0.0, 0.5, 1.0}}));
	EXPECT_EQ(stopped.outcome, Outcome::NotFinite);
	EXPECT_TRUE(stopped.positions.allFinite());
	EXPECT_LT(stopped.positions.maxCoeff(), 2.0);
	EXPECT_GT(stopped.positions.maxCoeff(), 1.9);
}

TEST(CurveShorteningTest, ChainNodesMoveTowardsTheWeightedRingCentre)
{
	// A tube of radius 4 along z: the distance to the wall.
	const auto tube = [](const Eigen::Vector3d& p) { return std::max(0.0, 4.0 - p.head<2>().norm()); };
	// On the axis, evenly spaced: the ring is symmetric and the Laplacian vanishes.
	{
		const Graph graph = polyline({{0, 0, 0}, {0, 0, 1}, {0, 0, 2}, {0, 0, 3}});
		EXPECT_LT(velocities(graph, tube).norm(), 1e-12);
	}
	// Off the axis: pulled towards it (the five-point ring adds a little sideways), across the chain only.
	{
		const Graph graph = polyline({{1.5, 0, 0}, {1.5, 0, 1}, {1.5, 0, 2}});
		const Eigen::Vector3d v = velocities(graph, tube).row(1).transpose();
		EXPECT_LT(v.x(), -0.05);
		EXPECT_LT(std::abs(v.y()), 0.05 * std::abs(v.x()));
		EXPECT_NEAR(v.z(), 0.0, 1e-12);
	}
	// Shifted along the chain: the pull has no tangential part, the Laplacian keeps its own.
	{
		const Graph graph = polyline({{0, 0, 0}, {0, 0, 1.6}, {0, 0, 2}});
		expectNear(velocities(graph, tube).row(1).transpose(), 0.1 * Eigen::Vector3d(0, 0, 1.0 - 1.6));
	}
	// Without distance the ring collapses onto the node: only the Laplacian is left, also across.
	{
		const Graph graph = polyline({{0, 0, 0}, {1, 2, 1}, {2, 0, 0}});
		expectNear(velocities(graph, [](const Eigen::Vector3d&) { return 0.0; }).row(1).transpose(),
		           0.1 * (Eigen::Vector3d(1, 0, 0) - Eigen::Vector3d(1, 2, 1)));
	}
	// A tangent close to x uses the other frame axis; coinciding neighbours give no tangent. Both finite.
	{
		const Graph graph = polyline({{0, 0, 0}, {1, 0.1, 0}, {2, 0, 0}, {2, 0, 0}});
		Graph doubled = polyline({{1, 1, 1}, {0, 0, 0}, {1, 1, 1}});
		EXPECT_TRUE(velocities(graph, tube).allFinite());
		EXPECT_TRUE(velocities(doubled, tube).allFinite());
	}
}

TEST(CurveShorteningTest, TerminalsAndJunctionsFollowTheirRules)
{
	const auto none = [](const Eigen::Vector3d&) { return 0.0; };
	// A free terminal continues the segment b → a straight on at its present distance from a.
	{
		const Graph graph = polyline({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
		expectNear(velocities(graph, none, false).row(2).transpose(), Eigen::Vector3d(2, 0, 0) - Eigen::Vector3d(1, 1, 0));
		EXPECT_EQ(velocities(graph, none, true).row(2).norm(), 0.0) << "a preserved terminal stays";
	}
	// It stays next to a junction, and when its neighbour's two neighbours coincide.
	{
		Graph graph = polyline({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
		const uint64_t extra = graph.addNode(Graph::NodeInfo(Eigen::Vector3d(1, -1, 0), {}));
		graph.addEdge(2, extra, Graph::EdgeInfo());
		EXPECT_EQ(velocities(graph, none, false).row(2).norm(), 0.0);
		const Graph doubled = polyline({{1, 0, 0}, {1, 0, 0}, {1, 1, 0}});
		EXPECT_EQ(velocities(doubled, none, false).row(2).norm(), 0.0);
	}
	// A junction of chains moves to the point nearest to their tangent lines, here their crossing P.
	const Eigen::Vector3d crossing(1, 2, 3);
	const std::vector<Eigen::Vector3d> directions{Eigen::Vector3d(1, 0, 0), Eigen::Vector3d(0, 1, 1).normalized(),
	                                              Eigen::Vector3d(-1, -1, 0.5).normalized()};
	const auto star = [&](const std::vector<Eigen::Vector3d>& spokes, int spokeLength)
	{
		Graph graph;
		const uint64_t centre = graph.addNode(Graph::NodeInfo(crossing + Eigen::Vector3d(0.3, -0.2, 0.1), {}));
		for (const Eigen::Vector3d& d : spokes)
		{
			uint64_t previous = centre;
			for (int step = 1; step <= spokeLength; ++step)
			{
				const uint64_t id = graph.addNode(Graph::NodeInfo(crossing + step * d, {}));
				graph.addEdge(previous, id, Graph::EdgeInfo());
				previous = id;
			}
		}
		return graph;
	};
	expectNear(velocities(star(directions, 2), none).row(0).transpose(), crossing - (crossing + Eigen::Vector3d(0.3, -0.2, 0.1)), 1e-9);
	// With a terminal among the neighbours it moves to their mean.
	{
		const Graph graph = star(directions, 1);
		Eigen::Vector3d mean = Eigen::Vector3d::Zero();
		for (const Eigen::Vector3d& d : directions)
			mean += (crossing + d) / 3.0;
		expectNear(velocities(graph, none).row(0).transpose(), mean - (crossing + Eigen::Vector3d(0.3, -0.2, 0.1)), 1e-12);
	}
	// Parallel tangent lines have no best point, and a node without neighbours no mean: both stay.
	{
		const Graph parallel = star({Eigen::Vector3d(1, 0, 0), Eigen::Vector3d(-1, 0, 0), Eigen::Vector3d(1, 0, 0)}, 2);
		EXPECT_EQ(velocities(parallel, none).row(0).norm(), 0.0);
		Graph lonely;
		lonely.addNode(Graph::NodeInfo(Eigen::Vector3d(5, 5, 5), {}));
		EXPECT_EQ(velocities(lonely, none).norm(), 0.0);
	}
}

TEST(CurveShorteningTest, NoisyCenterlineMovesToTheTubeAxis)
{
	const double halfLength = 22.0;
	const TubeScene scene = tubeScene({48, 48, 72}, {1, 1, 1}, Eigen::Vector3d(0.3, 0.2, 1.0), 5.0, 32.0);
	const std::vector<Eigen::Vector3d> before = chainInTube(scene, 45, halfLength, 2.0, 0.8);
	Graph graph = polyline(before);
	ASSERT_EQ(shorten(graph, scene.labels.get()), Algorithm::Success);
	const std::vector<Eigen::Vector3d> after = positions(graph);
	EXPECT_GT(meanOffAxis(scene, before, true), 1.8);
	EXPECT_LT(meanOffAxis(scene, after, true), 0.6);
	EXPECT_EQ(after.front(), before.front()) << "preserved terminals stay";
	EXPECT_EQ(after.back(), before.back());

	// The neighbourhood average alone does not pull the chain over: the label image does.
	Graph averaged = polyline(before);
	GraphSmoothingAlgorithm::smoothByNeighborhoodAverage(averaged, 2.0, true);
	EXPECT_GT(meanOffAxis(scene, positions(averaged), true), 1.5);

	// Free terminals are pulled along with their chain.
	Graph free = polyline(before);
	ASSERT_EQ(shorten(free, scene.labels.get(), 1.0, false), Algorithm::Success);
	EXPECT_LT(scene.offAxis(positions(free).front()), scene.offAxis(before.front()) - 0.5);
}

TEST(CurveShorteningTest, AnisotropicSpacingAndGraphFramesWorkInTheWorld)
{
	// Voxels of 0.5 × 0.6 × 1.5 mm, the volume rotated and shifted in the world; a finer grid of
	// 0.5 mm for the distances.
	const Eigen::Matrix4d placement =
	    (Eigen::Translation3d(20, -10, 35) * Eigen::AngleAxisd(0.4, Eigen::Vector3d(1, -1, 2).normalized())).matrix();
	const TubeScene scene = tubeScene({80, 70, 36}, {0.5, 0.6, 1.5}, Eigen::Vector3d(0.2, -0.3, 1.0), 4.0, 24.0, placement);
	const std::vector<Eigen::Vector3d> world = chainInTube(scene, 40, 17.0, 1.6, 0.6, 11);

	// The graph keeps its nodes in a scaled frame of its own.
	const Eigen::Matrix4d graphToWorld = (Eigen::Translation3d(1, 2, 3) * Eigen::Scaling(2.0)).matrix();
	std::vector<Eigen::Vector3d> local;
	for (const Eigen::Vector3d& p : world)
		local.push_back((graphToWorld.inverse() * p.homogeneous()).head<3>());
	Graph graph = polyline(local);
	graph.setMatrixToWorld(graphToWorld);
	ASSERT_EQ(shorten(graph, scene.labels.get(), 0.5), Algorithm::Success);
	std::vector<Eigen::Vector3d> after;
	for (const Eigen::Vector3d& p : positions(graph))
		after.push_back((graphToWorld * p.homogeneous()).head<3>());
	EXPECT_GT(meanOffAxis(scene, world, true), 1.4);
	EXPECT_LT(meanOffAxis(scene, after, true), 0.5);
	expectNear(after.front(), world.front(), 1e-9);
}

TEST(CurveShorteningTest, LabelImagesAreCopiedOrThresholdedFromTheCurrentImage)
{
	const TubeScene scene = tubeScene({40, 40, 56}, {1, 1, 1}, Eigen::Vector3d(0, 0.2, 1.0), 5.0, 26.0);
	const std::vector<Eigen::Vector3d> chain = chainInTube(scene, 30, 17.0, 2.0, 0.0);
	const auto labelsAs = [&](auto value, bool asFloat)
	{
		const auto& tube = dynamic_cast<const TypedImage<unsigned char>&>(*scene.labels->mem());
		std::unique_ptr<MemImage> image;
		if (asFloat)
		{
			auto floats = TypedImage<float>::create(ImageDescriptor(ImageDescriptor::Float, tube.descriptor().dimensions()));
			for (size_t i = 0; i < tube.descriptor().size(); ++i)
				floats->pointer()[i] = tube.pointer()[i] != 0 ? static_cast<float>(value) : 0.0f;
			image = std::move(floats);
		}
		else
		{
			auto bytes = tube.clone();
			for (size_t i = 0; i < tube.descriptor().size(); ++i)
				bytes->pointer()[i] = tube.pointer()[i] != 0 ? static_cast<unsigned char>(value) : 0;
			image = std::move(bytes);
		}
		return std::make_unique<SharedImage>(std::move(image));
	};
	const auto pulled = [&](SharedImageSet& labels)
	{
		Graph graph = polyline(chain);
		Log::ScopedCapture capture;
		const int status = shorten(graph, &labels);
		return status == Algorithm::Success && meanOffAxis(scene, positions(graph), true) < 0.7;
	};

	// Unsigned 8-bit labels are taken as they are: any non-zero label is vessel.
	SharedImageSet label2(labelsAs(2, false));
	EXPECT_TRUE(pulled(label2));
	// Other types are thresholded: above 0.5 is vessel, 0.5 itself is not.
	SharedImageSet above(labelsAs(0.75, true));
	EXPECT_TRUE(pulled(above));
	SharedImageSet atThreshold(labelsAs(0.5, true));
	{
		Graph graph = polyline(chain);
		Log::ScopedCapture capture;
		EXPECT_EQ(shorten(graph, &atThreshold), Algorithm::Error);
		EXPECT_EQ(capture->messages(Log::Error), std::vector<std::string>{"Could not resample label image"});
		EXPECT_EQ(positions(graph), chain);
	}
	// The current image decides the type and is the one used, whichever image comes first.
	SharedImageSet mixed(labelsAs(0.0, true));
	mixed.add(labelsAs(1, false));
	mixed.setCurrentIndex(1);
	EXPECT_TRUE(pulled(mixed));
	SharedImageSet emptyFirst(labelsAs(0, false));
	emptyFirst.add(labelsAs(1, false));
	emptyFirst.setCurrentIndex(1);
	EXPECT_TRUE(pulled(emptyFirst));
}

TEST(CurveShorteningTest, MissingOrUnusableInputsAreRefused)
{
	const std::vector<Eigen::Vector3d> chain{{0, 0, 0}, {1, 1, 0}, {2, 0, 0}};
	const auto refused = [&](SharedImageSet* labels, double voxelSize, int status, const std::string& message, Graph graph)
	{
		const std::vector<Eigen::Vector3d> before = positions(graph);
		Log::ScopedCapture capture;
		GraphSmoothingAlgorithm algorithm(graph, labels);
		algorithm.mode = Mode::DistanceWeightedCurveShortening;
		algorithm.smoothingStrength = voxelSize;
		EXPECT_EQ(AlgorithmRunner::run(algorithm), status) << message;
		EXPECT_EQ(capture->messages(Log::Error), std::vector<std::string>{message});
		const std::vector<Eigen::Vector3d> after = positions(graph);
		EXPECT_EQ(after.size(), before.size());
		for (size_t i = 0; i < after.size() && i < before.size(); ++i)
			EXPECT_TRUE(after[i] == before[i] || (std::isnan(after[i].x()) && std::isnan(before[i].x())));
	};
	refused(nullptr, 1.0, Algorithm::Error, "DistanceWeightedCurveShortening requires a label image", polyline(chain));

	// Label images without any vessel voxel, and sets without images.
	auto zeros = SyntheticVolumes::createLabelVolume({16, 16, 16}, {1, 1, 1});
	refused(zeros.get(), 1.0, Algorithm::Error, "Could not resample label image", polyline(chain));
	SharedImageSet noImages;
	refused(&noImages, 1.0, Algorithm::Error, "Could not resample label image", polyline(chain));

	const TubeScene scene = tubeScene({24, 24, 24}, {1, 1, 1}, Eigen::Vector3d::UnitZ(), 4.0, 8.0);
	for (double size : {0.0, -1.0, kNaN, std::numeric_limits<double>::infinity()})
		refused(scene.labels.get(), size, Algorithm::InvalidInput,
		        fmt::format("The voxel size of the curve shortening (smoothingStrength) must be positive and finite, not {}.", size),
		        polyline(chain));
	auto flat = SyntheticVolumes::createVesselVolume({24, 24, 1}, {1, 1, 1}, Eigen::Matrix4d::Identity(), {{{-8, 0, 0}, {8, 0, 0}, 3.0}});
	refused(flat.get(), 1.0, Algorithm::InvalidInput, "DistanceWeightedCurveShortening requires a 3-D label image", polyline(chain));
	refused(scene.labels.get(), 1.0, Algorithm::InvalidInput, "DistanceWeightedCurveShortening requires finite node positions.",
	        polyline({{0, 0, 0}, {kNaN, 0, 0}, {2, 0, 0}}));
	Graph squashed = polyline(chain);
	Eigen::Matrix4d singular = Eigen::Matrix4d::Identity();
	singular(2, 2) = 0.0;
	squashed.setMatrixToWorld(singular);
	refused(scene.labels.get(), 1.0, Algorithm::InvalidInput, "The graph's matrix to world cannot be inverted.", squashed);

	// A voxel size far below the labels' is refused before its grid is allocated.
	Testing::ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", "1G");
	Graph graph = polyline(chain);
	Log::ScopedCapture capture;
	EXPECT_EQ(shorten(graph, scene.labels.get(), 0.0001), Algorithm::Error);
	const std::vector<std::string> errors = capture->messages(Log::Error);
	ASSERT_EQ(errors.size(), 1u);
	EXPECT_EQ(errors[0].rfind("DistanceWeightedCurveShortening failed: A curve-shortening grid of ", 0), 0u) << errors[0];
	EXPECT_NE(errors[0].find("voxels of 0.0001 mm would need"), std::string::npos) << errors[0];
}

TEST(CurveShorteningTest, OverflowingVelocitiesEndWithAWarning)
{
	// The ends lie so far apart that the chain's tangent overflows: the velocity is NaN from the
	// start, the integration gives up with a warning and keeps the start.
	const TubeScene scene = tubeScene({24, 24, 24}, {1, 1, 1}, Eigen::Vector3d::UnitZ(), 4.0, 8.0);
	Graph graph = polyline({{-1e308, 0, 0}, {0, 0, 1}, {1e308, 0, 0}});
	Log::ScopedCapture capture;
	EXPECT_EQ(shorten(graph, scene.labels.get()), Algorithm::Success);
	const std::vector<std::string> warnings = capture->messages(Log::Warning);
	ASSERT_EQ(warnings.size(), 1u);
	EXPECT_NE(warnings[0].find("the node velocities are not finite"), std::string::npos) << warnings[0];
	const std::vector<Eigen::Vector3d> after = positions(graph);
	EXPECT_EQ(after[0], Eigen::Vector3d(-1e308, 0, 0));
	EXPECT_EQ(after[2], Eigen::Vector3d(1e308, 0, 0));
	EXPECT_TRUE(after[1].allFinite());
}

TEST(CurveShorteningTest, LongChainRunsWithoutRecursion)
{
	// 200,000 nodes along a tube, a little off its axis: every node is visited iteratively.
	const TubeScene scene = tubeScene({24, 24, 72}, {1, 1, 1}, Eigen::Vector3d::UnitZ(), 5.0, 34.0);
	const int count = 200000;
	std::vector<Eigen::Vector3d> points;
	points.reserve(count);
	for (int i = 0; i < count; ++i)
		points.emplace_back(0.3, 0.0, -25.0 + 50.0 * i / (count - 1));
	Graph graph = polyline(points);
	ASSERT_EQ(shorten(graph, scene.labels.get()), Algorithm::Success);
	const std::vector<Eigen::Vector3d> after = positions(graph);
	ASSERT_EQ(after.size(), points.size());
	EXPECT_LT(scene.offAxis(after[count / 2]), 0.2);
	for (const Eigen::Vector3d& p : after)
		ASSERT_TRUE(p.allFinite());
}
