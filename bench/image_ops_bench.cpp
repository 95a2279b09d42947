// Costs of the image operations behind the centerline extraction, on a 512³ synthetic vessel tree
// of about 1% foreground: skeletonisation, distance transform, closing, resampling and label bounds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include <Eigen/Geometry>
#include <omp.h>

#include "host/lib/DistanceTransform.h"
#include "host/lib/ImageResamplingAlgorithm.h"
#include "host/lib/LabelStatistics.h"
#include "host/lib/MorphologicalOperationsAlgorithm.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/Skeletonization.h"
#include "host/lib/TypedImage.h"
#include "synthetic/VesselVolume.h"

using namespace Quorvale;

namespace
{
	constexpr double kPi = 3.14159265358979323846;

	/// A branching tree of tubes in a cube of `size` voxels of 1 mm centred on the origin, the same
	/// every run: each branch runs in short straight pieces that bend a little, and splits into two
	/// thinner branches at its end until the radius falls below 1.2 voxels.
	std::vector<SyntheticVolumes::Tube> treeTubes(int size)
	{
		std::vector<SyntheticVolumes::Tube> tubes;
		std::mt19937_64 random(512);
		std::uniform_real_distribution<double> bend(-0.25, 0.25);
		std::uniform_real_distribution<double> split(25.0 * kPi / 180.0, 50.0 * kPi / 180.0);
		std::uniform_real_distribution<double> spin(0.0, 2.0 * kPi);
		struct Branch
		{
			Eigen::Vector3d from;
			Eigen::Vector3d direction;
			double radius;
			double length;
		};
		const double half = size / 2.0 - 4.0;
		std::deque<Branch> pending{{Eigen::Vector3d(0, 0, -half), Eigen::Vector3d::UnitZ(), size / 34.0, size * 0.32}};
		while (!pending.empty())
		{
			Branch b = pending.front();
			pending.pop_front();
			Eigen::Vector3d p = b.from;
			Eigen::Vector3d d = b.direction.normalized();
			for (double done = 0.0; done < b.length; done += 16.0)
			{
				Eigen::Vector3d next = p + 16.0 * d;
				next = next.cwiseMax(Eigen::Vector3d::Constant(-half)).cwiseMin(Eigen::Vector3d::Constant(half));
				tubes.push_back({p, next, b.radius});
				p = next;
				d = (d + Eigen::Vector3d(bend(random), bend(random), bend(random))).normalized();
			}
			if (b.radius * 0.8 < 1.2)
				continue;
			const Eigen::Vector3d normal = d.unitOrthogonal();
			for (int child = 0; child < 2; ++child)
			{
				const Eigen::Vector3d axis = Eigen::AngleAxisd(spin(random) + child * kPi, d) * normal;
				const Eigen::Vector3d direction = Eigen::AngleAxisd(split(random), axis) * d;
				pending.push_back({p, direction, b.radius * 0.8, b.length * 0.8});
			}
		}
		return tubes;
	}

	/// The tree painted into a label volume of `size`³ voxels of 1 mm; made once per size.
	const SharedImageSet& tree(int size)
	{
		static std::map<int, std::unique_ptr<SharedImageSet>> volumes;
		auto& volume = volumes[size];
		if (!volume)
			volume = SyntheticVolumes::createVesselVolume(Eigen::Vector3i::Constant(size), Eigen::Vector3d::Ones(),
			                                              Eigen::Matrix4d::Identity(), treeTubes(size));
		return *volume;
	}

	const TypedImage<unsigned char>& labels(int size) { return dynamic_cast<const TypedImage<unsigned char>&>(*tree(size).mem(0)); }

	double foreground(const TypedImage<unsigned char>& image)
	{
		const std::size_t size = image.descriptor().size();
		const auto background = static_cast<std::size_t>(std::count(image.pointer(), image.pointer() + size, 0));
		return static_cast<double>(size - background) / static_cast<double>(size);
	}

