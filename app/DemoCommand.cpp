#include "app/DemoCommand.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <stdexcept>


#include <CLI/CLI.hpp>
#include <Eigen/Geometry>
#include <fmt/format.h>

#include "app/AlgorithmLookup.h"
#include "app/DataFiles.h"
#include "app/GraphMLShape.h"
#include "app/ParameterAssignment.h"
#include "app/ProgramContext.h"
#include "app/RunCommand.h"
#include "host/core/Properties.h"
#include "host/core/Timer.h"
#include "host/lib/Algorithm.h"
#include "host/lib/DataList.h"
#include "host/lib/Mesh.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "synthetic/CenterlineMatch.h"
#include "synthetic/VesselTree.h"
#include "synthetic/VoxelSurface.h"

namespace Quorvale::DemoCommand
{
	namespace
	{
		const char* const kExtraction = "Graph.CenterlineGraphExtraction";
		const char* const kFeatures = "Graph.ComputeFeatures";
		/// Voxel size of the synthetic volume; the tree is laid out in voxels, so any size would do.
		constexpr double kSpacing = 0.5;
		constexpr std::uint64_t kSeed = 1;

		/// Runs an algorithm of the registry on `selection`, as `run` does; throws when it is not
		/// there, does not take the data or fails.
		std::unique_ptr<Algorithm> runRegistered(const std::string& id, const DataList& selection,
		                                         const std::vector<std::pair<std::string, std::string>>& settings)
		{
			const AlgorithmFactory::Descriptor& descriptor = AlgorithmLookup::find(id);
			std::unique_ptr<Algorithm> algorithm = descriptor.create(selection);
			if (!algorithm)
				throw std::runtime_error("Algorithm " + descriptor.id + " does not accept the demo's data");
			for (const auto& [name, value] : settings)
				ParameterAssignment::apply(*algorithm, name, value);

			RunCommand::compute(*algorithm, descriptor.id);
			return algorithm;
		}

		/// The grid spacing the extraction works on: the coarsest input axis, or finer when the
		/// smallest vessel diameter asks for it.
		double targetSpacing(const Algorithm& extraction, const SharedImage& labels)
		{
			Properties settings;
			extraction.configuration(settings);
			const double diameter = settings.param<double>("minVesselDiameter").value_or(1.0);
			const int resolution = std::max(settings.param<int>("minPixelResolution").value_or(6), 1);
			const Eigen::Vector3d& spacing = labels.descriptor().spacing();
			const double coarsest = labels.descriptor().dimension() == 3 ? spacing.maxCoeff() : spacing.head<2>().maxCoeff();
			return std::max(coarsest, diameter / resolution);
		}

		/// Counts, lengths and diameters of the written graph, and its shape for the match.
		SyntheticVessels::GraphGeometry measure(const std::string& graphFile, Summary& summary)
		{
			const GraphMLShape::Shape shape = GraphMLShape::read(graphFile, "diameter");
			summary.nodes = static_cast<int>(shape.nodes.size());
			summary.edges = static_cast<int>(shape.edges.size());
			summary.components = shape.components();
			summary.totalLength = shape.totalLength();
			summary.meanDiameter = shape.meanEdgeValue();
			SyntheticVessels::GraphGeometry geometry;
			std::vector<bool> linked(shape.nodes.size(), false);
			for (const auto& [a, b] : shape.edges)
			{
				geometry.edges.emplace_back(shape.nodes[a], shape.nodes[b]);
				linked[a] = linked[b] = true;
			}
			for (std::size_t i = 0; i < shape.nodes.size(); ++i)
				if (!linked[i])
					geometry.isolatedNodes.push_back(shape.nodes[i]);
			return geometry;
		}

		/// The synthetic vessel tree of `options.size` voxels per axis, its truth noted in the summary.
		SyntheticVessels::VesselTree createTree(const Options& options, Summary& summary)
		{
			SyntheticVessels::TreeSettings settings;
			settings.dimensions = Eigen::Vector3i::Constant(options.size);
			settings.spacing = Eigen::Vector3d::Constant(kSpacing);
			settings.seed = kSeed;
			SyntheticVessels::VesselTree tree = SyntheticVessels::createVesselTree(settings);
			tree.labels->setName("vessel-tree");
			summary.trueBranchPoints = static_cast<int>(tree.branchPoints.size());
			summary.trueLoops = tree.loops;
			summary.trueLength = tree.totalLength();
			return tree;
		}

		/// Runs the extraction on the tree's labels and returns its one result, the graph.
		std::unique_ptr<Data> extractGraph(const SyntheticVessels::VesselTree& tree, Summary& summary)
		{
			std::unique_ptr<Algorithm> extraction = runRegistered(kExtraction, DataList{tree.labels.get()}, {});
			// The program does not know the graph type: it takes the extraction's one result as data.
			std::vector<std::unique_ptr<Data>> results = extraction->takeOutput().extractAll();
			if (results.size() != 1 || !results.front())
				throw std::runtime_error(std::string("Algorithm ") + kExtraction + " handed over no graph");
			std::unique_ptr<Data> graph = std::move(results.front());
			graph->setName("vessel-tree");
			summary.targetSpacing = targetSpacing(*extraction, *tree.labels->get(0));
			return graph;
		}

