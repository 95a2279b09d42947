#pragma once

#include "host/gl/Texture.h"
#include "host/lib/ImageDescriptor.h"

namespace Quorvale
{
	class MemImage;

	/// The GPU copy of an image: a 3-D texture (depth 1 for a 2-D image) holding the stored
	/// element values of an image laid out as its descriptor says. Integer elements stay integers
	/// (unnormalised integer formats); three channels are kept in RGBA texels.
	class GlImage
	{
	public:
		/// True for layouts a texture can hold: 1 to 4 channels of the 8-, 16- and 32-bit integer
		/// types, float or half float (held as float). Double has no texture format.
		static bool canHold(const ImageDescriptor& descriptor);

		/// Storage for an image of `descriptor` (allocated at once inside a guard, otherwise at
		/// the first use). Throws std::invalid_argument when `canHold` is false, `GL::Error` when
		/// the GPU has no memory for it.
		explicit GlImage(const ImageDescriptor& descriptor);

		/// The layout, including spacing and storage mapping, of the image this copy belongs to.
		const ImageDescriptor& descriptor() const { return m_descriptor; }
		void setDescriptor(const ImageDescriptor& descriptor) { m_descriptor = descriptor; }
		GL::Texture& texture() { return m_texture; }
		const GL::Texture& texture() const { return m_texture; }

		/// Copies the elements of `memory` (same element layout) to the GPU. Needs a guard.
		void upload(const MemImage& memory);
		/// Copies the elements into `memory` (same element layout). Needs a guard.
		void download(MemImage& memory) const;

	private:
		void checkLayout(const MemImage& memory) const;

		ImageDescriptor m_descriptor;
		GL::Texture m_texture;
	};
}
