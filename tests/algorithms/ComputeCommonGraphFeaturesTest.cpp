#include "src/algorithms/ComputeCommonGraphFeaturesAlgorithm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <Eigen/Geometry>
#include <omp.h>

#include "host/core/Log.h"
#include "host/lib/AlgorithmRunner.h"
#include "host/lib/DataList.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "src/algorithms/GraphFeatureUtils.h"
#include "synthetic/VesselVolume.h"
#include "tests/common/FixedThreadCount.h"

using namespace Quorvale;

namespace
{
	using Mode = ComputeCommonGraphFeaturesAlgorithm::Mode;
	constexpr double kPi = 3.14159265358979323846;

	/// A chain of `edges` equal edges from `from` to `to` (graph coordinates), nodes 1 … edges + 1.
	Graph chain(const Eigen::Vector3d& from, const Eigen::Vector3d& to, int edges, Graph::Type type = Graph::Type::Undirected)
	{
		Graph graph(type);
		uint64_t previous = graph.addNode(Graph::NodeInfo(from, {}));
		for (int i = 1; i <= edges; ++i)
		{
			const uint64_t node = graph.addNode(Graph::NodeInfo(from + (to - from) * i / edges, {}));
			graph.addEdge(previous, node, {});
			previous = node;
		}
		return graph;
	}

	/// Every edge as (from, to, feature values), in visit order.
	std::vector<std::tuple<uint64_t, uint64_t, std::vector<double>>> edgeTable(const Graph& graph)
	{
		std::vector<std::tuple<uint64_t, uint64_t, std::vector<double>>> table;
		graph.forEachEdge([&table](const Graph::EdgeInfo& edge, uint64_t a, uint64_t b) { table.emplace_back(a, b, edge.features()); });
		return table;
	}

	std::vector<double> edgeFeature(const Graph& graph, const std::string& name)
	{
		const auto k = static_cast<size_t>(graph.getEdgeFeatureIdx(name).value());
		std::vector<double> values;
		graph.forEachEdge([&](const Graph::EdgeInfo& edge, uint64_t, uint64_t) { values.push_back(edge.features()[k]); });
		return values;
	}

	double edgeValue(const Graph& graph, uint64_t a, uint64_t b, const std::string& name)
	{
		return graph.edge(a, b)->features().at(static_cast<size_t>(graph.getEdgeFeatureIdx(name).value()));
	}

	/// A 40 mm cube of tubes' label volume centred on the world origin.
	std::unique_ptr<SharedImageSet> tubeVolume(const std::vector<SyntheticVolumes::Tube>& tubes,
	                                           const Eigen::Vector3d& spacing = {1.0, 1.0, 1.0},
	                                           const Eigen::Matrix4d& matrix = Eigen::Matrix4d::Identity(),
	                                           const std::vector<SyntheticVolumes::Ball>& balls = {})
	{
		const Eigen::Vector3i dimensions = (Eigen::Vector3d::Constant(40.0).cwiseQuotient(spacing)).array().round().cast<int>();
		return SyntheticVolumes::createVesselVolume(dimensions, spacing, matrix, tubes, balls);
	}

	/// A copy of the label image with pixel type `pixelType`, inside voxels holding `inside`.
	std::unique_ptr<SharedImageSet> convertLabels(const SharedImageSet& labels, int pixelType, double inside = 1.0)
	{
		const auto& source = dynamic_cast<const TypedImage<unsigned char>&>(*labels.get()->mem());
		ImageDescriptor descriptor = source.descriptor();
		descriptor.setPixelType(pixelType);
		std::shared_ptr<MemImage> mem = MemImage::create(descriptor);
		const auto copy = [&](auto* typed)
		{
			if (!typed)
				return;
			using T = std::remove_reference_t<decltype(*typed->pointer())>;
			for (size_t i = 0; i < descriptor.size(); ++i)
				typed->pointer()[i] = source.pointer()[i] ? static_cast<T>(inside) : T(0);
		};
		copy(dynamic_cast<TypedImage<char>*>(mem.get()));
		copy(dynamic_cast<TypedImage<unsigned char>*>(mem.get()));
		copy(dynamic_cast<TypedImage<short>*>(mem.get()));
		copy(dynamic_cast<TypedImage<unsigned short>*>(mem.get()));
		copy(dynamic_cast<TypedImage<int>*>(mem.get()));
		copy(dynamic_cast<TypedImage<unsigned int>*>(mem.get()));
		copy(dynamic_cast<TypedImage<float>*>(mem.get()));
		copy(dynamic_cast<TypedImage<double>*>(mem.get()));
		auto image = std::make_unique<SharedImage>(mem);
		image->setMatrixToWorld(labels.get()->matrixToWorld());
		return std::make_unique<SharedImageSet>(std::move(image));
	}

