#include "src/imaging/ImageAssignment.h"

#include <optional>
#include <type_traits>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "host/core/Log.h"
#include "host/core/ThreadTeam.h"
#include "host/lib/ImageMath/Parallel.h"

namespace Quorvale::ImageMath
{
	namespace
	{
		const char* const kLogCategory = "ImageMath";

		std::string describe(const ImageDescriptor& layout)
		{
			const Eigen::Vector3i& d = layout.dimensions();
			return fmt::format("pixel type {}, {}x{}x{} with {} channel(s)", layout.pixelType(), d.x(), d.y(), d.z(), layout.channels());
		}

		/// Why `source` cannot be assigned to `destination`, or nothing when it can. A destination
		/// without a kernel reads nothing, so any source fits it.
		std::optional<std::string> mismatch(const ImageDescriptor& to, const ImageDescriptor& from)
		{
			if (!internal::withElementType(to.pixelType(), [](auto) {}))
				return std::nullopt;
			if (!internal::sameElementType(to.pixelType(), from.pixelType()) || to.dimensions() != from.dimensions() ||
			    to.channels() != from.channels())
				return fmt::format("the source ({}) differs from the destination ({}) in element type or extents", describe(from),
				                   describe(to));
			return std::nullopt;
		}

		/// One slice of the kernel; the storage mappings come as plain values so the compiler keeps
		/// them in registers (a double destination could otherwise alias them).
		template <typename T, bool SourceRaw, bool DestinationRaw>
		void convertSlice(T* out, const T* in, std::size_t count, double sourceSlope, double sourceIntercept, double destinationSlope,
		                  double destinationIntercept)
		{
			const auto convert = [&](T element)
			{
				double value = internal::toDouble(element);
				if constexpr (!SourceRaw)
					value = value * sourceSlope + sourceIntercept;
				if constexpr (!DestinationRaw)
					value = (value - destinationIntercept) / destinationSlope;
				return internal::fromDouble<T>(value);
			};
			// Floating-point elements convert without branches: let the compiler use vector lanes
			// (element-wise, so the values are the same).
			if constexpr (std::is_floating_point_v<T>)
			{
#pragma omp simd
				for (std::size_t i = 0; i < count; ++i)
					out[i] = convert(in[i]);
			}
			else
			{
				for (std::size_t i = 0; i < count; ++i)
					out[i] = convert(in[i]);
			}
		}

		template <typename T>
		using SliceFunction = void (*)(T*, const T*, std::size_t, double, double, double, double);

		template <typename T>
		SliceFunction<T> sliceFunction(bool sourceRaw, bool destinationRaw)
		{
			if (sourceRaw)
				return destinationRaw ? &convertSlice<T, true, true> : &convertSlice<T, true, false>;
			return destinationRaw ? &convertSlice<T, false, true> : &convertSlice<T, false, false>;
		}
	}

	namespace internal
	{
		template <typename T>
		void assignElements(T* destination, const ImageDescriptor& destinationLayout, bool destinationRaw, const T* source,
		                    const ImageDescriptor& sourceLayout, bool sourceRaw)
		{
			const Eigen::Vector3i& d = destinationLayout.dimensions();
			const int channels = destinationLayout.channels();
			if (d.x() <= 0 || d.y() <= 0 || d.z() <= 0 || channels <= 0)
				return;
			const std::size_t slice =
			    static_cast<std::size_t>(d.x()) * static_cast<std::size_t>(d.y()) * static_cast<std::size_t>(channels);
			// (v - 0) / 1 is v exactly, so an identity destination mapping needs no division.
			const SliceFunction<T> convert = sliceFunction<T>(sourceRaw, destinationRaw || destinationLayout.hasIdentityStorageMapping());
			const double sourceSlope = sourceLayout.slope(), sourceIntercept = sourceLayout.intercept();
			const double destinationSlope = destinationLayout.slope(), destinationIntercept = destinationLayout.intercept();
			const int slices = d.z();
			const Threading::ThreadTeam team(slices > 8);
#pragma omp parallel for schedule(static) if (slices > 8) num_threads(team.size())
			for (int z = 0; z < slices; ++z)
			{
				const std::size_t offset = static_cast<std::size_t>(z) * slice;
				convert(destination + offset, source + offset, slice, sourceSlope, sourceIntercept, destinationSlope, destinationIntercept);
			}
		}

