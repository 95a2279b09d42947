#pragma once

#include <Eigen/Core>

#include <functional>

namespace Quorvale
{
	class Graph;
	class SharedImageSet;

	/// Distance-weighted curve shortening, the `DistanceWeightedCurveShortening` mode of
	/// `GraphSmoothingAlgorithm`: node positions follow a velocity field that pulls chains of nodes
	/// towards the middle of the vessels of a label image, integrated by an adaptive
	/// Bogacki–Shampine 5(4) Runge–Kutta pair until the motion dies down.
	namespace CurveShortening
	{
		/// One row per node (world coordinates), nodes in ascending identifier order.
		using Positions = Eigen::Matrix<double, Eigen::Dynamic, 3, Eigen::RowMajor>;
		/// Writes the velocity of every row of the first argument into the second (already of the
		/// same size).
		using VelocityField = std::function<void(const Positions&, Positions&)>;

		/// Integration ends at this time, or earlier when the motion dies down.
		constexpr double kEndTime = 100.0;
		/// The first step size.
		constexpr double kFirstStep = 0.01;
		/// Largest accepted step error, and the root mean square velocity below which the motion has died down.
		constexpr double kTolerance = 0.01;
		/// Attempted steps (accepted or rejected) after which the integration gives up.
		constexpr int kMaxSteps = 10000;

		/// One attempted step of size `h` from `x`, whose velocity `velocity` gave `k`.
		struct Step
		{
			/// The fifth-order solution, which the integration advances with.
			Positions fifth;
			/// The embedded fourth-order solution.
			Positions fourth;
			/// The velocity at `fifth` (the last stage, the first of the next step).
			Positions lastVelocity;
			/// Euclidean norm over all entries of fifth − fourth, computed from the stages directly so
			/// that large coordinates add no rounding error to it.
			double error = 0.0;
		};

		/// One Bogacki–Shampine 5(4) step: seven evaluations of `velocity` (stages 2 to 8).
		Step bogackiShampineStep(const VelocityField& velocity, const Positions& x, const Positions& k, double h);

		/// How an integration ended.
		enum class Outcome
		{
			/// The root mean square velocity after a step fell below the tolerance; that step was dropped.
			Settled,
			/// The time reached the end time.
			EndTime,
			/// The step limit was reached first.
			StepLimit,
			/// The velocity stayed non-finite while the step was halved below machine epsilon.
			NotFinite
		};

		/// What `integrate` reached.
		struct Integration
		{
			/// The last accepted state: always finite when the start is.
			Positions positions;
			Outcome outcome = Outcome::Settled;
			double time = 0.0;
			/// Attempted steps, the rejected ones included.
			int steps = 0;
		};

		/// Integrates dX/dt = velocity(X) from `start` with step control: a step is accepted when its
		/// error is at most the tolerance (or the step is below machine epsilon); otherwise the step
		/// shrinks by 0.9 (tol / (error + 1e-10))^0.2, at least by the factor 0.2, and is retried. An
		/// accepted step proposes the next step size with the same factor clamped to [0.2, 5]. A
		/// non-finite error (NaN or infinite stages) rejects the step and halves it; when that
		/// brings the step below machine epsilon the integration stops with `NotFinite`. After
		/// `maxSteps` attempts it stops with `StepLimit`. An empty start settles at once.
		Integration integrate(const VelocityField& velocity, const Positions& start, int maxSteps = kMaxSteps);

		/// The velocity field of the curve shortening over the nodes of `graph` (see the
		/// implementation for the rules per node kind) in a distance image given by its value query.
		/// `distance` maps a world position to a distance in millimetres; on large graphs it is called
		/// from several threads at once. The field keeps the graph's topology of this moment.
		VelocityField distanceWeightedVelocity(const Graph& graph, std::function<double(const Eigen::Vector3d&)> distance,
		                                       bool preserveTerminalEdges);

		/// Runs the whole mode on `graph`: resamples the labels onto a grid of `voxelSize` mm, takes
		/// its distance transform, integrates the node positions and ends with two passes of the
		/// neighbourhood average. Logs and returns the algorithm status: 0 (also, with a warning,
		/// when the integration stopped early), 1 without label image or when the label image is
		/// empty or cannot be resampled, 2 for a voxel size that is not positive and finite, a 2-D
		/// label image, node positions that are not finite or a graph matrix that cannot be inverted.
		int run(Graph& graph, SharedImageSet* labels, double voxelSize, bool preserveTerminalEdges);
	}
}
