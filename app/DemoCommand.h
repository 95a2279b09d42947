#pragma once

#include <string>
#include <utility>
#include <vector>

namespace CLI
{
	class App;
}

namespace Quorvale
{
	class ProgramContext;

	/// The `demo` subcommand: `demo [--size N] [--out DIR]` makes a synthetic vessel tree, extracts its
	/// centreline graph with the plug-in's algorithms as `run` would, measures the vessel diameters,
	/// writes the label image, the surface of its labelled voxels (a PLY mesh) and the graph, and
	/// prints how well the graph follows the true centreline.
	namespace DemoCommand
	{
		/// What one demo run chooses.
		struct Options
		{
			/// Voxels per axis of the label volume (48 to 1024).
			int size = 128;
			/// Folder of the files written; created when missing.
			std::string out = "quorvale-demo";
		};

		/// What one demo run found.
		struct Summary
		{
			int size = 0;
			double spacing = 0.0;
			int trueBranchPoints = 0;
			int trueLoops = 0;
			double trueLength = 0.0;

			int nodes = 0;
			int edges = 0;
			int components = 0;
			/// Summed edge length in world millimetres.
			double totalLength = 0.0;
			/// Mean "diameter" over the edges, in millimetres.
			double meanDiameter = 0.0;

			/// The spacing of the grid the graph was extracted on; one voxel of it is the tolerance.
			double targetSpacing = 0.0;
			/// Share of the true centreline within the tolerance of the graph, in [0, 1].
			double coverage = 0.0;
			/// Largest distance from the true centreline to the graph, in millimetres.
			double largestDistance = 0.0;

			/// Stage name and seconds, in order.
			std::vector<std::pair<std::string, double>> stageSeconds;
			/// The files written, in order.
			std::vector<std::string> files;
		};

		/// Adds the subcommand to the program's command line.
		void add(CLI::App& app, ProgramContext& context);

		/// Runs the demo with the plug-ins of `context`. Throws std::runtime_error with a clear
		/// message for a size outside 48 to 1024, when an algorithm is missing or fails, or when a
		/// file cannot be written.
		Summary run(ProgramContext& context, const Options& options);

		/// The summary as the program prints it.
		std::string format(const Summary& summary);
	}
}
