#include "src/imaging/CenterlineGraphExtractionAlgorithm.h"

#include "host/core/Log.h"
#include "host/core/Properties.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "src/graph/Graph.h"
#include "src/graph/GraphUtils.h"
#include "src/plugin/GraphPluginFactory.h"
#include "synthetic/VesselVolume.h"

#include <Eigen/Geometry>
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using namespace Quorvale;
using SyntheticVolumes::Tube;

namespace
{
	const char* const kCategory = "Graph.CenterlineGraphExtractionAlgorithm";

	/// A label set of element type T with the tubes painted as `value`, centred on the world origin.
	template <typename T>
	std::unique_ptr<SharedImageSet> labelSet(const Eigen::Vector3i& dims, const Eigen::Vector3d& spacing, const std::vector<Tube>& tubes,
	                                         T value = T(1))
	{
		auto painted = SyntheticVolumes::createVesselVolume(dims, spacing, Eigen::Matrix4d::Identity(), tubes);
		const auto& mask = dynamic_cast<const TypedImage<unsigned char>&>(*painted->mem(0));
		auto image = TypedImage<T>::create(ImageDescriptor(PixelTypeOf<T>::value, dims, 1, spacing));
		for (std::size_t i = 0; i < mask.descriptor().size(); ++i)
			image->pointer()[i] = mask.pointer()[i] ? value : T(0);
		return std::make_unique<SharedImageSet>(std::make_unique<SharedImage>(std::move(image)), "labels");
	}

	struct Extraction
	{
		int status = -1;
		std::unique_ptr<Graph> graph;
		std::vector<Log::Record> log;
	};

	/// Runs the extraction with the given settings and takes its graph.
	Extraction extract(SharedImageSet& labels, const std::function<void(CenterlineGraphExtractionAlgorithm&)>& configure = {})
	{
		Log::ScopedCapture capture;
		CenterlineGraphExtractionAlgorithm algorithm(labels);
		if (configure)
			configure(algorithm);
		algorithm.compute();
		Extraction run;
		run.status = algorithm.status();
		run.graph = algorithm.takeOutput().extractFirst<Graph>();
		run.log = capture.sink().records();
		return run;
	}

	std::vector<std::string> messages(const Extraction& run, int level)
	{
		std::vector<std::string> out;
		for (const auto& record : run.log)
			if (record.level == level)
			{
				EXPECT_EQ(record.category, kCategory) << record.message;
				out.push_back(record.message);
			}
		return out;
	}

	int nodesOfDegree(const Graph& graph, int degree, bool atLeast = false)
	{
		int count = 0;
		graph.forEachNode([&](uint64_t, const Graph::NodeInfo&, const Graph::Neighborhood& n)
		                  { count += atLeast ? static_cast<int>(n.size()) >= degree : static_cast<int>(n.size()) == degree; });
		return count;
	}

	Eigen::Vector3d world(const Graph& graph, const Graph::NodeInfo& node)
	{
		return (graph.matrixToWorld() * node.position().homogeneous()).head<3>();
	}
}

TEST(CenterlineGraphExtractionTest, AcceptsOneSetOfOneImage)
{
	auto one = labelSet<unsigned char>({8, 8, 8}, Eigen::Vector3d::Ones(), {});
	SharedImageSet two;
	two.add(std::make_unique<SharedImage>(TypedImage<unsigned char>::create({4, 4, 4})));
	two.add(std::make_unique<SharedImage>(TypedImage<unsigned char>::create({4, 4, 4})));
	Graph graph;
	SharedImageSet none;

	Algorithm* created = nullptr;
	EXPECT_TRUE(CenterlineGraphExtractionAlgorithm::createCompatible(DataList{one.get()}, &created));
	std::unique_ptr<Algorithm> owned(created);
	EXPECT_NE(dynamic_cast<CenterlineGraphExtractionAlgorithm*>(owned.get()), nullptr);
	EXPECT_FALSE(CenterlineGraphExtractionAlgorithm::createCompatible(DataList{&two}, nullptr));
	EXPECT_FALSE(CenterlineGraphExtractionAlgorithm::createCompatible(DataList{one.get(), &graph}, nullptr));
	EXPECT_FALSE(CenterlineGraphExtractionAlgorithm::createCompatible(DataList{one.get(), one.get()}, nullptr));
	EXPECT_FALSE(CenterlineGraphExtractionAlgorithm::createCompatible(DataList{&none}, nullptr));
	EXPECT_FALSE(CenterlineGraphExtractionAlgorithm::createCompatible(DataList(), nullptr));
}

