// The parallel kernels and the whole extraction give the same bytes whatever team runs them: pinned
// hashes of their outputs on a small synthetic vessel tree, with fixed thread counts and with the team
// the machine leaves free.
#include "host/core/Hashing.h"
#include "host/lib/DistanceTransform.h"
#include "host/lib/GlGradient.h"
#include "host/lib/ImageResampling.h"
#include "host/lib/LabelStatistics.h"
#include "host/lib/Morphology.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/Skeletonization.h"
#include "host/lib/TypedImage.h"
#include "src/graph/Graph.h"
#include "src/imaging/CenterlineGraphExtractionAlgorithm.h"
#include "src/imaging/GradientTransform.h"
#include "src/imaging/GraphToLabelMapAlgorithm.h"
#include "src/imaging/ImageAssignment.h"
#include "src/imaging/MaxReduction.h"
#include "synthetic/Fingerprint.h"
#include "synthetic/GraphGeometry.h"
#include "synthetic/VesselTree.h"
#include "tests/common/FixedThreadCount.h"
#include "tests/common/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace Quorvale;

namespace
{
	using Fingerprints = std::map<std::string, std::uint64_t>;

	const SyntheticVessels::VesselTree& tree()
	{
		static const SyntheticVessels::VesselTree made = []
		{
			SyntheticVessels::TreeSettings settings;
			settings.dimensions = Eigen::Vector3i(72, 64, 56);
			settings.spacing = Eigen::Vector3d(0.5, 0.5, 0.6);
			return SyntheticVessels::createVesselTree(settings);
		}();
		return made;
	}

	const TypedImage<unsigned char>& labels() { return dynamic_cast<const TypedImage<unsigned char>&>(*tree().labels->mem(0)); }

	ImageMath::ArrayImage cpuArray(SharedImage& image)
	{
		ImageMath::ArrayImage array(image, false, ImageMath::internal::ArrayGl::nearestFilter, ImageMath::internal::ArrayGl::clampToEdge);
		array.setDeviceStrategy(ImageMath::CpuOnly);
		return array;
	}

	/// Thinning, distance transform, closing, resampling onto a coarser and onto a turned grid, label bounds.
	void addImageOperations(Fingerprints& prints)
	{
		auto thinned = labels().clone();
		Skeletonization::thin(*thinned);
		prints["thinning"] = SyntheticVessels::fingerprint(*thinned);
		prints["distance transform"] = SyntheticVessels::fingerprint(*DistanceTransform::computeChamfer(labels(), true, true, 0));
		auto closed = labels().clone();
		Morphology::close(*closed, 2, true);
		prints["closing"] = SyntheticVessels::fingerprint(*closed);
		auto coarse = TypedImage<unsigned char>::create(Eigen::Vector3i(38, 33, 29));
		ImageResampling::resampleMaximum(labels(), *coarse, Eigen::Vector4d(2.0, 2.0, 2.0, 1.0).asDiagonal());
		prints["resampling"] = SyntheticVessels::fingerprint(*coarse);
		Eigen::Matrix4d turned = Eigen::Matrix4d::Identity();
		turned.topLeftCorner<3, 3>() = Eigen::AngleAxisd(0.3, Eigen::Vector3d(1, 2, 3).normalized()).toRotationMatrix() * 1.5;
		turned.topRightCorner<3, 1>() = Eigen::Vector3d(10, -5, 4);
		ImageResampling::resampleMaximum(labels(), *coarse, turned);
		prints["turned resampling"] = SyntheticVessels::fingerprint(*coarse);
		std::vector<int> bounds;
		for (const auto& [label, box] : LabelStatistics::computeBounds(labels()))
			bounds.insert(bounds.end(), {static_cast<int>(label), box.min.x(), box.min.y(), box.min.z(), box.max.x(), box.max.y(), box.max.z()});
		prints["label bounds"] = Hashing::murmur64(bounds.data(), bounds.size() * sizeof(int));
	}

