#include "host/gl/DisplayTexture.h"

#include "host/gl/ContextGuard.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>
#include <stdexcept>

namespace Quorvale::GL
{
	DisplayTexture::DisplayTexture(int type, int width, int height, int depth, int channels, const void* data)
	    : m_type(type)
	    , m_width(width)
	    , m_height(height)
	    , m_depth(depth)
	{
		if ((type != GL_UNSIGNED_BYTE && type != GL_FLOAT) || channels != 4)
			throw std::invalid_argument("GL::DisplayTexture: only four channels of unsigned bytes or floats are displayed");
		if (width <= 0 || height <= 0 || depth <= 0)
			throw std::invalid_argument("GL::DisplayTexture: the size must be positive");
		const size_t element = type == GL_FLOAT ? sizeof(float) : 1;
		m_bytes.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(depth) * 4 * element);
		if (data)
			std::memcpy(m_bytes.data(), data, m_bytes.size());
	}

	DisplayTexture::~DisplayTexture() = default;

	const Texture& DisplayTexture::texture()
	{
		ContextGuard::requireActive("GL::DisplayTexture::texture");
		if (!m_texture)
		{
			Texture::Format format;
			format.internalFormat = m_type == GL_FLOAT ? GL_RGBA32F : GL_RGBA8;
			format.format = GL_RGBA;
			format.type = static_cast<unsigned int>(m_type);
			format.components = 4;
			format.imageQualifier = m_type == GL_FLOAT ? "rgba32f" : "rgba8";
			m_texture = std::make_unique<Texture>(Eigen::Vector3i(m_width, m_height, 1), format, false);
			m_dirty = true;
		}
		if (m_dirty)
		{
			// Only the first slice is shown.
			m_texture->upload(m_bytes.data());
			m_texture->setFilter(GL_NEAREST);
			m_dirty = false;
		}
		return *m_texture;
	}
}