		AssignmentOutcome assignWithoutMarking(ArrayImage& destination, const ArrayImage& source)
		{
			// The GPU side names the tree it is given, so it works on a copy of the source.
			ArrayImage glSource = source;
			if (destination.assignGl(glSource))
				return AssignmentOutcome::Gpu;
			std::shared_ptr<MemImage> memory = destination.image().sharedMem();
			if (!memory)
				return AssignmentOutcome::NoMemory;
			std::shared_ptr<const MemImage> sourceMemory = source.image().sharedMem();
			if (!sourceMemory)
			{
				Log::error("Cannot assign an image: the source has no CPU memory", kLogCategory);
				return AssignmentOutcome::Refused;
			}
			if (auto problem = mismatch(memory->descriptor(), sourceMemory->descriptor()))
			{
				Log::error("Cannot assign an image: " + *problem, kLogCategory);
				return AssignmentOutcome::Refused;
			}
			const bool hasKernel =
			    withElementType(memory->pixelType(),
			                    [&](auto tag)
			                    {
				                    using T = typename decltype(tag)::type;
				                    auto typedDestination = TypedArray<T>::fromShared(destination);
				                    auto typedSource = TypedArray<T>::fromShared(source);
				                    assignElements<T>(typedDestination->data(), memory->descriptor(), typedDestination->rawValues(),
				                                      typedSource->data(), sourceMemory->descriptor(), typedSource->rawValues());
			                    });
			return hasKernel ? AssignmentOutcome::Written : AssignmentOutcome::NoKernel;
		}

		template void assignElements<char>(char*, const ImageDescriptor&, bool, const char*, const ImageDescriptor&, bool);
		template void assignElements<unsigned char>(unsigned char*, const ImageDescriptor&, bool, const unsigned char*,
		                                            const ImageDescriptor&, bool);
		template void assignElements<short>(short*, const ImageDescriptor&, bool, const short*, const ImageDescriptor&, bool);
		template void assignElements<unsigned short>(unsigned short*, const ImageDescriptor&, bool, const unsigned short*,
		                                             const ImageDescriptor&, bool);
		template void assignElements<int>(int*, const ImageDescriptor&, bool, const int*, const ImageDescriptor&, bool);
		template void assignElements<unsigned int>(unsigned int*, const ImageDescriptor&, bool, const unsigned int*, const ImageDescriptor&,
		                                           bool);
		template void assignElements<float>(float*, const ImageDescriptor&, bool, const float*, const ImageDescriptor&, bool);
		template void assignElements<double>(double*, const ImageDescriptor&, bool, const double*, const ImageDescriptor&, bool);
	}

	ArrayImage& assign(ArrayImage& destination, const ArrayImage& source)
	{
		const internal::AssignmentOutcome outcome = internal::assignWithoutMarking(destination, source);
		if (outcome == internal::AssignmentOutcome::Written || outcome == internal::AssignmentOutcome::NoKernel)
			destination.image().setDirtyMem();
		return destination;
	}

	namespace
	{
		/// The images of `to` that its selection marks (an empty selection marks all).
		std::vector<int> selectedImages(const SharedImageSet& to)
		{
			std::vector<int> selected;
			for (int i = 0; i < to.size(); ++i)
				if (to.selection().isSelected(i, Selection::EmptySelectsAll))
					selected.push_back(i);
			return selected;
		}

