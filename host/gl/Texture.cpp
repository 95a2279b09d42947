#include "host/gl/Texture.h"

#include <stdexcept>

#include <GL/gl.h>

#include "host/gl/ContextGuard.h"
#include "host/gl/GlError.h"

namespace Quorvale::GL
{
	namespace
	{
		void deleteTexture(unsigned int id) { glDeleteTextures(1, &id); }

		/// Binds a texture to the active unit for one operation and then restores the unit's
		/// binding, so that textures bound for a shader run stay bound.
		class ScopedBinding
		{
		public:
			ScopedBinding(GLenum target, GLuint id)
			    : m_target(target)
			{
				glGetIntegerv(target == GL_TEXTURE_3D ? GL_TEXTURE_BINDING_3D : GL_TEXTURE_BINDING_2D, &m_previous);
				glBindTexture(target, id);
			}
			~ScopedBinding() { glBindTexture(m_target, static_cast<GLuint>(m_previous)); }
			ScopedBinding(const ScopedBinding&) = delete;
			ScopedBinding& operator=(const ScopedBinding&) = delete;

		private:
			GLenum m_target;
			GLint m_previous = 0;
		};

		struct TypeRow
		{
			unsigned int type;
			bool isInteger;
			bool isSigned;
			// Internal formats for 1, 2 and 4 components, and the qualifier stem ("8i").
			GLenum formats[3];
			const char* stem;
		};

		const TypeRow kRows[] = {
		    {GL_BYTE, true, true, {GL_R8I, GL_RG8I, GL_RGBA8I}, "8i"},
		    {GL_UNSIGNED_BYTE, true, false, {GL_R8UI, GL_RG8UI, GL_RGBA8UI}, "8ui"},
		    {GL_SHORT, true, true, {GL_R16I, GL_RG16I, GL_RGBA16I}, "16i"},
		    {GL_UNSIGNED_SHORT, true, false, {GL_R16UI, GL_RG16UI, GL_RGBA16UI}, "16ui"},
		    {GL_INT, true, true, {GL_R32I, GL_RG32I, GL_RGBA32I}, "32i"},
		    {GL_UNSIGNED_INT, true, false, {GL_R32UI, GL_RG32UI, GL_RGBA32UI}, "32ui"},
		    {GL_FLOAT, false, true, {GL_R32F, GL_RG32F, GL_RGBA32F}, "32f"},
		};
	}

	Texture::Format Texture::formatFor(unsigned int pixelType, int channels)
	{
		// Half-float images are held in CPU memory as float.
		if (pixelType == GL_HALF_FLOAT)
			pixelType = GL_FLOAT;
		if (channels < 1 || channels > 4)
			throw std::invalid_argument("A texture holds 1 to 4 channels, not " + std::to_string(channels));
		for (const TypeRow& row : kRows)
		{
			if (row.type != pixelType)
				continue;
			Format format;
			format.components = channels == 3 ? 4 : channels;
			format.internalFormat = row.formats[channels == 1 ? 0 : channels == 2 ? 1 : 2];
			static const GLenum integerFormats[] = {GL_RED_INTEGER, GL_RG_INTEGER, GL_RGB_INTEGER, GL_RGBA_INTEGER};
			static const GLenum floatFormats[] = {GL_RED, GL_RG, GL_RGB, GL_RGBA};
			format.format = row.isInteger ? integerFormats[channels - 1] : floatFormats[channels - 1];
			format.type = row.type;
			format.isInteger = row.isInteger;
			format.isSigned = row.isSigned;
			static const char* const layouts[] = {"r", "rg", "rgba"};
			format.imageQualifier = std::string(layouts[channels == 1 ? 0 : channels == 2 ? 1 : 2]) + row.stem;
			format.glslPrefix = !row.isInteger ? "" : row.isSigned ? "i" : "u";
			return format;
		}
		throw std::invalid_argument("No texture format for pixel type " + std::to_string(pixelType));
	}

	Texture::Texture(const Eigen::Vector3i& dimensions, const Format& format, bool layered3d)
	    : m_dimensions(dimensions)
	    , m_format(format)
	    , m_layered(layered3d || dimensions.z() > 1)
	{
		if ((dimensions.array() <= 0).any())
			throw std::invalid_argument("A texture needs positive extents");
		if (ContextGuard::isActive())
			allocate();
	}

	unsigned int Texture::target() const { return m_layered ? GL_TEXTURE_3D : GL_TEXTURE_2D; }

	void Texture::allocate() const
	{
		if (m_name || isNull())
			return;
		ContextGuard::requireActive("glTexStorage");
		GLuint id = 0;
		glGenTextures(1, &id);
		ObjectName name(id, &deleteTexture);
		const GLenum t = target();
		ScopedBinding binding(t, id);
		clearErrors();
		if (m_layered)
			glTexStorage3D(t, 1, m_format.internalFormat, m_dimensions.x(), m_dimensions.y(), m_dimensions.z());
		else
			glTexStorage2D(t, 1, m_format.internalFormat, m_dimensions.x(), m_dimensions.y());
		checkError(m_layered ? "glTexStorage3D" : "glTexStorage2D");
		glTexParameteri(t, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
		glTexParameteri(t, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
		for (GLenum axis : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_WRAP_R})
			glTexParameteri(t, axis, GL_CLAMP_TO_EDGE);
		m_name = std::move(name);
	}

	unsigned int Texture::id() const
	{
		allocate();
		return m_name.id();
	}

	void Texture::upload(const void* data)
	{
		ContextGuard::requireActive("glTexSubImage");
		const GLenum t = target();
		ScopedBinding binding(t, id());
		glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
		clearErrors();
		if (m_layered)
			glTexSubImage3D(t, 0, 0, 0, 0, m_dimensions.x(), m_dimensions.y(), m_dimensions.z(), m_format.format, m_format.type, data);
		else
			glTexSubImage2D(t, 0, 0, 0, m_dimensions.x(), m_dimensions.y(), m_format.format, m_format.type, data);
		checkError(m_layered ? "glTexSubImage3D" : "glTexSubImage2D");
	}

	void Texture::download(void* data) const
	{
		ContextGuard::requireActive("glGetTexImage");
		const GLenum t = target();
		ScopedBinding binding(t, id());
		glPixelStorei(GL_PACK_ALIGNMENT, 1);
		clearErrors();
		glGetTexImage(t, 0, m_format.format, m_format.type, data);
		checkError("glGetTexImage");
	}

	void Texture::bind(unsigned int unit) const
	{
		ContextGuard::requireActive("glBindTexture");
		glActiveTexture(GL_TEXTURE0 + unit);
		glBindTexture(target(), id());
		glActiveTexture(GL_TEXTURE0);
		checkError("glBindTexture");
	}

	void Texture::setFilter(unsigned int filter)
	{
		ContextGuard::requireActive("glTexParameteri");
		ScopedBinding binding(target(), id());
		glTexParameteri(target(), GL_TEXTURE_MIN_FILTER, static_cast<GLint>(filter));
		glTexParameteri(target(), GL_TEXTURE_MAG_FILTER, static_cast<GLint>(filter));
		checkError("glTexParameteri(GL_TEXTURE_MAG_FILTER)");
	}

	void Texture::setWrap(unsigned int wrap)
	{
		ContextGuard::requireActive("glTexParameteri");
		ScopedBinding binding(target(), id());
		for (GLenum axis : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_WRAP_R})
			glTexParameteri(target(), axis, static_cast<GLint>(wrap));
		checkError("glTexParameteri(GL_TEXTURE_WRAP)");
	}
}
