#include "host/lib/GlImage.h"

#include <stdexcept>

#include "host/lib/MemImage.h"

namespace Quorvale
{
	bool GlImage::canHold(const ImageDescriptor& descriptor)
	{
		switch (descriptor.pixelType())
		{
			case ImageDescriptor::Char:
			case ImageDescriptor::UnsignedChar:
			case ImageDescriptor::Short:
			case ImageDescriptor::UnsignedShort:
			case ImageDescriptor::Int:
			case ImageDescriptor::UnsignedInt:
			case ImageDescriptor::Float:
			case ImageDescriptor::HalfFloat: return descriptor.channels() >= 1 && descriptor.channels() <= 4 && descriptor.isValid();
			default: return false;
		}
	}

	GlImage::GlImage(const ImageDescriptor& descriptor)
	    : m_descriptor(descriptor)
	{
		if (!canHold(descriptor))
			throw std::invalid_argument("No GPU copy for images of pixel type " + std::to_string(descriptor.pixelType()) + " with " +
			                            std::to_string(descriptor.channels()) + " channel(s)");
		m_texture = GL::Texture(descriptor.dimensions(), GL::Texture::formatFor(static_cast<unsigned int>(descriptor.pixelType()),
		                                                                         descriptor.channels()));
	}

	void GlImage::checkLayout(const MemImage& memory) const
	{
		const ImageDescriptor& d = memory.descriptor();
		if (d.dimensions() != m_descriptor.dimensions() || d.channels() != m_descriptor.channels() ||
		    GL::Texture::formatFor(static_cast<unsigned int>(d.pixelType()), d.channels()).internalFormat !=
		        m_texture.format().internalFormat)
			throw std::invalid_argument("A memory image and a GPU copy of different element layouts");
	}

	void GlImage::upload(const MemImage& memory)
	{
		checkLayout(memory);
		m_texture.upload(memory.data());
	}

	void GlImage::download(MemImage& memory) const
	{
		checkLayout(memory);
		m_texture.download(memory.data());
	}
}
