#include "host/lib/ImageMath/GlEvaluation.h"

#include <functional>

#include "host/gl/Context.h"
#include "host/gl/Policy.h"
#include "host/gl/ProgramCache.h"
#include "host/lib/ImageMath/ArrayGl.h"
#include "host/lib/ImageMath/ExprInterface.h"
#include "host/lib/SharedImage.h"

namespace Quorvale::ImageMath::internal
{
	namespace
	{
		/// Element conversions of the CPU kernels, in float. Rounding is half away from zero
		/// (trunc and a fraction test: floor(v + 0.5) would round 0.49999997 up in float); the low
		/// 32 bits of the 64-bit integer are exact, as the wrap is done on exact float integers.
		const char* const kStoreFunctions = R"(
uint quorvaleLowBits(float v)
{
	if (isnan(v))
		return 0u;
	float r = trunc(v);
	if (abs(v - r) >= 0.5)
		r += sign(v);
	if (r >= 9223372036854775808.0)
		return 0xFFFFFFFFu;
	if (r < -9223372036854775808.0)
		return 0u;
	if (abs(r) < 2147483648.0)
		return uint(int(r));
	return uint(r - floor(r / 4294967296.0) * 4294967296.0);
}
vec4 quorvaleWiden(float v) { return vec4(v, 0.0, 0.0, 0.0); }
vec4 quorvaleWiden(vec2 v) { return vec4(v, 0.0, 0.0); }
vec4 quorvaleWiden(vec3 v) { return vec4(v, 0.0); }
vec4 quorvaleWiden(vec4 v) { return v; }
)";
	}

	bool mayUseGpu(int level, const SharedImage& resident, const std::vector<const SharedImage*>& images)
	{
		if (level != GpuFirst && !(level == GpuIfResident && resident.hasGl()))
			return false;
		const GL::Policy policy = GL::policy();
		if (policy == GL::Policy::None || !GL::Context::isAvailable())
			return false;
		if (policy == GL::Policy::Default && GL::Context::isSoftwareRenderer())
		{
			if (!resident.hasGl())
				return false;
			for (const SharedImage* image : images)
				if (!image->hasGl())
					return false;
		}
		return true;
	}

	bool collectImages(const GlExprInterface& root, std::vector<const SharedImage*>& images)
	{
		bool readable = true;
		std::function<void(const GlExprInterface&)> visit = [&](const GlExprInterface& node)
		{
			if (auto array = dynamic_cast<const ArrayGl*>(&node))
			{
				if (!array->isVoidArray() || !array->glImage())
					readable = false;
				else
					images.push_back(array->glImage());
			}
			for (const GlExprInterface* child : node.children())
				visit(*child);
		};
		visit(root);
		return readable;
	}

	void bindTextures(const TextureList& textures)
	{
		for (std::size_t unit = 0; unit < textures.size(); ++unit)
		{
			const TextureBinding& binding = textures[unit];
			// Making the GPU copy changes no value of the image: it is a cache of the CPU memory.
			GlImage& copy = const_cast<SharedImage*>(binding.image)->gl();
			GL::Texture& texture = copy.texture();
			// Integer textures are only complete with nearest filtering.
			texture.setFilter(texture.format().isInteger ? ArrayGl::nearestFilter : binding.magFilter);
			texture.setWrap(binding.wrap);
			texture.bind(static_cast<unsigned int>(unit));
		}
	}

	std::string assignmentShaderSource(GlExprInterface& expression, const ImageDescriptor& target, bool mapToStorage)
	{
		const GL::Texture::Format format = GL::Texture::formatFor(static_cast<unsigned int>(target.pixelType()), target.channels());
		std::string uniforms;
		expression.getUniformDefinitionList(uniforms, {});
		std::string variables;
		expression.getVariableDefinitionList(variables, {});
		const std::string value = expression.evalString(false);

		std::string source = "#version 430\n";
		source += "layout(local_size_x = " + std::to_string(assignmentGroupSize[0]) + ", local_size_y = " +
		          std::to_string(assignmentGroupSize[1]) + ", local_size_z = " + std::to_string(assignmentGroupSize[2]) + ") in;\n";
		source += uniforms;
		source += "layout(" + format.imageQualifier + ", binding = 0) uniform writeonly " + format.glslPrefix + "image3D quorvaleTarget;\n";
		source += "uniform ivec3 quorvaleSize;\n";
		if (mapToStorage)
			source += "uniform vec2 quorvaleTargetMapping;\n";
		source += kStoreFunctions;
		source += "void main()\n{\n";
		source += "\tivec3 voxel = ivec3(gl_GlobalInvocationID);\n";
		source += "\tif (any(greaterThanEqual(voxel, quorvaleSize)))\n\t\treturn;\n";
		source += "\tvec3 texCoord = (vec3(voxel) + 0.5) / vec3(quorvaleSize);\n";
		source += variables;
		source += "\tvec4 value = quorvaleWiden(" + value + ");\n";
		if (mapToStorage)
			source += "\tvalue = (value - quorvaleTargetMapping.y) / quorvaleTargetMapping.x;\n";
		if (!format.isInteger)
			source += "\timageStore(quorvaleTarget, voxel, value);\n";
		else
		{
			const int bits = target.typeSize() * 8;
			source += "\tuvec4 bits = uvec4(quorvaleLowBits(value.x), quorvaleLowBits(value.y), quorvaleLowBits(value.z), "
			          "quorvaleLowBits(value.w));\n";
			const std::string shift = std::to_string(32 - bits);
			if (format.isSigned)
				source += "\timageStore(quorvaleTarget, voxel, ivec4(bits << " + shift + ") >> " + shift + ");\n";
			else
				source += "\timageStore(quorvaleTarget, voxel, (bits << " + shift + ") >> " + shift + ");\n";
		}
		source += "}\n";
		return source;
	}

	GL::ProgramCache& expressionPrograms()
	{
		// The key is the whole source text; used under the context guard only. Never destroyed: its
		// programs would queue their deletion at exit, after the queue is gone.
		static GL::ProgramCache* const cache = new GL::ProgramCache(GL::ProgramCache::fromSource({}, 64, "image expression shader"));
		return *cache;
	}
}