	/// Runs the algorithm in `mode` and returns its status.
	int run(Graph& graph, SharedImageSet* labels, Mode mode)
	{
		ComputeCommonGraphFeaturesAlgorithm algorithm(graph, labels);
		algorithm.mode = mode;
		const int status = AlgorithmRunner::run(algorithm);
		EXPECT_TRUE(algorithm.takeOutput().isEmpty());
		return status;
	}

}

TEST(ComputeCommonGraphFeaturesTest, ParametersFollowTheMode)
{
	Graph graph;
	auto labels = tubeVolume({});
	auto shown = [](const ParameterBase& p) { return p.attribute("hidden").value_or("false") == "false"; };

	ComputeCommonGraphFeaturesAlgorithm withLabel(graph, labels.get());
	std::vector<std::string> names;
	for (const ParameterBase* p : withLabel.parameters())
		names.push_back(p->name());
	EXPECT_EQ(names, (std::vector<std::string>{"mode", "averageZeroEdges", "threshold", "slidingAverage", "clampEdges"}));
	EXPECT_EQ(withLabel.mode.value(), Mode::Diameter);
	EXPECT_EQ(withLabel.mode.attribute("values"), "EdgeLength, Diameter, CrossSection, Degree, VesselDiameter");
	EXPECT_EQ(withLabel.mode.paramType(), PropertiesDetail::ParamType::Enumeration);
	EXPECT_EQ(withLabel.threshold.value(), 0.5);
	EXPECT_EQ(withLabel.slidingAverage.value(), std::optional<int>(3));
	EXPECT_TRUE(withLabel.clampEdges.value());
	EXPECT_FALSE(withLabel.averageZeroEdges.value());
	EXPECT_TRUE(shown(withLabel.averageZeroEdges));
	EXPECT_TRUE(shown(withLabel.threshold));
	EXPECT_FALSE(shown(withLabel.slidingAverage));
	EXPECT_FALSE(shown(withLabel.clampEdges));

	ComputeCommonGraphFeaturesAlgorithm without(graph, nullptr);
	EXPECT_EQ(without.mode.value(), Mode::EdgeLength);
	EXPECT_FALSE(shown(without.averageZeroEdges));
	EXPECT_TRUE(shown(without.threshold));
	EXPECT_FALSE(shown(without.slidingAverage));
	EXPECT_FALSE(shown(without.clampEdges));

	without.mode = Mode::VesselDiameter;
	EXPECT_TRUE(shown(without.averageZeroEdges));
	EXPECT_TRUE(shown(without.slidingAverage));
	EXPECT_TRUE(shown(without.clampEdges));
	without.mode = Mode::Diameter;
	EXPECT_TRUE(shown(without.averageZeroEdges));
	EXPECT_FALSE(shown(without.slidingAverage));
	without.mode = Mode::Degree;
	EXPECT_FALSE(shown(without.averageZeroEdges));
	EXPECT_TRUE(shown(without.threshold));

	// A stored configuration sets the mode by its number.
	Properties stored;
	stored.setParam("mode", 4);
	without.configure(stored);
	EXPECT_EQ(without.mode.value(), Mode::VesselDiameter);
	EXPECT_TRUE(shown(without.clampEdges));
}