	/// The gradient of the distance image turned in place, a set assignment through storage
	/// mappings, and the largest distance.
	void addImageExpressions(Fingerprints& prints)
	{
		SharedImage distance(DistanceTransform::computeChamfer(labels(), false, true, 0));
		auto gradient = std::make_unique<SharedImage>(TypedImage<float>::create(distance.descriptor().dimensions(), 3));
		GlGradient().compute(distance, *gradient);
		ImageMath::ArrayImage target = cpuArray(*gradient);
		Eigen::Matrix3d m;
		m << 0.5, -1.25, 0.0, 1.0, 0.75, 0.25, -0.5, 0.0, 2.0;
		ImageMath::evaluateGradientTransform(target, ImageMath::makeGradientTransform(target, m, ImageMath::CpuOnly));
		prints["gradient transform"] = SyntheticVessels::fingerprint(*gradient->mem());

		SharedImageSet source(std::move(gradient));
		source.mem(0)->setStorageMapping(0.5, 2.0);
		SharedImageSet destination(std::make_unique<SharedImage>(TypedImage<float>::create(distance.descriptor().dimensions(), 3)));
		ImageMath::ArraySet to(destination, false, 9728, 33071), from(source, false, 9728, 33071);
		ImageMath::assign(to, from);
		prints["set assignment"] = SyntheticVessels::fingerprint(*destination.mem(0));

		ImageMath::MaxReduction<ImageMath::ArrayImage> reduction(cpuArray(distance), ImageMath::ImgOps::max{}, Selection());
		Eigen::VectorXd largest;
		reduction.reduce(largest);
		prints["maximum"] = Hashing::murmur64(largest.data(), static_cast<std::size_t>(largest.size()));
	}

	/// The true centreline rasterised on the CPU into the label grid, as capsules and as vessels.
	void addRasterisations(Fingerprints& prints)
	{
		const Graph truth = SyntheticVessels::centerlineGraph(tree());
		for (auto mode : {GraphToLabelMapAlgorithm::Mode::Centerline, GraphToLabelMapAlgorithm::Mode::Vessel})
		{
			GraphToLabelMapAlgorithm algorithm(truth, tree().labels->get(0)->descriptorWorld());
			algorithm.mode = mode;
			algorithm.forceCPU = true;
			algorithm.compute();
			const auto output = algorithm.takeOutput().extractFirst<SharedImageSet>();
			prints[mode == GraphToLabelMapAlgorithm::Mode::Vessel ? "vessel label map" : "centerline label map"] =
			    output ? SyntheticVessels::fingerprint(*output->mem(0)) : 0;
		}
	}

	Fingerprints kernelFingerprints()
	{
		Fingerprints prints;
		addImageOperations(prints);
		addImageExpressions(prints);
		addRasterisations(prints);
		CenterlineGraphExtractionAlgorithm extraction(*tree().labels);
		extraction.compute();
		const auto graph = extraction.takeOutput().extractFirst<Graph>();
		prints["extraction"] = graph ? SyntheticVessels::fingerprint(*graph) : 0;
		return prints;
	}
}

TEST(ParallelOutputsTest, EveryKernelAndTheExtractionWriteTheSameBytesWithAnyTeam)
{
	Fingerprints expected{{"thinning", 0xca8f186a5a3995b2u},
	                      {"distance transform", 0x34cbadb0fcc39807u},
	                      {"closing", 0x4683d3e981c60ef7u},
	                      {"resampling", 0x4c83b85e7ee17e12u},
	                      {"turned resampling", 0xb28fd2293888b503u},
	                      {"label bounds", 0x386ad615bbf800f1u},
	                      {"gradient transform", 0x0513ba5cbfe0bf13u},
	                      {"set assignment", 0xb78ae158792080b1u},
	                      {"maximum", 0x876f4db11abc1b3au},
	                      {"centerline label map", 0x1b5ffdf2305e875cu},
	                      {"vessel label map", 0xc1d1231e0931c631u}};
	for (int threads : {1, 3, 8})
	{
		const Testing::FixedThreadCount fixed(threads);
		Fingerprints prints = kernelFingerprints();
		// The extraction's smoothed positions may differ in their last bits between compilers: it
		// is compared with its single-thread run.
		if (threads == 1)
			expected["extraction"] = prints["extraction"];
		EXPECT_EQ(prints, expected) << threads << " threads";
	}
	EXPECT_NE(expected["extraction"], 0u);
	const Testing::ScopedEnvironment adaptive("OMP_NUM_THREADS", "");
	EXPECT_EQ(kernelFingerprints(), expected) << "the team the machine leaves free";
}
