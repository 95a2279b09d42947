// Throughput of the image-expression kernels, which are bound by memory bandwidth: the set
// assignment and the in-place gradient transform on a 256³ three-channel float image, and the
// maximum reduction of a 512³ unsigned 8-bit image. Each is reported in bytes per second next to
// an 8-thread memcpy of the same number of bytes, the practical limit of this machine.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "src/imaging/GradientTransform.h"
#include "src/imaging/ImageAssignment.h"
#include "src/imaging/MaxReduction.h"

using namespace Quorvale;

namespace
{
	const Eigen::Vector3i kVolume(256, 256, 256);
	const Eigen::Vector3i kLabelVolume(512, 512, 512);

	std::unique_ptr<SharedImage> floatVolume(float value)
	{
		auto memory = TypedImage<float>::create(kVolume, 3);
		float* data = memory->pointer();
		const std::size_t count = memory->byteSize() / sizeof(float);
		for (std::size_t i = 0; i < count; ++i)
			data[i] = value + static_cast<float>(i % 97);
		return std::make_unique<SharedImage>(std::move(memory));
	}

	ImageMath::ArrayImage arrayOf(SharedImage& image)
	{
		return ImageMath::ArrayImage(image, false, ImageMath::internal::ArrayGl::nearestFilter, ImageMath::internal::ArrayGl::clampToEdge);
	}

	/// Copies `bytes` bytes with 8 threads, each a contiguous eighth.
	void BM_Memcpy8Threads(benchmark::State& state)
	{
		const auto bytes = static_cast<std::size_t>(state.range(0));
		std::vector<unsigned char> from(bytes, 1), to(bytes, 0);
		constexpr int threads = 8;
		for (auto _ : state)
		{
			std::vector<std::thread> workers;
			for (int t = 0; t < threads; ++t)
				workers.emplace_back(
				    [&, t]
				    {
					    const std::size_t begin = bytes * static_cast<std::size_t>(t) / threads;
					    const std::size_t end = bytes * static_cast<std::size_t>(t + 1) / threads;
					    std::memcpy(to.data() + begin, from.data() + begin, end - begin);
				    });
			for (std::thread& worker : workers)
				worker.join();
			benchmark::DoNotOptimize(to.data());
		}
		state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
	}

	void BM_SetAssignment(benchmark::State& state)
	{
		SharedImageSet source(floatVolume(1.0f)), destination(floatVolume(0.0f));
		source.mem(0)->setStorageMapping(0.5, 2.0);
		ImageMath::ArraySet to(destination, false, 9728, 33071), from(source, false, 9728, 33071);
		for (auto _ : state)
			ImageMath::assign(to, from);
		state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(destination.mem(0)->byteSize()));
	}

	void BM_GradientTransform(benchmark::State& state)
	{
		auto image = floatVolume(1.0f);
		// A rotation about z: in place, each pass keeps the values bounded.
		Eigen::Matrix3d m;
		m << 0, -1, 0, 1, 0, 0, 0, 0, 1;
		const auto expression = ImageMath::makeGradientTransform(arrayOf(*image), m);
		ImageMath::ArrayImage target = arrayOf(*image);
		for (auto _ : state)
			ImageMath::evaluateGradientTransform(target, expression);
		state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(image->mem()->byteSize()));
	}

	void BM_MaxReduction(benchmark::State& state)
	{
		auto memory = TypedImage<unsigned char>::create(kLabelVolume, 1);
		memory->at(300, 200, 400) = 1;
		SharedImage image(std::move(memory));
		ImageMath::MaxReduction<ImageMath::ArrayImage> reduction(arrayOf(image), {}, Selection());
		Eigen::VectorXd result;
		for (auto _ : state)
		{
			reduction.reduce(result);
			benchmark::DoNotOptimize(result.data());
		}
		if (result.size() != 1 || result[0] != 1.0)
			state.SkipWithError("wrong maximum");
		state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(image.mem()->byteSize()));
	}
}

BENCHMARK(BM_Memcpy8Threads)->Arg(256 * 256 * 256 * 3 * 4)->Arg(512 * 512 * 512)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SetAssignment)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GradientTransform)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MaxReduction)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