TEST(ComputeCommonGraphFeaturesTest, AcceptsOneGraphWithAtMostOneImageSet)
{
	Graph graph;
	Graph other;
	auto labels = tubeVolume({});
	auto second = tubeVolume({});
	Data unrelated("mesh");
	EXPECT_TRUE(ComputeCommonGraphFeaturesAlgorithm::createCompatible(DataList({&graph}), nullptr));
	EXPECT_TRUE(ComputeCommonGraphFeaturesAlgorithm::createCompatible(DataList({labels.get(), &graph}), nullptr));
	EXPECT_FALSE(ComputeCommonGraphFeaturesAlgorithm::createCompatible(DataList(), nullptr));
	EXPECT_FALSE(ComputeCommonGraphFeaturesAlgorithm::createCompatible(DataList({labels.get()}), nullptr));
	EXPECT_FALSE(ComputeCommonGraphFeaturesAlgorithm::createCompatible(DataList({&graph, &other}), nullptr));
	EXPECT_FALSE(ComputeCommonGraphFeaturesAlgorithm::createCompatible(DataList({&graph, labels.get(), second.get()}), nullptr));
	EXPECT_FALSE(ComputeCommonGraphFeaturesAlgorithm::createCompatible(DataList({&graph, &unrelated}), nullptr));

	Algorithm* created = nullptr;
	ASSERT_TRUE(ComputeCommonGraphFeaturesAlgorithm::createCompatible(DataList({&graph, labels.get()}), &created));
	std::unique_ptr<Algorithm> owned(created);
	EXPECT_EQ(dynamic_cast<ComputeCommonGraphFeaturesAlgorithm&>(*owned).mode.value(), Mode::Diameter);
}

TEST(ComputeCommonGraphFeaturesTest, LengthsDegreesAndCrossSectionsNeedNoImage)
{
	// Lengths are in graph coordinates, whatever the graph's placement; coinciding nodes give 0.
	Graph graph;
	graph.addNode(Graph::NodeInfo({0.0, 0.0, 0.0}, {}));
	graph.addNode(Graph::NodeInfo({3.0, 4.0, 0.0}, {}));
	graph.addNode(Graph::NodeInfo({3.0, 4.0, 12.0}, {}));
	graph.addNode(Graph::NodeInfo({3.0, 4.0, 12.0}, {}));
	graph.addEdge(1, 2, {});
	graph.addEdge(2, 3, {});
	graph.addEdge(3, 4, {});
	graph.setMatrixToWorld((Eigen::Affine3d(Eigen::Scaling(2.0))).matrix());
	EXPECT_EQ(run(graph, nullptr, Mode::EdgeLength), Algorithm::Success);
	EXPECT_EQ(edgeFeature(graph, "length"), (std::vector<double>{5.0, 12.0, 0.0}));
	EXPECT_EQ(ComputeCommonGraphFeaturesAlgorithm::computeEdgeLengths(graph), *graph.getEdgeFeatureIdx("length"));

	// Degree counts neighbour entries: a path gives 1, 2, 1; a directed edge counts at both ends.
	Graph path = chain({0, 0, 0}, {2, 0, 0}, 2);
	EXPECT_EQ(run(path, nullptr, Mode::Degree), Algorithm::Success);
	const auto degree = static_cast<size_t>(path.getNodeFeatureIdx("degree").value());
	EXPECT_EQ(path.node(1).features()[degree], 1.0);
	EXPECT_EQ(path.node(2).features()[degree], 2.0);
	EXPECT_EQ(path.node(3).features()[degree], 1.0);
	Graph directed = chain({0, 0, 0}, {2, 0, 0}, 2, Graph::Type::Directed);
	directed.addEdge(3, 1, {});
	EXPECT_EQ(run(directed, nullptr, Mode::Degree), Algorithm::Success);
	EXPECT_EQ(directed.node(1).features()[0], 2.0);

	// Existing diameters are used as they are: a diameter of 2 has the cross-section π.
	Graph measured = chain({0, 0, 0}, {2, 0, 0}, 2);
	measured.editEdge(1, 2, [](Graph::EdgeInfo& edge) { edge.features()[0] = 2.0; });
	EXPECT_EQ(run(measured, nullptr, Mode::CrossSection), Algorithm::Success);
	EXPECT_DOUBLE_EQ(edgeValue(measured, 1, 2, "crossSection"), kPi);
	EXPECT_EQ(edgeValue(measured, 3, 2, "crossSection"), 0.0);

	// Without a "diameter" column the static routine refuses before creating anything.
	Graph bare = chain({0, 0, 0}, {1, 0, 0}, 1);
	bare.removeEdgeFeatures(std::vector<std::string>{"diameter"});
	EXPECT_THROW(ComputeCommonGraphFeaturesAlgorithm::computeCrossSections(bare), std::bad_optional_access);
	EXPECT_EQ(bare.numEdgeFeatures(), 0);
}

