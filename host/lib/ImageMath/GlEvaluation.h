#pragma once

#include "host/lib/ImageMath/GlExprInterface.h"

#include <string>
#include <vector>

namespace Quorvale
{
	class ImageDescriptor;
	namespace GL
	{
		class ProgramCache;
	}
}

/// The host's GPU evaluation of image expressions: where it is allowed, and the pieces shared by
/// assignments and reductions. Everything but `mayUseGpu` needs an open guard.
namespace Quorvale::ImageMath::internal
{
	/// True when an expression offering device level `level` (a `DeviceStrategy`) may run on the
	/// GPU for the image `resident` (the destination of an assignment, the operand of a
	/// reduction), reading `images`: the level is `GpuFirst`, or `GpuIfResident` while `resident`
	/// has a current GPU copy; the OpenGL policy is not `None` and a context exists; and, on a
	/// software renderer under the `Default` policy, every image has a current GPU copy (there the
	/// GPU is 5 to 20 times slower than the CPU kernels for values that would have to be uploaded).
	bool mayUseGpu(int level, const SharedImage& resident, const std::vector<const SharedImage*>& images);

	/// The images below `root` that the GPU would read, or nothing (false) when the tree holds an
	/// array over CPU memory only (a typed array), which no shader can read.
	bool collectImages(const GlExprInterface& root, std::vector<const SharedImage*>& images);

	/// Binds the textures of an expression run (`setArguments` listed them) to their units, making
	/// or uploading each image's GPU copy first.
	void bindTextures(const TextureList& textures);

	/// The compute shader that evaluates `expression` (named, from `evalString(false)`) into an
	/// image of layout `target` bound to image unit 0 as "quorvaleTarget", storing like the CPU
	/// kernels: integers rounded half away from zero with their low-order bits kept (NaN stores 0,
	/// values beyond the 64-bit range all ones or zero), floats as they are. With
	/// `mapToStorage` the values pass through the target's `originalToStorage` first (uniform vec2
	/// quorvaleTargetMapping: slope, intercept). Uniform ivec3 quorvaleSize holds the extents; work
	/// groups are `assignmentGroupSize` voxels.
	std::string assignmentShaderSource(GlExprInterface& expression, const ImageDescriptor& target, bool mapToStorage);
	/// Work group extents of the assignment shader.
	constexpr int assignmentGroupSize[3] = {8, 8, 1};

	/// The assembled expression programs of the process, keyed by source text (least recently
	/// used out).
	GL::ProgramCache& expressionPrograms();
}
