#include "host/lib/SharedImage.h"

#include <stdexcept>

#include "host/gl/ContextGuard.h"

namespace Quorvale
{
	SharedImage::SharedImage(std::shared_ptr<MemImage> mem, std::string name)
	    : Data(std::move(name))
	    , m_mem(std::move(mem))
	{
		if (!m_mem)
			throw std::invalid_argument("A shared image needs a memory image");
	}

	SharedImage::SharedImage(std::unique_ptr<GlImage> gl, std::string name)
	    : Data(std::move(name))
	    , m_memCurrent(false)
	    , m_gl(std::move(gl))
	    , m_glCurrent(true)
	{
		if (!m_gl)
			throw std::invalid_argument("A shared image needs a GPU image");
	}

	SharedImage::~SharedImage() = default;

	void SharedImage::setModality(int modality)
	{
		if (modality == m_modality)
			return;
		m_modality = modality;
		signalDataChanged.emitSignal();
	}

	void SharedImage::download() const
	{
		if (m_memCurrent)
			return;
		GL::ContextGuard guard;
		if (!guard)
			throw std::runtime_error("The values of image '" + name() + "' are only on the GPU, and there is no OpenGL context");
		if (!m_mem)
			m_mem = MemImage::create(m_gl->descriptor());
		m_gl->download(*m_mem);
		m_memCurrent = true;
	}

	void SharedImage::syncMem() const { download(); }

	MemImage* SharedImage::mem()
	{
		download();
		m_glCurrent = false;
		++m_valuesVersion;
		return m_mem.get();
	}

	const MemImage* SharedImage::mem() const
	{
		download();
		return m_mem.get();
	}

	std::shared_ptr<MemImage> SharedImage::sharedMem()
	{
		download();
		m_glCurrent = false;
		++m_valuesVersion;
		return m_mem;
	}

	std::shared_ptr<const MemImage> SharedImage::sharedMem() const
	{
		download();
		return m_mem;
	}

	void SharedImage::setDirtyMem()
	{
		// Memory that was never handed out cannot have been written.
		if (m_mem)
		{
			m_memCurrent = true;
			m_glCurrent = false;
		}
		++m_valuesVersion;
		signalDataChanged.emitSignal();
	}

	GlImage& SharedImage::gl()
	{
		GL::ContextGuard::requireActive("SharedImage::gl");
		if (hasGl())
			return *m_gl;
		const ImageDescriptor& layout = m_mem->descriptor();
		if (!m_gl || m_gl->texture().dimensions() != layout.dimensions() ||
		    m_gl->texture().format().internalFormat !=
		        GL::Texture::formatFor(static_cast<unsigned int>(layout.pixelType()), layout.channels()).internalFormat)
			m_gl = std::make_unique<GlImage>(layout);
		m_gl->setDescriptor(layout);
		m_gl->upload(*m_mem);
		m_glCurrent = true;
		return *m_gl;
	}

	void SharedImage::setGl(std::unique_ptr<GlImage> gl)
	{
		if (!gl)
			throw std::invalid_argument("A shared image needs a GPU image");
		m_gl = std::move(gl);
		setDirtyGl();
	}

	void SharedImage::setDirtyGl()
	{
		if (!m_gl)
			throw std::logic_error("Image '" + name() + "' has no GPU copy to mark");
		if (m_mem)
			m_gl->setDescriptor(m_mem->descriptor());
		m_glCurrent = true;
		m_memCurrent = false;
		++m_valuesVersion;
		signalDataChanged.emitSignal();
	}

	std::optional<MemImage::ValueRange> SharedImage::valueRange() const
	{
		if (m_rangeVersion != m_valuesVersion)
		{
			m_range = mem()->valueRange();
			m_rangeVersion = m_valuesVersion;
			++m_rangeReads;
		}
		return m_range;
	}

	const ImageDescriptor& SharedImage::descriptor() const { return m_mem ? m_mem->descriptor() : m_gl->descriptor(); }

	ImageDescriptorWorld SharedImage::descriptorWorld() const { return ImageDescriptorWorld(descriptor(), matrixToWorld()); }

	Eigen::Matrix4d SharedImage::worldToPixelMatrix() const { return descriptorWorld().worldToPixelMatrix(); }

	std::unique_ptr<SharedImage> SharedImage::clone() const
	{
		auto copy = std::make_unique<SharedImage>(mem()->clone(), name());
		static_cast<Data&>(*copy) = *this;
		copy->m_modality = m_modality;
		return copy;
	}
}
