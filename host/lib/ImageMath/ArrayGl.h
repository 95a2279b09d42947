#pragma once

#include "host/lib/ImageMath/GlExprInterface.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Quorvale::ImageMath::internal
{
	/// The GPU side of an array operand: a 3-D sampler uniform read at the current voxel.
	///
	/// Arrays over the same image share one sampler in a shader: the first one tagged declares it
	/// (with its filter and wrap mode), the others use its name. Float images are sampled with
	/// `texture` at the voxel centre; integer images (unnormalised integer textures) are read with
	/// `texelFetch` at the voxel. An image with a storage mapping other than the identity also
	/// declares the vec3 uniform <sampler>Mapping (slope, intercept, 0), and arrays that do not
	/// read raw values apply it.
	class ArrayGl : public GlExprInterface
	{
	public:
		/// GL_NEAREST, the magnification filter of voxel-wise expressions.
		static constexpr std::uint32_t nearestFilter = 9728;
		/// GL_CLAMP_TO_EDGE.
		static constexpr std::uint32_t clampToEdge = 33071;
		/// The vec3 texture coordinate of the current voxel centre that an assembled shader defines.
		static constexpr const char* textureCoordinate = "texCoord";
		/// The ivec3 coordinates of the current voxel that an assembled shader defines.
		static constexpr const char* voxelCoordinate = "voxel";

		/// "texture(<name>, texCoord)" (a vec4) for float images, "vec4(texelFetch(<name>, voxel, 0))"
		/// for integer images; with the storage mapping applied unless the array reads raw values.
		std::string evalString(bool assignNames) override;
		/// Claims the sampler of this array's image (stem "image").
		void tagAndAssignNames(TagMap& tags, CounterMap& counters, const std::string& prefix) override;
		/// "uniform sampler3D <name>;" (isampler3D, usampler3D for integer images) and a line break,
		/// when this array declares the sampler; then also the mapping uniform when the image has one.
		void getUniformDefinitionList(std::string& out, const std::string& prefix) const override;
		/// When this array declares the sampler: appends its texture, sets the sampler uniform to
		/// that texture unit (and the mapping uniform) and returns the number of uniforms set.
		/// Otherwise 0.
		int setArguments(ShaderArguments& arguments, TextureList& textures, const std::string& prefix) override;
		/// None: an array is a leaf.
		std::vector<const GlExprInterface*> children() const override { return {}; }
		std::vector<GlExprInterface*> children() override { return {}; }
		/// Stores the filter; true when it changed.
		bool setMagFilter(std::uint32_t filter) override;
		/// Stores the wrap mode; true when it changed.
		bool setWrap(std::uint32_t wrap) override;

		/// The sampler name: "uninitialized" until tagged.
		const std::string& name() const { return m_name; }
		bool declaresSampler() const { return m_declaresSampler; }
		std::uint32_t magFilter() const { return m_magFilter; }
		std::uint32_t wrap() const { return m_wrap; }

		/// Evaluates `expression` (its names are assigned afresh) into this array's image on the
		/// GPU, one compute shader invocation per voxel, storing values as the CPU kernels do.
		/// Returns false, having changed nothing, when it declines; the caller then evaluates on the
		/// CPU. It declines when the device rule does not allow the GPU (this array's strategy is
		/// `CpuOnly`, or the expression offers `CpuOnly`, or `GpuIfResident` while this image has no
		/// current GPU copy), when the OpenGL policy does not (see `GL::Policy`: on a software
		/// renderer by default only images that all have a current GPU copy), when another thread
		/// holds the context, when an image cannot be a texture or the layouts differ, and on any
		/// GL failure (logged at debug level). On success the image's GPU copy is the newest.
		bool assignGl(GlExprInterface& expression);

		/// True for arrays over image sets and images (what the GPU can bind); false for the
		/// typed arrays over CPU memory.
		virtual bool isVoidArray() const = 0;
		/// The image to bind as a texture; null for a typed array.
		virtual const SharedImage* glImage() const = 0;

	protected:
		ArrayGl(std::uint32_t magFilter, std::uint32_t wrap)
		    : m_magFilter(magFilter)
		    , m_wrap(wrap)
		{
		}

		/// The address that identifies the image this array reads.
		virtual const void* imageKey() const = 0;

	private:
		std::string m_name = "uninitialized";
		std::string m_namePrefix;
		bool m_declaresSampler = false;
		std::uint32_t m_magFilter;
		std::uint32_t m_wrap;
	};
}
