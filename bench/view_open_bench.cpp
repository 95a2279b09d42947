// Opening a volume in the window: reading a synthetic vessel tree's label volume from a compressed
// NIfTI file, against reading it and rendering the four views once (three slice views and the 3-D
// view at 512 x 512 each, as in a 1024 x 1024 screenshot). The window should open a 512³ volume in at
// most twice its reading time.
#include "bench/GuiBenchmarkMain.h"
#include "host/gl/Context.h"
#include "host/gui/GlSliceView.h"
#include "host/gui/GlVolumeView.h"
#include "host/lib/NiftiIo.h"
#include "host/lib/SharedImageSet.h"
#include "synthetic/VesselTree.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

using namespace Quorvale;

namespace
{
	constexpr int ViewSide = 512;

	/// The folder of the volumes written for this run, removed at exit.
	struct Scratch
	{
		std::filesystem::path folder =
		    std::filesystem::temp_directory_path() / ("quorvale-view-open-bench-" + std::to_string(static_cast<long>(getpid())));
		Scratch() { std::filesystem::create_directories(folder); }
		~Scratch() { std::filesystem::remove_all(folder); }
	};

	/// The file of a `size`³ vessel tree, written at the first call.
	std::string volumeFile(int size)
	{
		static Scratch scratch;
		static std::map<int, std::string> files;
		std::string& file = files[size];
		if (file.empty())
		{
			SyntheticVessels::TreeSettings settings;
			settings.dimensions = Eigen::Vector3i::Constant(size);
			settings.spacing = Eigen::Vector3d::Constant(128.0 / size);
			file = (scratch.folder / ("vessel-tree-" + std::to_string(size) + ".nii.gz")).string();
			NiftiIo::save(*SyntheticVessels::createVesselTree(settings).labels, file);
		}
		return file;
	}

	void readVolume(benchmark::State& state)
	{
		const std::string file = volumeFile(static_cast<int>(state.range(0)));
		for (auto _ : state)
			benchmark::DoNotOptimize(NiftiIo::load(file));
	}

	void readVolumeAndRenderFourViews(benchmark::State& state)
	{
		if (!GL::Context::isAvailable())
		{
			state.SkipWithError("no OpenGL context");
			return;
		}
		const std::string file = volumeFile(static_cast<int>(state.range(0)));
		for (auto _ : state)
		{
			std::unique_ptr<SharedImageSet> image = NiftiIo::load(file);
			GlSliceView axial(2), coronal(1), sagittal(0);
			GlVolumeView volume;
			for (GlView* view : std::initializer_list<GlView*>{&axial, &coronal, &sagittal, &volume})
			{
				view->setImage(image.get());
				benchmark::DoNotOptimize(view->render(ViewSide, ViewSide));
			}
		}
	}
}

BENCHMARK(readVolume)->Arg(256)->Arg(512)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(readVolumeAndRenderFourViews)->Arg(256)->Arg(512)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) { return runGuiBenchmarks(argc, argv); }