		/// Why the set `from` cannot be assigned to the images `selected` of `to`, or nothing. By
		/// the layouts alone: asking for the memory would make the images' GPU copies stale.
		std::optional<std::string> invalidSets(const SharedImageSet& to, const SharedImageSet& from, const std::vector<int>& selected)
		{
			if (from.size() == 0)
				return std::string("Cannot assign an empty image set");
			// Source image i is read only for each selected image i.
			if (from.size() > 1 && selected.back() >= from.size())
				return fmt::format("Cannot assign a set of {} images to a set of {}: the source must hold one image or one for every "
				                   "selected image, and image {} is selected",
				                   from.size(), to.size(), selected.back());
			for (int i : selected)
				if (auto problem = mismatch(to.get(i)->descriptor(), from.get(from.size() == 1 ? 0 : i)->descriptor()))
					return fmt::format("Cannot assign image {} of the set: {}", i, *problem);
			return std::nullopt;
		}

		/// One image pair left for the CPU, with the slot of its outcome.
		struct CpuJob
		{
			std::size_t slot;
			ArrayImage target;
			ArrayImage values;
		};

		/// Computes the jobs: one image per worker thread. A single image is computed on the
		/// calling thread instead: a worker would add nothing but the start of a pool and of a new
		/// OpenMP team, which costs as much as copying a 256^3 volume.
		void runCpuJobs(std::vector<CpuJob>& cpuJobs, std::vector<internal::AssignmentOutcome>& outcomes)
		{
			if (cpuJobs.size() == 1)
				outcomes[cpuJobs[0].slot] = internal::assignWithoutMarking(cpuJobs[0].target, cpuJobs[0].values);
			else if (!cpuJobs.empty())
			{
				std::unique_ptr<Threading::ThreadPool> pool;
				// Each task writes only its own outcome slot; the vector is not resized meanwhile.
				for (CpuJob& job : cpuJobs)
					internal::dispatchThread(pool, [job, &outcome = outcomes[job.slot]]() mutable
					                         { outcome = internal::assignWithoutMarking(job.target, job.values); });
				pool->waitUntilFinished(0);
				pool.reset();
			}
		}
	}

	ArraySet& assign(ArraySet& destination, const ArraySet& source)
	{
		SharedImageSet& to = destination.images();
		const SharedImageSet& from = source.images();
		const std::vector<int> selected = selectedImages(to);
		if (selected.empty())
			return destination;
		// Check every pair first, so that a refused assignment leaves the whole set untouched.
		if (auto problem = invalidSets(to, from, selected))
		{
			Log::error(*problem, kLogCategory);
			return destination;
		}

		const auto sourceImage = [&](int i) { return from.get(from.size() == 1 ? 0 : i); };
		std::vector<internal::AssignmentOutcome> outcomes(selected.size(), internal::AssignmentOutcome::None);
		std::vector<CpuJob> cpuJobs;
		for (std::size_t k = 0; k < selected.size(); ++k)
		{
			SharedImage& image = *to.get(selected[k]);
			ArrayImage target(image, destination.rawValues(), destination.magFilter(), destination.wrap(), destination.extra());
			target.setDeviceStrategy(destination.deviceStrategy());
			ArrayImage values(*sourceImage(selected[k]), source.rawValues(), source.magFilter(), source.wrap(), source.extra());
			values.setDeviceStrategy(source.deviceStrategy());

			const bool onGpu = target.deviceStrategy() != CpuOnly &&
			                   (values.deviceStrategy() == GpuFirst || (values.deviceStrategy() == GpuIfResident && image.hasGl()));
			if (onGpu)
				outcomes[k] = internal::assignWithoutMarking(target, values);
			else
			{
				image.syncMem();
				cpuJobs.push_back({k, std::move(target), std::move(values)});
			}
		}
		runCpuJobs(cpuJobs, outcomes);
		// Change signals are not thread-safe: mark the images here rather than on the workers.
		for (std::size_t k = 0; k < selected.size(); ++k)
			if (outcomes[k] == internal::AssignmentOutcome::Written || outcomes[k] == internal::AssignmentOutcome::NoKernel)
				to.get(selected[k])->setDirtyMem();
		return destination;
	}
}