TEST(ComputeCommonGraphFeaturesTest, MeasuringModesReportMissingOrUnreadableLabels)
{
	const auto unsupported = "Cannot measure diameters in a label image of pixel type 5122: expected unsigned 8-bit (5121), unsigned "
	                         "16-bit (5123) or float (5126) labels.";
	auto labels = tubeVolume({{{-20, 0, 0}, {20, 0, 0}, 4.0}});
	auto signedLabels = convertLabels(*labels, ImageDescriptor::Short);
	SharedImageSet empty("empty");

	struct Case
	{
		Mode mode;
		bool withDiameter;
		SharedImageSet* labels;
		std::string error;
	};
	const std::vector<Case> cases = {
	    {Mode::Diameter, true, nullptr, "Label not set."},
	    {Mode::VesselDiameter, true, nullptr, "Label not set."},
	    {Mode::CrossSection, false, nullptr, "Label not set."},
	    {Mode::Diameter, true, &empty, "The label map holds no image."},
	    {Mode::Diameter, true, signedLabels.get(), unsupported},
	    {Mode::VesselDiameter, true, signedLabels.get(), unsupported},
	    // Without a diameter the cross-sections would have had nothing to read.
	    {Mode::CrossSection, false, signedLabels.get(), unsupported},
	    {static_cast<Mode>(7), true, labels.get(),
	     "Unknown mode 7: expected 0 (EdgeLength), 1 (Diameter), 2 (CrossSection), 3 (Degree) or 4 (VesselDiameter)."},
	};
	for (const Case& c : cases)
	{
		SCOPED_TRACE(static_cast<int>(c.mode));
		Graph graph = chain({-5, 0, 0}, {5, 0, 0}, 4);
		graph.editEdge(1, 2, [](Graph::EdgeInfo& edge) { edge.features()[0] = 1.5; });
		if (!c.withDiameter)
			graph.removeEdgeFeatures(std::vector<std::string>{"diameter"});
		const auto before = edgeTable(graph);
		const int featureCount = graph.numEdgeFeatures();

		Log::ScopedCapture log;
		EXPECT_EQ(run(graph, c.labels, c.mode), Algorithm::InvalidInput);
		EXPECT_EQ(log->messages(Log::Warning), std::vector<std::string>{c.error});
		EXPECT_EQ(log->records().at(0).category, "");
		EXPECT_EQ(edgeTable(graph), before);
		EXPECT_EQ(graph.numEdgeFeatures(), featureCount);
	}

	// With a readable label map, a graph without diameters has them measured first.
	Graph fresh = chain({-10, 0, 0}, {10, 0, 0}, 4);
	fresh.removeEdgeFeatures(std::vector<std::string>{"diameter"});
	EXPECT_EQ(run(fresh, labels.get(), Mode::CrossSection), Algorithm::Success);
	for (const auto& [a, b, features] : edgeTable(fresh))
	{
		const double d = edgeValue(fresh, a, b, "diameter");
		EXPECT_NEAR(d, 8.0, 1.5);
		EXPECT_DOUBLE_EQ(edgeValue(fresh, a, b, "crossSection"), kPi * d * d / 4.0);
	}

	// The static routines answer -1 and leave the graph alone.
	Graph graph = chain({-5, 0, 0}, {5, 0, 0}, 4);
	graph.removeEdgeFeatures(std::vector<std::string>{"diameter"});
	EXPECT_EQ(ComputeCommonGraphFeaturesAlgorithm::computeDiameters(graph, *signedLabels->get(), true, 0.5), -1);
	EXPECT_EQ(ComputeCommonGraphFeaturesAlgorithm::computeVesselDiameters(graph, *signedLabels->get(), true, 3, true, 0.5), -1);
	EXPECT_EQ(graph.numEdgeFeatures(), 0);
}