TEST(CenterlineGraphExtractionTest, ParametersWithTheirDefaultsAndAttributes)
{
	auto labels = labelSet<unsigned char>({8, 8, 8}, Eigen::Vector3d::Ones(), {});
	CenterlineGraphExtractionAlgorithm algorithm(*labels);
	Properties p;
	algorithm.configuration(p);
	EXPECT_EQ(p.paramNames(),
	          (std::vector<std::string>{"mode", "labelProcessing", "minVesselDiameter", "minPixelResolution", "minComponentSize",
	                                    "closeHolesSize", "graphSmoothing", "prunePathsSensitivity", "removeCycles", "addLabelID"}));
	EXPECT_EQ(p.param<int>("mode"), 0);
	EXPECT_EQ(p.paramType("mode"), PropertiesDetail::ParamType::Enumeration);
	EXPECT_EQ(p.paramAttribute("mode", "values"), "Skeletonization");
	EXPECT_EQ(p.param<double>("minVesselDiameter"), 1.0);
	EXPECT_EQ(p.paramAttribute("minVesselDiameter", "min"), "0.0");
	EXPECT_EQ(p.paramAttribute("minVesselDiameter", "tooltip"), "Smallest vessel diameter (in mm) that should be accurately resolved.");
	EXPECT_EQ(p.param<int>("minPixelResolution"), 6);
	EXPECT_EQ(p.paramAttribute("minPixelResolution", "hidden"), "true");
	EXPECT_EQ(p.param<int>("minComponentSize"), 3);
	EXPECT_EQ(p.param<std::optional<int>>("closeHolesSize"), std::optional<int>(2));
	EXPECT_EQ(p.paramAttribute("closeHolesSize", "min"), "1");
	EXPECT_EQ(p.paramAttribute("closeHolesSize", "tooltip"),
	          "Kernel size (in pixels) used for the morphological closing operation to fill small holes in a preprocessing step.");
	EXPECT_EQ(p.param<double>("graphSmoothing"), 2.0);
	EXPECT_EQ(p.paramAttribute("graphSmoothing", "min"), "0.0");
	EXPECT_EQ(p.param<double>("prunePathsSensitivity"), 1.0);
	EXPECT_EQ(p.paramAttribute("prunePathsSensitivity", "tooltip"),
	          "Higher sensitivity results in more aggressive removal of smaller paths.");
	EXPECT_EQ(p.param<bool>("removeCycles"), false);
	EXPECT_EQ(p.param<bool>("addLabelID"), false);
}

TEST(CenterlineGraphExtractionTest, RegisteredFirst)
{
	GraphPluginFactory factory;
	ASSERT_FALSE(factory.algorithmDescriptors().empty());
	EXPECT_EQ(factory.algorithmDescriptors().front()->id, "Graph.CenterlineGraphExtraction");
	EXPECT_EQ(factory.algorithmDescriptors().front()->name, "Graph;Centerline Graph Extraction");

	auto labels = labelSet<unsigned char>({8, 8, 8}, Eigen::Vector3d::Ones(), {});
	auto algorithm = factory.instantiateAlgorithm("Graph.CenterlineGraphExtraction", DataList{labels.get()});
	EXPECT_NE(dynamic_cast<CenterlineGraphExtractionAlgorithm*>(algorithm.get()), nullptr);
}

