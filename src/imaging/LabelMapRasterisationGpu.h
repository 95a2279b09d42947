#pragma once

#include "src/imaging/LabelMapRasterisation.h"

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace Quorvale
{
	class SharedImage;

	namespace GL
	{
		class ProgramCache;
		class ShaderStorageBuffer;
	}
}

/// The GPU path of the label map: the library's compute shader (registered with the host by the
/// plug-in's `init`) repeats every float operation of the per-voxel rule of `rasteriseSlices`, so
/// that both paths label the same voxels up to float rounding.
namespace Quorvale::LabelMapRasterisation
{
	/// The GL objects of GPU runs: the node, edge and radius storage buffers, kept from one run to
	/// the next (a run with lists of the same sizes only uploads), and the program cache, made anew
	/// by every run. Destroy it where its GL objects may be deleted.
	struct GpuResources
	{
		GpuResources();
		~GpuResources();
		GpuResources(GpuResources&&) noexcept;
		GpuResources& operator=(GpuResources&&) noexcept;

		std::unique_ptr<GL::ProgramCache> programCache;
		std::unique_ptr<GL::ShaderStorageBuffer> nodeBuffer;
		std::unique_ptr<GL::ShaderStorageBuffer> edgeBuffer;
		std::unique_ptr<GL::ShaderStorageBuffer> radiusBuffer;
	};

	/// The driver cannot hold the work (texture size, out of memory, buffer or work-group limits, a
	/// shader that does not build); `what()` says why.
	class GpuError : public std::runtime_error
	{
	public:
		using std::runtime_error::runtime_error;
	};

	/// Why the GPU path cannot run, as a note for the log: OpenGL switched off, no context, or a
	/// version below 4.3; nothing when the host's OpenGL is at least 4.3.
	std::optional<std::string> gpuUnavailable();

	/// Bytes per voxel of memory that the GPU path holds at once: the label texture, its 32-bit
	/// copy on the CPU and the 8-bit result.
	constexpr double kGpuBytesPerVoxel = 9.0;

	/// The label map of the lists on the GPU, with the arguments of `rasterise` (`numEdges` the
	/// count of `edges`): the unsigned 8-bit image of the grid (its spacing and matrix to world, one
	/// channel), 1 at every labelled voxel. Null when no GL context can be had. Throws `GpuError`,
	/// having produced nothing, when the driver cannot hold the work or its memory
	/// (`kGpuBytesPerVoxel`) is beyond the memory limit, the latter before any GL object is made;
	/// the caller then takes the CPU path.
	std::unique_ptr<SharedImage> rasteriseOnGpu(const std::vector<Eigen::Vector4f>& nodes, const std::vector<Eigen::Vector2i>& edges,
	                                            const std::vector<float>& radii, const ImageDescriptorWorld& grid, const Eigen::Matrix4d& graphToWorld,
	                                            const Eigen::Vector3d& metric, Mode mode, float sampleSpacing, int numEdges,
	                                            GpuResources& resources);
}