TEST(ComputeCommonGraphFeaturesTest, EveryPixelTypeIsMeasuredOrRefused)
{
	auto labels = tubeVolume({{{-20, 0, 0}, {20, 0, 0}, 4.0}});
	Graph reference = chain({-10, 0, 0}, {10, 0, 0}, 5);
	ASSERT_EQ(run(reference, labels.get(), Mode::Diameter), Algorithm::Success);
	const std::vector<double> expected = edgeFeature(reference, "diameter");
	for (double d : expected)
		EXPECT_GT(d, 6.0);

	const std::vector<int> supported = {ImageDescriptor::UnsignedChar, ImageDescriptor::UnsignedShort, ImageDescriptor::Float};
	const std::vector<int> refused = {ImageDescriptor::Char,        ImageDescriptor::Short,  ImageDescriptor::Int,
	                                  ImageDescriptor::UnsignedInt, ImageDescriptor::Double, ImageDescriptor::HalfFloat,
	                                  ImageDescriptor::Bytes2,      ImageDescriptor::Bytes3, ImageDescriptor::Bytes4};
	for (int pixelType : supported)
	{
		SCOPED_TRACE(pixelType);
		// Values well above 1 must not wrap or saturate into the background.
		auto converted = convertLabels(*labels, pixelType, pixelType == ImageDescriptor::UnsignedChar ? 200.0 : 60000.0);
		for (Mode mode : {Mode::Diameter, Mode::VesselDiameter})
		{
			Graph graph = chain({-10, 0, 0}, {10, 0, 0}, 5);
			Log::ScopedCapture log;
			EXPECT_EQ(run(graph, converted.get(), mode), Algorithm::Success);
			EXPECT_TRUE(log->messages(Log::Warning).empty());
			if (mode == Mode::Diameter)
			{
				EXPECT_EQ(edgeFeature(graph, "diameter"), expected);
			}
		}
	}
	for (int pixelType : refused)
	{
		SCOPED_TRACE(pixelType);
		auto converted = convertLabels(*labels, pixelType);
		for (Mode mode : {Mode::Diameter, Mode::VesselDiameter})
		{
			Graph graph = chain({-10, 0, 0}, {10, 0, 0}, 5);
			Log::ScopedCapture log;
			EXPECT_EQ(run(graph, converted.get(), mode), Algorithm::InvalidInput);
			EXPECT_EQ(log->messages(Log::Error),
			          std::vector<std::string>{"Cannot measure diameters in a label image of pixel type " + std::to_string(pixelType) +
			                                   ": expected unsigned 8-bit (5121), unsigned 16-bit (5123) or float (5126) labels."});
			EXPECT_EQ(edgeFeature(graph, "diameter"), std::vector<double>(5, 0.0));
		}
	}
}

TEST(ComputeCommonGraphFeaturesTest, DiametersOfTubesMatchTheirRadius)
{
	// Tubes of known radius in several directions to the voxel grid, isotropic and anisotropic
	// voxels, with the image and the graph each placed by its own matrix. The boundary of a
	// voxelised tube lies up to about 0.7 of the coarsest spacing from the true surface, so the
	// circle method, which finds that boundary on both sides, is within 1.5 spacings of the true
	// diameter. The
	// ray method keeps the last step (of the smallest spacing s) inside on each ray, so it reads
	// about s below the truth, give or take the same boundary error.
	const Eigen::Matrix4d imageMatrix = (Eigen::Translation3d(1.3, -2.1, 0.7) * Eigen::AngleAxisd(0.5, Eigen::Vector3d::UnitZ())).matrix();
	const Eigen::Matrix4d graphMatrix = (Eigen::Translation3d(-0.4, 0.9, 2.0) * Eigen::AngleAxisd(-0.8, Eigen::Vector3d::UnitX())).matrix();
	const Eigen::Matrix4d worldToGraph = graphMatrix.inverse();
	auto toGraph = [&](const Eigen::Vector3d& world) -> Eigen::Vector3d { return (worldToGraph * world.homogeneous()).head<3>(); };
	const std::vector<Eigen::Vector3d> spacings = {{1.0, 1.0, 1.0}, {0.5, 0.5, 1.5}, {0.7, 1.3, 1.0}};
	// Directions in image coordinates, so that some run along the voxel grid.
	const std::vector<Eigen::Vector3d> directions = {{0, 0, 1}, {1, 0, 0}, {1, 1, 0}, {1, 2, 3}, {0.3, 1.0, 0.2}};
	for (const Eigen::Vector3d& spacing : spacings)
		for (double radius : {1.5, 3.0, 5.5})
			for (const Eigen::Vector3d& direction : directions)
			{
				SCOPED_TRACE(::testing::Message()
				             << "spacing " << spacing.transpose() << ", radius " << radius << ", direction " << direction.transpose());
				const Eigen::Vector3d centre = (imageMatrix * Eigen::Vector4d(0.2, -0.3, 0.1, 1.0)).head<3>();
				const Eigen::Vector3d axis = imageMatrix.topLeftCorner<3, 3>() * direction.normalized();
				auto labels = tubeVolume({}, spacing, imageMatrix);
				SyntheticVolumes::paintTube(*labels->get(), {centre - 19.0 * axis, centre + 19.0 * axis, radius});
				const double coarsest = spacing.maxCoeff();
				const double step = spacing.minCoeff();
				const double truth = 2.0 * radius;

				for (Mode mode : {Mode::Diameter, Mode::VesselDiameter})
				{
					Graph graph = chain(toGraph(centre - 12.0 * axis), toGraph(centre + 12.0 * axis), 12);
					graph.setMatrixToWorld(graphMatrix);
					ComputeCommonGraphFeaturesAlgorithm algorithm(graph, labels.get());
					algorithm.mode = mode;
					algorithm.clampEdges = false;
					algorithm.slidingAverage = std::nullopt;
					ASSERT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
					const double expected = mode == Mode::Diameter ? truth : truth - step;
					double sum = 0.0;
					for (double measured : edgeFeature(graph, "diameter"))
					{
						sum += measured;
						EXPECT_NEAR(measured, expected, 1.5 * coarsest);
					}
					// The circles stop at the narrowest part of the voxelised boundary and are biased low
					// by it on every edge alike; the rays average over the boundary, so their mean along
					// the tube is closer to what they aim at.
					if (mode == Mode::VesselDiameter)
					{
						EXPECT_NEAR(sum / 12.0, expected, coarsest);
					}
				}
			}
}