TEST(CenterlineGraphExtractionTest, EmptyInputsFailWithoutAGraphOrWithAnEmptyOne)
{
	SharedImageSet none;
	Extraction noImage = extract(none);
	EXPECT_EQ(noImage.status, Algorithm::Error);
	EXPECT_EQ(noImage.graph, nullptr);
	EXPECT_EQ(messages(noImage, Log::Error), std::vector<std::string>{"Empty input image set provided."});

	// An all-zero image: the warning, an empty graph of the image's dimension, and status 1.
	for (bool flat : {false, true})
	{
		auto zeros = labelSet<float>(flat ? Eigen::Vector3i(16, 16, 1) : Eigen::Vector3i(16, 16, 16), Eigen::Vector3d::Ones(), {});
		Extraction run = extract(*zeros);
		EXPECT_EQ(run.status, Algorithm::Error);
		EXPECT_EQ(messages(run, Log::Warning), std::vector<std::string>{"Input label image is empty."});
		ASSERT_TRUE(run.graph);
		EXPECT_TRUE(run.graph->empty());
		EXPECT_EQ(run.graph->dimension(), flat ? Graph::Dimension::TwoD : Graph::Dimension::ThreeD);
	}

	// Values at or below 0.5 of a non-8-bit image are background.
	auto faint = labelSet<float>({16, 16, 16}, Eigen::Vector3d::Ones(), {{{-5, 0, 0}, {5, 0, 0}, 3.0}}, 0.5f);
	EXPECT_EQ(messages(extract(*faint), Log::Warning), std::vector<std::string>{"Input label image is empty."});
}

TEST(CenterlineGraphExtractionTest, InvalidSettingsFailBeforeAnythingIsAllocated)
{
	auto labels = labelSet<unsigned char>({24, 24, 24}, Eigen::Vector3d::Ones(), {{{-8, 0, 0}, {8, 0, 0}, 3.0}});
	const std::vector<std::pair<std::function<void(CenterlineGraphExtractionAlgorithm&)>, std::string>> cases = {
	    {[](auto& a) { a.minPixelResolution = 0; }, "minPixelResolution must be at least 1, got 0."},
	    {[](auto& a) { a.closeHolesSize = std::optional<int>(-1); }, "closeHolesSize must not be negative, got -1."},
	    {[](auto& a) { a.minVesselDiameter = std::numeric_limits<double>::infinity(); }, "minVesselDiameter must be finite, got inf."},
	    {[](auto& a) { a.graphSmoothing = std::numeric_limits<double>::infinity(); },
	     "graphSmoothing must be a number from 0 to 100, got inf."},
	    {[](auto& a) { a.graphSmoothing = 1e9; }, "graphSmoothing must be a number from 0 to 100, got 1000000000."},
	};
	for (const auto& [configure, message] : cases)
	{
		Extraction run = extract(*labels, configure);
		EXPECT_EQ(run.status, Algorithm::InvalidInput) << message;
		EXPECT_EQ(run.graph, nullptr);
		EXPECT_EQ(messages(run, Log::Error), std::vector<std::string>{message});
		EXPECT_TRUE(messages(run, Log::Info).empty()) << message;
	}

	// An unknown mode.
	Extraction unknown = extract(*labels, [](auto& a) { a.mode = static_cast<CenterlineGraphExtractionAlgorithm::Mode>(3); });
	EXPECT_EQ(unknown.status, Algorithm::Error);
	EXPECT_EQ(messages(unknown, Log::Error), std::vector<std::string>{"Not implemented."});

	// Elements without numeric values cannot be labels.
	SharedImageSet bytes(std::make_unique<SharedImage>(MemImage::create(ImageDescriptor(ImageDescriptor::Bytes2, {8, 8, 8}))));
	Extraction untyped = extract(bytes);
	EXPECT_EQ(untyped.status, Algorithm::InvalidInput);
	EXPECT_EQ(messages(untyped, Log::Error),
	          std::vector<std::string>{"The label image has pixel type 5127, which holds no numeric values."});
}