		int runDemo(ProgramContext& context, const Options& options)
		{
			std::cout << format(run(context, options));
			std::cout.flush();
			return 0;
		}
	}

	Summary run(ProgramContext& context, const Options& options)
	{
		// Below 48 voxels the synthetic volume has no room for a tree.
		if (options.size < 48 || options.size > 1024)
			throw std::runtime_error("--size must lie between 48 and 1024 voxels, got " + std::to_string(options.size));
		context.requirePlugins();
		// Fail before the work when the plug-in is missing.
		AlgorithmLookup::find(kExtraction);
		AlgorithmLookup::find(kFeatures);

		Summary summary;
		summary.size = options.size;
		summary.spacing = kSpacing;
		Timer timer;
		auto stage = [&](const char* name)
		{
			summary.stageSeconds.emplace_back(name, timer.elapsed());
			timer.restart();
		};

		const SyntheticVessels::VesselTree tree = createTree(options, summary);
		stage("generate tree");

		std::error_code error;
		std::filesystem::create_directories(options.out, error);
		if (error)
			throw std::runtime_error("Cannot create the folder '" + options.out + "': " + error.message());
		const auto path = [&](const char* name) { return (std::filesystem::path(options.out) / name).string(); };
		summary.files.push_back(path("vessel-tree.nii.gz"));
		DataFiles::save(*tree.labels, summary.files.back());
		stage("write labels");
		// The surface of the labelled voxels, for painting the measured diameters onto.
		summary.files.push_back(path("vessel-surface.ply"));
		DataFiles::save(*SyntheticVolumes::voxelSurfaceMesh(*tree.labels->get(0), "vessel-surface"), summary.files.back());
		stage("write surface");

		std::unique_ptr<Data> graph = extractGraph(tree, summary);
		stage("extract centerline");

		runRegistered(kFeatures, DataList{graph.get(), tree.labels.get()}, {{"mode", "VesselDiameter"}});
		stage("vessel diameters");

		for (const char* name : {"vessel-tree.graphml", "vessel-tree.qvf"})
		{
			summary.files.push_back(path(name));
			DataFiles::save(*graph, summary.files.back());
		}
		stage("write graph");

		// Judged from the written file, in world millimetres, as any other reader of it would.
		const SyntheticVessels::GraphGeometry geometry = measure(path("vessel-tree.graphml"), summary);
		const SyntheticVessels::CenterlineMatch match = SyntheticVessels::matchCenterline(tree, geometry, summary.targetSpacing);
		summary.coverage = match.coverage;
		summary.largestDistance = match.largestDistance;
		stage("match");
		return summary;
	}

	std::string format(const Summary& s)
	{
		std::string out;
		out += fmt::format("Synthetic vessel tree: {}^3 voxels of {} mm; true centerline {:.1f} mm long, branch points {}, loops {}\n",
		                   s.size, s.spacing, s.trueLength, s.trueBranchPoints, s.trueLoops);
		out += "Centerline graph (Graph.CenterlineGraphExtraction with its defaults, then vessel diameters):\n";
		out += fmt::format("  nodes             {}\n", s.nodes);
		out += fmt::format("  edges             {}\n", s.edges);
		out += fmt::format("  components        {}\n", s.components);
		out += fmt::format("  total length      {:.1f} mm\n", s.totalLength);
		out += fmt::format("  mean diameter     {:.2f} mm\n", s.meanDiameter);
		out += fmt::format("Match with the true centerline (tolerance one voxel of the {} mm extraction grid):\n", s.targetSpacing);
		out += fmt::format("  within tolerance  {:.1f} %\n", 100.0 * s.coverage);
		out += fmt::format("  largest distance  {:.2f} mm\n", s.largestDistance);
		out += "Time per stage:\n";
		double total = 0.0;
		for (const auto& [name, seconds] : s.stageSeconds)
		{
			out += fmt::format("  {:<20}{:.3f} s\n", name, seconds);
			total += seconds;
		}
		out += fmt::format("  {:<20}{:.3f} s\n", "total", total);
		for (const std::string& file : s.files)
			out += "Wrote " + file + "\n";
		return out;
	}

	void add(CLI::App& app, ProgramContext& context)
	{
		auto options = std::make_shared<Options>();
		CLI::App* command =
		    app.add_subcommand("demo", "Extract the centerline graph of a synthetic vessel tree and compare it with the true centerline");
		command->add_option("--size", options->size, "Voxels per axis of the synthetic volume (48 to 1024)")->capture_default_str();
		command->add_option("--out", options->out, "Folder for the label image, its surface mesh and the graph files")->capture_default_str();
		command->callback([&context, options] { context.setAction([&context, options] { return runDemo(context, *options); }); });
	}
}