TEST(ComputeCommonGraphFeaturesTest, BoundariesAndDegenerateEdges)
{
	// A float label at exactly the threshold is background: an edge surrounded by it measures 0.
	auto labels = tubeVolume({{{-20, 0, 0}, {20, 0, 0}, 5.0}});
	auto atThreshold = convertLabels(*labels, ImageDescriptor::Float, 0.5);
	Graph graph = chain({-10, 0, 0}, {10, 0, 0}, 4);
	EXPECT_EQ(ComputeCommonGraphFeaturesAlgorithm::computeDiameters(graph, *atThreshold->get(), false, 0.5), 0);
	EXPECT_EQ(edgeFeature(graph, "diameter"), std::vector<double>(4, 0.0));
	EXPECT_EQ(ComputeCommonGraphFeaturesAlgorithm::computeVesselDiameters(graph, *atThreshold->get(), false, {}, false, 0.5), 0);
	EXPECT_EQ(edgeFeature(graph, "diameter"), std::vector<double>(4, 0.0));
	ComputeCommonGraphFeaturesAlgorithm::computeDiameters(graph, *atThreshold->get(), false, 0.49);
	for (double d : edgeFeature(graph, "diameter"))
		EXPECT_NEAR(d, 10.0, 1.5);

	// Rescaled labels are compared in their original values.
	auto rescaled = convertLabels(*labels, ImageDescriptor::UnsignedChar, 1.0);
	rescaled->get()->mem()->setStorageMapping(0.5, 0.0);
	ComputeCommonGraphFeaturesAlgorithm::computeDiameters(graph, *rescaled->get(), false, 0.5);
	EXPECT_EQ(edgeFeature(graph, "diameter"), std::vector<double>(4, 0.0));
	ComputeCommonGraphFeaturesAlgorithm::computeDiameters(graph, *rescaled->get(), false, 0.4);
	EXPECT_NEAR(edgeFeature(graph, "diameter").front(), 10.0, 1.5);

	// Coinciding nodes span no cross-section plane: such an edge is not measured (0) even deep in
	// the vessel, where measuring "around" a single point would report the whole image.
	Graph point;
	point.addNode(Graph::NodeInfo({0.0, 0.0, 0.0}, {}));
	point.addNode(Graph::NodeInfo({0.0, 0.0, 0.0}, {}));
	point.addEdge(1, 2, {});
	for (Mode mode : {Mode::Diameter, Mode::VesselDiameter})
	{
		ASSERT_EQ(run(point, labels.get(), mode), Algorithm::Success);
		EXPECT_EQ(edgeValue(point, 1, 2, "diameter"), 0.0);
	}

	// Edges far outside the image measure nothing.
	Graph outside = chain({-10, 80, 0}, {10, 80, 0}, 4);
	for (Mode mode : {Mode::Diameter, Mode::VesselDiameter})
	{
		ASSERT_EQ(run(outside, labels.get(), mode), Algorithm::Success);
		EXPECT_EQ(edgeFeature(outside, "diameter"), std::vector<double>(4, 0.0));
	}

	// A vessel filling the whole image ends where the circles leave the image: the last circle of
	// whole millimetres that fits into the 40 mm image has radius 19.
	auto full = tubeVolume({{{-20, 0, 0}, {20, 0, 0}, 60.0}});
	Graph inside = chain({-1, 0, 0}, {1, 0, 0}, 1);
	ASSERT_EQ(run(inside, full.get(), Mode::Diameter), Algorithm::Success);
	EXPECT_EQ(edgeValue(inside, 1, 2, "diameter"), 38.0);
}