// The pruning's distance image squares distances in floats: spacings whose distances square into
// subnormals or infinity are refused before any work (they used to give a graph pruned to nothing,
// or one labelled voxel that could not be partitioned).
TEST(CenterlineGraphExtractionTest, SpacingsWhoseDistancesFloatsCannotSquareAreRefused)
{
	struct Case
	{
		Eigen::Vector3d spacing;
		double minVesselDiameter;
		std::string message;
	};
	const std::string coarse = " is too coarse to measure: distances within the image may reach ";
	const Case cases[] = {
	    {Eigen::Vector3d::Constant(2e19), 1.0,
	     "The label image's spacing (2e+19, 2e+19, 2e+19) mm" + coarse +
	         "2.8e+20 mm, and single precision squares distances up to 1.84e+19 mm."},
	    {Eigen::Vector3d::Constant(1e19), 1.0,
	     "The label image's spacing (1e+19, 1e+19, 1e+19) mm" + coarse +
	         "1.4e+20 mm, and single precision squares distances up to 1.84e+19 mm."},
	    {Eigen::Vector3d(1, 1, 1), 1e25,
	     "The label image's spacing (1, 1, 1) mm with the target spacing 1.66667e+24 mm" + coarse +
	         "3.33e+24 mm, and single precision squares distances up to 1.84e+19 mm."},
	    {Eigen::Vector3d(1, 1e-19, 1), 1.0,
	     "The label image's spacing (1, 1e-19, 1) mm is too fine to measure: distances are squared in single precision, which resolves "
	     "spacings from 1.08e-19 mm."},
	    // Accepted: distances up to 1.4e19, and a flat image, whose z spacing is not measured.
	    {Eigen::Vector3d::Constant(1e18), 1.0, ""},
	    {Eigen::Vector3d(1, 1, 1e-30), 1.0, ""},
	};
	for (const Case& c : cases)
	{
		const bool flat = c.spacing.z() < 1e-20;
		auto labels = labelSet<unsigned char>({24, 24, flat ? 1 : 24}, Eigen::Vector3d::Ones(), {{{-8, 0, 0}, {8, 0, 0}, 3.0}});
		labels->get(0)->mem()->setSpacing(c.spacing, true);
		Extraction run = extract(*labels, [&c](auto& a) { a.minVesselDiameter = c.minVesselDiameter; });
		EXPECT_EQ(messages(run, Log::Error), c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message});
		EXPECT_EQ(run.status, c.message.empty() ? Algorithm::Success : Algorithm::InvalidInput) << c.spacing.transpose();
		EXPECT_TRUE(c.message.empty() ? run.graph && run.graph->numNodes() > 2 : !run.graph) << c.spacing.transpose();
		// Refused before the resampling says what it does.
		EXPECT_EQ(messages(run, Log::Info).size(), c.message.empty() ? 1u : 0u);
	}
}

TEST(CenterlineGraphExtractionTest, ClosingsWiderThanTheLabelsAreRefused)
{
	// The tube spans 16 voxels; the grid around it 20 and a closing may be as wide.
	auto labels = labelSet<unsigned char>({40, 40, 40}, Eigen::Vector3d::Ones(), {{{-8, 0, 0}, {8, 0, 0}, 3.0}});
	for (int size : {300, 100000, 1 << 30, std::numeric_limits<int>::max()})
	{
		Extraction run = extract(*labels, [size](auto& a) { a.closeHolesSize = std::optional<int>(size); });
		EXPECT_EQ(run.status, Algorithm::InvalidInput) << size;
		EXPECT_EQ(run.graph, nullptr);
		EXPECT_EQ(messages(run, Log::Error),
		          std::vector<std::string>{fmt::format(
		              "A closing of {} voxels is wider than the label bounds (20 voxels at spacing 1); use at most 20.", size)});
	}
	EXPECT_EQ(extract(*labels, [](auto& a) { a.closeHolesSize = std::optional<int>(20); }).status, Algorithm::Success);
}

TEST(CenterlineGraphExtractionTest, TargetSpacingIsNeverFinerThanTheCoarsestAxis)
{
	const std::vector<std::pair<Eigen::Vector3d, std::string>> cases = {
	    {{0.5, 0.5, 2.0}, "Resampling from 2 to 2\n"},
	    {{0.1, 0.1, 0.1}, "Resampling from 0.1 to 0.166667\n"},
	    {{0.3, 0.4, 0.2}, "Resampling from 0.4 to 0.4\n"},
	};
	for (const auto& [spacing, message] : cases)
	{
		auto labels = labelSet<unsigned char>({20, 20, 20}, spacing, {{{-1, 0, 0}, {1, 0, 0}, 2.5}});
		Extraction run = extract(*labels, [](auto& a) { a.graphSmoothing = 0.0; });
		EXPECT_EQ(messages(run, Log::Info), std::vector<std::string>{message});
	}
	// In a 2-D image only x and y count.
	auto flat = labelSet<unsigned char>({20, 20, 1}, {0.5, 0.5, 9.0}, {{{-3, 0, 0}, {3, 0, 0}, 1.5}});
	EXPECT_EQ(messages(extract(*flat), Log::Info), std::vector<std::string>{"Resampling from 0.5 to 0.5\n"});
}

