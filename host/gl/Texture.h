#pragma once

#include "host/gl/ObjectName.h"

#include <Eigen/Core>

#include <string>

namespace Quorvale::GL
{
	/// A 2-D or 3-D texture with immutable storage of one internal format (move-only).
	///
	/// Images of the host are kept as 3-D textures (depth 1 for a 2-D image). Integer formats are
	/// unnormalised: shaders read them with texelFetch from isampler/usampler, or as images.
	class Texture
	{
	public:
		/// How the elements of one host pixel type and channel count are kept on the GPU.
		struct Format
		{
			/// Sized internal format (GL_R8I, GL_RGBA32F, ...). Three channels are kept as four
			/// (RGBA): image load/store has no three-component formats.
			unsigned int internalFormat = 0;
			/// Transfer format and type of the CPU elements (GL_RGB_INTEGER, GL_SHORT, ...): a
			/// transfer of three channels fills and reads only RGB.
			unsigned int format = 0;
			unsigned int type = 0;
			/// Components the texture stores per texel (1, 2 or 4).
			int components = 0;
			/// True for integer formats.
			bool isInteger = false;
			bool isSigned = false;
			/// The GLSL layout qualifier of image variables of this format ("r16i", "rgba32f").
			std::string imageQualifier;
			/// The GLSL prefix of sampler and image types: "", "i" or "u".
			std::string glslPrefix;
		};

		/// The format for elements of `pixelType` (the GL type codes 5120-5126 and half float 5131,
		/// held in memory as float) with 1 to 4 channels. Throws std::invalid_argument for other
		/// types (double has no texture format) and channel counts.
		static Format formatFor(unsigned int pixelType, int channels);

		/// No texture.
		Texture() = default;
		/// A texture of `dimensions` texels (z = 1 and `layered3d` false makes a 2-D texture)
		/// in `format`, filtered nearest and clamped to the edge. The storage is allocated at once
		/// inside a guard, otherwise at the first use. Throws `GL::Error` when the allocation fails
		/// (GL_OUT_OF_MEMORY) and std::invalid_argument for a non-positive extent.
		Texture(const Eigen::Vector3i& dimensions, const Format& format, bool layered3d = true);
		Texture(Texture&&) noexcept = default;
		Texture& operator=(Texture&&) noexcept = default;

		/// The GL name; allocates the storage first if still pending (needs a guard).
		unsigned int id() const;
		/// True without texels. Tests the extents one by one: their product may not fit an int.
		bool isNull() const { return (m_dimensions.array() == 0).any(); }
		const Eigen::Vector3i& dimensions() const { return m_dimensions; }
		const Format& format() const { return m_format; }
		/// GL_TEXTURE_3D or GL_TEXTURE_2D.
		unsigned int target() const;
		/// True for 3-D textures, which are always bound to image units layered: a non-layered
		/// binding of a 3-D texture writes nothing (and reports no error on llvmpipe).
		bool isLayered() const { return m_layered; }

		/// Replaces all texels with `data`, laid out x fastest with `format().format`/`type`
		/// (the host's element layout). Needs a guard.
		void upload(const void* data);
		/// Reads all texels into `data` (as many elements as the host image has). Needs a guard.
		void download(void* data) const;
		/// Binds the texture to texture unit `unit` for sampling. Needs a guard.
		void bind(unsigned int unit) const;
		/// Sets the magnification and minification filter (GL_NEAREST, GL_LINEAR). Needs a guard.
		void setFilter(unsigned int filter);
		/// Sets the wrap mode on all axes (GL_CLAMP_TO_EDGE, ...). Needs a guard.
		void setWrap(unsigned int wrap);

	private:
		void allocate() const;

		Eigen::Vector3i m_dimensions = Eigen::Vector3i::Zero();
		Format m_format;
		bool m_layered = true;
		mutable ObjectName m_name;
	};
}