	void BM_Skeletonization(benchmark::State& state)
	{
		const auto& source = labels(static_cast<int>(state.range(0)));
		std::size_t skeleton = 0;
		for (auto _ : state)
		{
			state.PauseTiming();
			auto mask = source.clone();
			state.ResumeTiming();
			Skeletonization::thin(*mask);
			state.PauseTiming();
			skeleton = std::count(mask->pointer(), mask->pointer() + mask->descriptor().size(), 1);
			mask.reset();
			state.ResumeTiming();
		}
		state.counters["foreground"] = foreground(source);
		state.counters["skeletonVoxels"] = static_cast<double>(skeleton);
		state.counters["threads"] = omp_get_max_threads();
	}

	void BM_DistanceTransform(benchmark::State& state)
	{
		const auto& source = labels(static_cast<int>(state.range(0)));
		for (auto _ : state)
			benchmark::DoNotOptimize(DistanceTransform::computeChamfer(source, true, true, 0));
		state.counters["foreground"] = foreground(source);
		state.counters["threads"] = omp_get_max_threads();
	}

	/// The worst case for the run splitting of the transform: a ball filling half the volume.
	void BM_DistanceTransformDenseBall(benchmark::State& state)
	{
		const int size = static_cast<int>(state.range(0));
		auto ball = TypedImage<unsigned char>::create(Eigen::Vector3i::Constant(size));
		const double r = size * 0.49;
		for (int z = 0; z < size; ++z)
			for (int y = 0; y < size; ++y)
				for (int x = 0; x < size; ++x)
					ball->at(x, y, z) = (Eigen::Vector3d(x, y, z) - Eigen::Vector3d::Constant((size - 1) / 2.0)).norm() <= r ? 1 : 0;
		for (auto _ : state)
			benchmark::DoNotOptimize(DistanceTransform::computeChamfer(*ball, true, true, 0));
		state.counters["foreground"] = foreground(*ball);
		state.counters["threads"] = omp_get_max_threads();
	}

	void BM_Closing(benchmark::State& state)
	{
		const SharedImageSet& source = tree(static_cast<int>(state.range(0)));
		for (auto _ : state)
		{
			MorphologicalOperationsAlgorithm closing(const_cast<SharedImageSet&>(source));
			closing.setOpMode(MorphologicalOperationsAlgorithm::Closing);
			closing.setOpSize(static_cast<int>(state.range(1)));
			closing.compute();
			benchmark::DoNotOptimize(closing.takeOutput());
		}
		state.counters["threads"] = omp_get_max_threads();
	}

	void BM_ResampleToHalf(benchmark::State& state)
	{
		const SharedImageSet& source = tree(static_cast<int>(state.range(0)));
		const ImageDescriptorWorld target(ImageDescriptor(ImageDescriptor::UnsignedChar,
		                                                  Eigen::Vector3i::Constant(static_cast<int>(state.range(0)) / 2), 1,
		                                                  Eigen::Vector3d::Constant(2.0)));
		for (auto _ : state)
		{
			ImageResamplingAlgorithm resampling(source, {target});
			resampling.setReductionMode(ImageResamplingAlgorithm::Maximum);
			resampling.compute();
			benchmark::DoNotOptimize(resampling.takeOutput());
		}
		state.counters["threads"] = omp_get_max_threads();
	}

	void BM_LabelBounds(benchmark::State& state)
	{
		const auto& source = labels(static_cast<int>(state.range(0)));
		for (auto _ : state)
			benchmark::DoNotOptimize(LabelStatistics::computeBounds(source));
	}
}

BENCHMARK(BM_Skeletonization)->Arg(512)->Arg(256)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_DistanceTransform)->Arg(512)->Arg(256)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_DistanceTransformDenseBall)->Arg(512)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Closing)->Args({256, 2})->Args({512, 2})->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ResampleToHalf)->Arg(512)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_LabelBounds)->Arg(512)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

BENCHMARK_MAIN();