TEST(CenterlineGraphExtractionTest, GridCoversTheLabelsWithOddSizes)
{
	// One label spanning 10 pixels along x (spacing 0.5, target 0.5, margin 2): 10 + 4 + 5 = 19;
	// 11 pixels along y: 11 + 4 + 4 = 19; a single pixel along z: 0 + 4 + 5 = 9.
	auto set = labelSet<unsigned char>({30, 30, 30}, {0.5, 0.5, 0.5}, {});
	auto& image = dynamic_cast<TypedImage<unsigned char>&>(*set->mem(0));
	image.at(5, 7, 9) = 1;
	image.at(15, 18, 9) = 3;
	auto grid = CenterlineGraphExtractionAlgorithm::labelGrid(*set, 0.5, 2);
	ASSERT_TRUE(std::holds_alternative<ImageDescriptorWorld>(grid));
	const auto& g = std::get<ImageDescriptorWorld>(grid);
	EXPECT_EQ(g.dimensions(), Eigen::Vector3i(19, 19, 9));
	EXPECT_EQ(g.spacing(), Eigen::Vector3d::Constant(0.5));
	EXPECT_EQ(g.pixelType(), ImageDescriptor::UnsignedChar);
	// Centred on the box centre (10, 12.5, 9), rounded half away from zero to (10, 13, 9).
	EXPECT_TRUE(g.pixelToWorld(Eigen::Vector3d(9, 9, 4)).isApprox(set->get(0)->descriptorWorld().pixelToWorld(Eigen::Vector3d(10, 13, 9))));

	// Without a margin (closing off), at a coarser target: ceil(0.5 * 10 / 2) = 3 -> 3 + 4 = 7.
	auto coarse = CenterlineGraphExtractionAlgorithm::labelGrid(*set, 2.0, 0);
	EXPECT_EQ(std::get<ImageDescriptorWorld>(coarse).dimensions(), Eigen::Vector3i(7, 7, 5));

	// A 2-D image gets one sample and spacing 1 in z.
	auto flat = labelSet<unsigned char>({30, 30, 1}, {0.5, 0.5, 3.0}, {});
	dynamic_cast<TypedImage<unsigned char>&>(*flat->mem(0)).at(4, 4, 0) = 1;
	const auto flatResult = CenterlineGraphExtractionAlgorithm::labelGrid(*flat, 0.5, 2);
	const auto& flatGrid = std::get<ImageDescriptorWorld>(flatResult);
	EXPECT_EQ(flatGrid.dimensions().z(), 1);
	EXPECT_EQ(flatGrid.spacing().z(), 1.0);

	// No labels, or sizes that cannot be formed, give a message instead of a grid.
	auto empty = labelSet<unsigned char>({8, 8, 8}, Eigen::Vector3d::Ones(), {});
	EXPECT_EQ(std::get<std::string>(CenterlineGraphExtractionAlgorithm::labelGrid(*empty, 1.0, 2)), "The label image holds no labels.");
	EXPECT_TRUE(std::holds_alternative<std::string>(CenterlineGraphExtractionAlgorithm::labelGrid(*set, 0.0, 2)));
	EXPECT_TRUE(std::holds_alternative<std::string>(CenterlineGraphExtractionAlgorithm::labelGrid(*set, std::nan(""), 2)));
	EXPECT_TRUE(std::holds_alternative<std::string>(CenterlineGraphExtractionAlgorithm::labelGrid(*set, 1e-300, 2)));
	EXPECT_TRUE(std::holds_alternative<std::string>(CenterlineGraphExtractionAlgorithm::labelGrid(*set, 0.5, -1)));

	CenterlineGraphExtractionAlgorithm algorithm(*empty);
	Log::ScopedCapture log;
	EXPECT_EQ(algorithm.resampleToLabelBounds(*empty, 1.0, 2), nullptr);
	EXPECT_EQ(log.sink().messages(Log::Error), std::vector<std::string>{"The label image holds no labels."});
	auto resampled = algorithm.resampleToLabelBounds(*set, 0.5, 2);
	ASSERT_TRUE(resampled);
	EXPECT_EQ(resampled->get(0)->descriptor().dimensions(), Eigen::Vector3i(19, 19, 9));
}

