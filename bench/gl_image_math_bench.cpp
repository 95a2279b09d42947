// The image expressions on the CPU against the GPU path (forced, also on a software renderer):
// the in-place gradient transform of a 256³ three-channel float image and the maximum of a 512³
// unsigned 8-bit image. The GPU path is split into upload (making the GPU copy), pass (the
// shader run, finished) and download (fetching the result into memory). The "FirstRun" entries
// run once, compilation included: run the program with MESA_SHADER_CACHE_DISABLE=true for honest
// first compiles. The counter "compilations" counts the programs compiled during an entry.
#include <benchmark/benchmark.h>

#include <memory>

#include "host/gl/Context.h"
#include "host/gl/ContextGuard.h"
#include "host/gl/Policy.h"
#include "host/gl/Program.h"
#include "host/lib/SharedImage.h"
#include "host/lib/TypedImage.h"
#include "src/imaging/GradientTransform.h"
#include "src/imaging/MaxReduction.h"

using namespace Quorvale;

namespace
{
	const Eigen::Vector3i kVolume(256, 256, 256);
	const Eigen::Vector3i kLabelVolume(512, 512, 512);

	std::unique_ptr<SharedImage> floatVolume()
	{
		auto memory = TypedImage<float>::create(kVolume, 3);
		float* data = memory->pointer();
		const std::size_t count = memory->byteSize() / sizeof(float);
		for (std::size_t i = 0; i < count; ++i)
			data[i] = 1.0f + static_cast<float>(i % 97);
		return std::make_unique<SharedImage>(std::move(memory));
	}

	std::unique_ptr<SharedImage> labelVolume()
	{
		auto memory = TypedImage<unsigned char>::create(kLabelVolume, 1);
		unsigned char* data = memory->pointer();
		for (std::size_t i = 0; i < memory->byteSize(); ++i)
			data[i] = static_cast<unsigned char>((i * 2654435761u) >> 28);
		return std::make_unique<SharedImage>(std::move(memory));
	}

	ImageMath::ArrayImage arrayOf(SharedImage& image, int strategy)
	{
		ImageMath::ArrayImage array(image, false, ImageMath::internal::ArrayGl::nearestFilter, ImageMath::internal::ArrayGl::clampToEdge);
		array.setDeviceStrategy(strategy);
		return array;
	}

	Eigen::Matrix3d rotation()
	{
		Eigen::Matrix3d m;
		m << 0, -1, 0, 1, 0, 0, 0, 0, 1;
		return m;
	}

	/// False (and the benchmark skipped) without a context; otherwise forces the GPU path.
	bool forceGpu(benchmark::State& state)
	{
		GL::setPolicy(GL::Policy::Always);
		if (GL::Context::isAvailable())
			return true;
		state.SkipWithError(("no OpenGL context: " + GL::Context::failure()).c_str());
		return false;
	}

	void finish()
	{
		GL::ContextGuard guard;
		GL::finish();
	}

	void upload(SharedImage& image)
	{
		GL::ContextGuard guard;
		image.gl();
		GL::finish();
	}

	void gradientOnGpu(SharedImage& image)
	{
		ImageMath::ArrayImage array = arrayOf(image, ImageMath::GpuFirst);
		ImageMath::evaluateGradientTransform(array, ImageMath::makeGradientTransform(array, rotation(), ImageMath::GpuFirst));
		if (image.hasMem())
			throw std::runtime_error("the GPU declined the gradient transform");
		finish();
	}

	bool maximumOnGpu(SharedImage& image)
	{
		ImageMath::MaxReduction<ImageMath::ArrayImage> reduction(arrayOf(image, ImageMath::GpuFirst), ImageMath::ImgOps::max{}, Selection());
		Eigen::VectorXd result;
		return reduction.reduceGl(result, nullptr);
	}

	void countCompilations(benchmark::State& state, std::uint64_t before)
	{
		state.counters["compilations"] = static_cast<double>(GL::Program::compilationCount() - before);
	}