TEST(ComputeCommonGraphFeaturesTest, ZeroEdgesTakeTheMeanOfTheirNearestMeasuredEdges)
{
	// Two tubes of diameter 6 and 10 meet at the origin; the third branch of the star leaves the
	// vessels, so its edges measure 0. With averaging, its first edge takes the mean of the two
	// measured edges at the centre, and the edge after it sees that value.
	auto labels = tubeVolume({{{-20, 0, 0}, {0, 0, 0}, 3.0}, {{0, 0, 0}, {0, 20, 0}, 5.0}});
	Graph graph;
	const uint64_t centre = graph.addNode(Graph::NodeInfo({0, 0, 0}, {}));
	const uint64_t left = graph.addNode(Graph::NodeInfo({-14, 0, 0}, {}));
	const uint64_t up = graph.addNode(Graph::NodeInfo({0, 14, 0}, {}));
	const uint64_t out1 = graph.addNode(Graph::NodeInfo({0, -2, 12}, {}));
	const uint64_t out2 = graph.addNode(Graph::NodeInfo({0, -2, 18}, {}));
	graph.addEdge(centre, left, {});
	graph.addEdge(centre, up, {});
	graph.addEdge(centre, out1, {});
	graph.addEdge(out1, out2, {});
	// A separate pair far from every vessel: nothing to average from.
	const uint64_t lone1 = graph.addNode(Graph::NodeInfo({15, -15, 15}, {}));
	const uint64_t lone2 = graph.addNode(Graph::NodeInfo({16, -15, 15}, {}));
	graph.addEdge(lone1, lone2, {});

	Graph plain = graph;
	ASSERT_EQ(ComputeCommonGraphFeaturesAlgorithm::computeDiameters(plain, *labels->get(), false, 0.5), 0);
	const double d1 = edgeValue(plain, centre, left, "diameter");
	const double d2 = edgeValue(plain, centre, up, "diameter");
	EXPECT_NEAR(d1, 6.0, 1.5);
	EXPECT_NEAR(d2, 10.0, 1.5);
	EXPECT_EQ(edgeValue(plain, centre, out1, "diameter"), 0.0);
	EXPECT_EQ(edgeValue(plain, out1, out2, "diameter"), 0.0);

	GraphUtils::computeDiameters(graph, *labels->get(), true, 0.5);
	EXPECT_EQ(edgeValue(graph, centre, left, "diameter"), d1);
	EXPECT_EQ(edgeValue(graph, centre, up, "diameter"), d2);
	EXPECT_DOUBLE_EQ(edgeValue(graph, centre, out1, "diameter"), (d1 + d2) / 2.0);
	EXPECT_DOUBLE_EQ(edgeValue(graph, out1, out2, "diameter"), (d1 + d2) / 2.0);
	EXPECT_EQ(edgeValue(graph, lone1, lone2, "diameter"), 0.0);

	// On a directed graph the arriving edges at a node count with their own values.
	Graph directed(Graph::Type::Directed);
	for (const Eigen::Vector3d& p : {Eigen::Vector3d(-14, 0, 0), Eigen::Vector3d(0, 0, 0), Eigen::Vector3d(0, -2, 12)})
		directed.addNode(Graph::NodeInfo(p, {}));
	directed.addEdge(1, 2, {});
	directed.addEdge(2, 3, {});
	ComputeCommonGraphFeaturesAlgorithm::computeDiameters(directed, *labels->get(), true, 0.5);
	EXPECT_GT(edgeValue(directed, 1, 2, "diameter"), 4.0);
	EXPECT_EQ(edgeValue(directed, 2, 3, "diameter"), edgeValue(directed, 1, 2, "diameter"));
}