TEST(CenterlineGraphExtractionTest, StraightTubeGivesOneChainAlongItsAxis)
{
	// Anisotropic spacing; the tube runs obliquely through the volume.
	const Eigen::Vector3d from(-9, -4, -3), to(9, 5, 4);
	for (bool asFloat : {false, true})
	{
		auto labels = asFloat ? labelSet<float>({48, 40, 24}, {0.5, 0.5, 0.8}, {{from, to, 2.5}}, 7.5f)
		                      : labelSet<unsigned char>({48, 40, 24}, {0.5, 0.5, 0.8}, {{from, to, 2.5}});
		Eigen::Matrix4d placement = Eigen::Matrix4d::Identity();
		placement.topRightCorner<3, 1>() = Eigen::Vector3d(100, -50, 20);
		labels->setMatrixToWorld(placement);
		Extraction run = extract(*labels);
		ASSERT_EQ(run.status, Algorithm::Success);
		ASSERT_TRUE(run.graph);
		EXPECT_TRUE(messages(run, Log::Error).empty());
		EXPECT_TRUE(messages(run, Log::Warning).empty());
		EXPECT_EQ(run.graph->matrixToWorld(), placement);
		EXPECT_EQ(nodesOfDegree(*run.graph, 1), 2);
		EXPECT_EQ(nodesOfDegree(*run.graph, 3, true), 0);
		const Eigen::Vector3d axis = (to - from).normalized();
		double longest = 0.0;
		run.graph->forEachNode(
		    [&](uint64_t, const Graph::NodeInfo& node, const Graph::Neighborhood& neighbours)
		    {
			    const Eigen::Vector3d p = world(*run.graph, node) - placement.topRightCorner<3, 1>() - from;
			    // Within a voxel of the 0.8 mm grid inside, within two at the flat ends.
			    EXPECT_LT((p - p.dot(axis) * axis).norm(), neighbours.size() == 1 ? 1.6 : 0.8);
			    longest = std::max(longest, p.dot(axis));
		    });
		// The chain reaches to within about a radius of the far end.
		EXPECT_GT(longest, (to - from).norm() - 3.5);
	}
}

TEST(CenterlineGraphExtractionTest, EightBitLabelsKeepTheirValuesAndSeparateTubesAreCombined)
{
	// Two tubes of different label values: two components, combined into one graph in world coordinates.
	auto labels = labelSet<unsigned char>({40, 40, 24}, Eigen::Vector3d::Ones(), {{{-12, -8, 0}, {12, -8, 0}, 2.5}});
	auto second = labelSet<unsigned char>({40, 40, 24}, Eigen::Vector3d::Ones(), {{{-12, 8, 0}, {12, 8, 0}, 2.5}}, 5);
	auto& a = dynamic_cast<TypedImage<unsigned char>&>(*labels->mem(0));
	const auto& b = dynamic_cast<const TypedImage<unsigned char>&>(*second->mem(0));
	for (std::size_t i = 0; i < a.descriptor().size(); ++i)
		a.pointer()[i] = std::max(a.pointer()[i], b.pointer()[i]);
	Eigen::Matrix4d placement = Eigen::Matrix4d::Identity();
	placement(0, 3) = 7.0;
	labels->setMatrixToWorld(placement);

	Extraction run = extract(*labels);
	ASSERT_EQ(run.status, Algorithm::Success);
	EXPECT_EQ(run.graph->matrixToWorld(), Eigen::Matrix4d::Identity());
	EXPECT_EQ(nodesOfDegree(*run.graph, 1), 4);
	int upper = 0, lower = 0;
	run.graph->forEachNode(
	    [&](uint64_t, const Graph::NodeInfo& node)
	    {
		    const Eigen::Vector3d p = world(*run.graph, node);
		    EXPECT_NEAR(std::abs(p.y()), 8.0, 0.8);
		    EXPECT_NEAR(p.z(), 0.0, 0.8);
		    EXPECT_NEAR(p.x(), 7.0, 12.5);
		    (p.y() > 0 ? upper : lower)++;
	    });
	EXPECT_GT(upper, 5);
	EXPECT_GT(lower, 5);
	// The input is untouched.
	EXPECT_EQ(a.at(20, 11, 11), 1);
	EXPECT_EQ(a.at(20, 27, 11), 5);
}

