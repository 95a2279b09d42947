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
	/// (with its filter and wrap mode), the others use its name.
	class ArrayGl : public GlExprInterface
	{
	public:
		/// GL_NEAREST, the magnification filter of voxel-wise expressions.
		static constexpr std::uint32_t nearestFilter = 9728;
		/// GL_CLAMP_TO_EDGE.
		static constexpr std::uint32_t clampToEdge = 33071;
		/// The vec3 texture coordinate of the current voxel centre that an assembled shader defines.
		static constexpr const char* textureCoordinate = "texCoord";

		/// "texture(<name>, texCoord)", a vec4.
		std::string evalString(bool assignNames) override;
		/// Claims the sampler of this array's image (stem "image").
		void tagAndAssignNames(TagMap& tags, CounterMap& counters, const std::string& prefix) override;
		/// "uniform sampler3D <name>;" and a line break, when this array declares the sampler.
		void getUniformDefinitionList(std::string& out, const std::string& prefix) const override;
		/// When this array declares the sampler: appends its texture and sets the sampler uniform to
		/// that texture unit; returns 1. Otherwise 0.
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

		/// Evaluates `expression` into this array's image on the GPU; returns false when it cannot,
		/// and the caller then evaluates on the CPU. This host has no GL context yet, so it always
		/// declines.
		bool assignGl(GlExprInterface& expression);

		/// True for arrays over image sets and images (what the GPU can bind); false for the
		/// typed arrays over CPU memory.
		virtual bool isVoidArray() const = 0;

	protected:
		ArrayGl(std::uint32_t magFilter, std::uint32_t wrap)
		    : m_magFilter(magFilter)
		    , m_wrap(wrap)
		{
		}

		/// The address that identifies the image this array reads.
		virtual const void* imageKey() const = 0;
		/// The image to bind as a texture; null for a typed array.
		virtual const SharedImage* glImage() const = 0;

	private:
		std::string m_name = "uninitialized";
		std::string m_namePrefix;
		bool m_declaresSampler = false;
		std::uint32_t m_magFilter;
		std::uint32_t m_wrap;
	};
}