	void BM_GradientFirstRunGpu(benchmark::State& state)
	{
		if (!forceGpu(state))
			return;
		auto image = floatVolume();
		const std::uint64_t before = GL::Program::compilationCount();
		for (auto _ : state)
		{
			upload(*image);
			gradientOnGpu(*image);
			benchmark::DoNotOptimize(image->mem()->data());
		}
		countCompilations(state, before);
	}
	BENCHMARK(BM_GradientFirstRunGpu)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

	void BM_MaximumFirstRunGpu(benchmark::State& state)
	{
		if (!forceGpu(state))
			return;
		auto image = labelVolume();
		const std::uint64_t before = GL::Program::compilationCount();
		for (auto _ : state)
		{
			upload(*image);
			benchmark::DoNotOptimize(maximumOnGpu(*image));
		}
		countCompilations(state, before);
	}
	BENCHMARK(BM_MaximumFirstRunGpu)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

	void BM_GradientCpu(benchmark::State& state)
	{
		auto image = floatVolume();
		for (auto _ : state)
		{
			ImageMath::ArrayImage array = arrayOf(*image, ImageMath::CpuOnly);
			ImageMath::evaluateGradientTransform(array, ImageMath::makeGradientTransform(array, rotation(), ImageMath::CpuOnly));
		}
	}
	BENCHMARK(BM_GradientCpu)->Unit(benchmark::kMillisecond)->UseRealTime();

	void BM_GradientUploadGpu(benchmark::State& state)
	{
		if (!forceGpu(state))
			return;
		auto image = floatVolume();
		for (auto _ : state)
		{
			image->setDirtyMem();
			upload(*image);
		}
	}
	BENCHMARK(BM_GradientUploadGpu)->Unit(benchmark::kMillisecond)->UseRealTime();

	void BM_GradientPassGpu(benchmark::State& state)
	{
		if (!forceGpu(state))
			return;
		auto image = floatVolume();
		upload(*image);
		const std::uint64_t before = GL::Program::compilationCount();
		for (auto _ : state)
			gradientOnGpu(*image);
		countCompilations(state, before);
	}
	BENCHMARK(BM_GradientPassGpu)->Unit(benchmark::kMillisecond)->UseRealTime();

	void BM_GradientDownloadGpu(benchmark::State& state)
	{
		if (!forceGpu(state))
			return;
		auto image = floatVolume();
		upload(*image);
		for (auto _ : state)
		{
			image->setDirtyGl();
			benchmark::DoNotOptimize(static_cast<const SharedImage&>(*image).mem()->data());
		}
	}
	BENCHMARK(BM_GradientDownloadGpu)->Unit(benchmark::kMillisecond)->UseRealTime();

	void BM_MaximumCpu(benchmark::State& state)
	{
		auto image = labelVolume();
		for (auto _ : state)
		{
			ImageMath::MaxReduction<ImageMath::ArrayImage> reduction(arrayOf(*image, ImageMath::CpuOnly), ImageMath::ImgOps::max{},
			                                                         Selection());
			Eigen::VectorXd result;
			benchmark::DoNotOptimize(reduction.reduce(result).data());
		}
	}
	BENCHMARK(BM_MaximumCpu)->Unit(benchmark::kMillisecond)->UseRealTime();

	void BM_MaximumUploadGpu(benchmark::State& state)
	{
		if (!forceGpu(state))
			return;
		auto image = labelVolume();
		for (auto _ : state)
		{
			image->setDirtyMem();
			upload(*image);
		}
	}
	BENCHMARK(BM_MaximumUploadGpu)->Unit(benchmark::kMillisecond)->UseRealTime();

	void BM_MaximumPassGpu(benchmark::State& state)
	{
		if (!forceGpu(state))
			return;
		auto image = labelVolume();
		upload(*image);
		const std::uint64_t before = GL::Program::compilationCount();
		for (auto _ : state)
			if (!maximumOnGpu(*image))
				state.SkipWithError("the GPU declined the maximum");
		countCompilations(state, before);
	}
	BENCHMARK(BM_MaximumPassGpu)->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK_MAIN();