TEST(CenterlineGraphExtractionTest, LoopIsKeptUnlessCyclesAreRemoved)
{
	// A ring of tubes with a tail on either side: two branch points joined by two paths.
	std::vector<Tube> tubes{{{10, 0, 0}, {17, 0, 0}, 2.0}, {{-10, 0, 0}, {-17, 0, 0}, 2.0}};
	const int pieces = 24;
	for (int i = 0; i < pieces; ++i)
	{
		const double a0 = 2 * M_PI * i / pieces, a1 = 2 * M_PI * (i + 1) / pieces;
		tubes.push_back({{10 * std::cos(a0), 10 * std::sin(a0), 0}, {10 * std::cos(a1), 10 * std::sin(a1), 0}, 2.5});
	}
	auto labels = labelSet<unsigned char>({80, 64, 16}, {0.5, 0.5, 0.5}, tubes);
	// Close the joints between the pieces.
	for (int i = 2; i < static_cast<int>(tubes.size()); ++i)
		SyntheticVolumes::paintBall(*labels->get(0), {tubes[i].from, 2.5});

	Extraction kept = extract(*labels);
	ASSERT_EQ(kept.status, Algorithm::Success);
	EXPECT_FALSE(GraphUtils::isAcyclic(*kept.graph));
	EXPECT_EQ(messages(kept, Log::Warning), std::vector<std::string>{"Graph is not acyclic."});
	EXPECT_EQ(nodesOfDegree(*kept.graph, 1), 2);
	EXPECT_EQ(nodesOfDegree(*kept.graph, 3, true), 2);

	Extraction removed = extract(*labels, [](auto& a) { a.removeCycles = true; });
	ASSERT_EQ(removed.status, Algorithm::Success);
	EXPECT_TRUE(GraphUtils::isAcyclic(*removed.graph));
	EXPECT_TRUE(messages(removed, Log::Warning).empty());
	EXPECT_EQ(nodesOfDegree(*removed.graph, 1), 2);
	EXPECT_LT(removed.graph->numNodes(), kept.graph->numNodes());
}

TEST(CenterlineGraphExtractionTest, SmoothingAndClosingCanBeSwitchedOff)
{
	const Tube tube{{-9, -6, -2}, {9, 6, 3}, 2.0};
	auto labels = labelSet<unsigned char>({48, 40, 24}, {0.5, 0.5, 0.5}, {tube});
	Extraction smoothed = extract(*labels);
	Extraction raw = extract(*labels, [](auto& a) { a.graphSmoothing = 0.0; });
	ASSERT_EQ(smoothed.status, Algorithm::Success);
	ASSERT_EQ(raw.status, Algorithm::Success);
	ASSERT_EQ(smoothed.graph->numNodes(), raw.graph->numNodes());
	// Without smoothing every node sits on a voxel centre of the 0.5 mm grid, image coordinates
	// being centred on the volume.
	bool onGrid = true, moved = false;
	raw.graph->forEachNode(
	    [&](uint64_t id, const Graph::NodeInfo& node)
	    {
		    const Eigen::Vector3d steps = node.position() / 0.5;
		    onGrid &= (steps - steps.unaryExpr([](double v) { return std::round(v - 0.5) + 0.5; })).norm() < 1e-9 ||
		              (steps - steps.unaryExpr([](double v) { return std::round(v); })).norm() < 1e-9;
		    moved |= (node.position() - smoothed.graph->node(id).position()).norm() > 1e-6;
	    });
	EXPECT_TRUE(onGrid);
	EXPECT_TRUE(moved);

	// A tube with a one-voxel hole through its wall: the closing fills it, without closing the
	// skeleton goes around the hole and forms a cycle.
	auto holed = labelSet<unsigned char>({48, 40, 24}, {0.5, 0.5, 0.5}, {{{-9, 0, 0}, {9, 0, 0}, 3.0}});
	auto& mask = dynamic_cast<TypedImage<unsigned char>&>(*holed->mem(0));
	for (int y = 0; y < 40; ++y)
		mask.at(24, y, 11) = mask.at(24, y, 12) = mask.at(23, y, 11) = mask.at(23, y, 12) = 0;
	Extraction closed = extract(*holed);
	ASSERT_EQ(closed.status, Algorithm::Success);
	EXPECT_TRUE(GraphUtils::isAcyclic(*closed.graph));
	Extraction open = extract(*holed, [](auto& a) { a.closeHolesSize = std::nullopt; });
	ASSERT_EQ(open.status, Algorithm::Success);
	EXPECT_FALSE(GraphUtils::isAcyclic(*open.graph));
}