TEST(ComputeCommonGraphFeaturesTest, VesselDiametersResistBulgesAndSideBranches)
{
	// A tube of diameter 8 with a bulge (a ball of diameter 12) and a thin branch leaving it where
	// the midpoint of edge 6–7 lies.
	auto labels = tubeVolume({{{-20, 0, 0}, {20, 0, 0}, 4.0}, {{-7, 0, 0}, {-7, 0, 20}, 1.0}}, {1.0, 1.0, 1.0}, Eigen::Matrix4d::Identity(),
	                         {{{6, 0, 0}, 6.0}});
	Graph graph = chain({-18, 0, 0}, {18, 0, 0}, 18);

	// Rays alone: the side branch is trimmed away, the bulge is measured.
	Graph raw = graph;
	ASSERT_EQ(ComputeCommonGraphFeaturesAlgorithm::computeVesselDiameters(raw, *labels->get(), false, std::nullopt, false, 0.5), 0);
	EXPECT_NEAR(edgeValue(raw, 6, 7, "diameter"), 8.0, 2.0);
	EXPECT_GT(edgeValue(raw, 12, 13, "diameter"), 10.0);

	// With clamping and smoothing the bulge is held near the vessel's own diameter.
	ComputeCommonGraphFeaturesAlgorithm algorithm(graph, labels.get());
	algorithm.mode = Mode::VesselDiameter;
	ASSERT_EQ(AlgorithmRunner::run(algorithm), Algorithm::Success);
	for (double d : edgeFeature(graph, "diameter"))
		EXPECT_NEAR(d, 8.0, 2.0);
}

TEST(ComputeCommonGraphFeaturesTest, ParallelMeasurementEqualsSerial)
{
	// Many tubes, and a graph of their centrelines plus random edges crossing the volume.
	std::mt19937_64 random(7);
	std::uniform_real_distribution<double> coordinate(-18.0, 18.0);
	std::uniform_real_distribution<double> radius(1.0, 4.0);
	std::vector<SyntheticVolumes::Tube> tubes;
	for (int i = 0; i < 12; ++i)
		tubes.push_back({{coordinate(random), coordinate(random), coordinate(random)},
		                 {coordinate(random), coordinate(random), coordinate(random)},
		                 radius(random)});
	auto labels = tubeVolume(tubes, {0.8, 0.8, 1.2});
	Graph graph;
	for (const SyntheticVolumes::Tube& tube : tubes)
	{
		uint64_t previous = graph.addNode(Graph::NodeInfo(tube.from, {}));
		for (int i = 1; i <= 20; ++i)
		{
			const uint64_t node = graph.addNode(Graph::NodeInfo(tube.from + (tube.to - tube.from) * i / 20.0, {}));
			graph.addEdge(previous, node, {});
			previous = node;
		}
	}
	std::uniform_int_distribution<uint64_t> pick(1, graph.maxNodeIdx());
	for (int i = 0; i < 1500; ++i)
		graph.addEdge(pick(random), pick(random), {});

	for (bool average : {false, true})
		for (Mode mode : {Mode::Diameter, Mode::VesselDiameter})
		{
			Graph serial = graph;
			Graph parallel = graph;
			auto measure = [&](Graph& g, int threads)
			{
				const Testing::FixedThreadCount fixed(threads);
				ComputeCommonGraphFeaturesAlgorithm algorithm(g, labels.get());
				algorithm.mode = mode;
				algorithm.averageZeroEdges = average;
				return AlgorithmRunner::run(algorithm);
			};
			ASSERT_EQ(measure(serial, 1), Algorithm::Success);
			ASSERT_EQ(measure(parallel, 8), Algorithm::Success);
			EXPECT_EQ(edgeTable(parallel), edgeTable(serial));
			int measured = 0;
			for (double d : edgeFeature(serial, "diameter"))
				measured += d > 0.0 ? 1 : 0;
			EXPECT_GT(measured, 200);
		}
}