TEST(CenterlineGraphExtractionTest, SmoothingKeepsEveryTerminalNodeInItsPlace)
{
	// Three branches meeting at the origin; without smoothing the extraction gives the same graph,
	// node for node, before its positions are smoothed.
	const std::vector<Tube> branches = {{{-10, -7, -2}, {0, 0, 0}, 2.0}, {{0, 0, 0}, {10, -6, 3}, 2.0}, {{0, 0, 0}, {1, 9, -2}, 2.0}};
	auto labels = labelSet<unsigned char>({48, 40, 24}, {0.5, 0.5, 0.5}, branches);
	Extraction smoothed = extract(*labels);
	Extraction raw = extract(*labels, [](auto& a) { a.graphSmoothing = 0.0; });
	ASSERT_EQ(smoothed.status, Algorithm::Success);
	ASSERT_EQ(raw.status, Algorithm::Success);
	ASSERT_EQ(nodesOfDegree(*raw.graph, 1), 3);
	ASSERT_EQ(smoothed.graph->numNodes(), raw.graph->numNodes());
	raw.graph->forEachNode(
	    [&](uint64_t id, const Graph::NodeInfo& node, const Graph::Neighborhood& neighbours)
	    {
		    if (neighbours.size() != 1)
			    return;
		    ASSERT_TRUE(smoothed.graph->hasNode(id)) << id;
		    // The heat-kernel step solves for every node iteratively: a terminal node's identity row comes
		    // back within rounding of where it was.
		    EXPECT_LT((smoothed.graph->node(id).position() - node.position()).norm(), 1e-12) << "terminal node " << id;
		    EXPECT_EQ(smoothed.graph->neighborhood(id).size(), 1u) << "terminal node " << id;
	    });
}

TEST(CenterlineGraphExtractionTest, FlatImageGivesAFlatGraphAndRunsReplaceTheirOutput)
{
	auto labels = labelSet<float>({64, 48, 1}, {0.5, 0.5, 1.0}, {{{-12, -3, 0}, {12, 3, 0}, 2.0}, {{0, 0, 0}, {4, 10, 0}, 1.5}});
	CenterlineGraphExtractionAlgorithm algorithm(*labels);
	algorithm.compute();
	ASSERT_EQ(algorithm.status(), Algorithm::Success);
	ASSERT_TRUE(algorithm.skeleton());
	EXPECT_EQ(algorithm.skeleton()->get(0)->descriptor().dimensions().z(), 1);
	auto first = algorithm.takeOutput().extractFirst<Graph>();
	ASSERT_TRUE(first);
	EXPECT_EQ(first->dimension(), Graph::Dimension::TwoD);
	EXPECT_EQ(nodesOfDegree(*first, 3, true), 1);
	first->forEachNode([](uint64_t, const Graph::NodeInfo& node) { EXPECT_EQ(node.position().z(), 0.0); });
	// The output was handed over.
	EXPECT_TRUE(algorithm.takeOutput().isEmpty());

	algorithm.compute();
	auto second = algorithm.takeOutput().extractFirst<Graph>();
	ASSERT_TRUE(second);
	EXPECT_EQ(second->numNodes(), first->numNodes());
}
