#include "host/gl/ShaderStorageBuffer.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include <GL/gl.h>

#include "host/gl/ContextGuard.h"
#include "host/gl/GlError.h"

namespace Quorvale::GL
{
	namespace
	{
		void deleteBuffer(unsigned int id) { glDeleteBuffers(1, &id); }
	}

	ShaderStorageBuffer::ShaderStorageBuffer(std::size_t size, const void* data)
	    : m_size(size)
	{
		if (ContextGuard::isActive())
		{
			allocateWith(data);
			return;
		}
		if (data && size > 0)
		{
			m_pendingData.resize(size);
			std::memcpy(m_pendingData.data(), data, size);
		}
	}

	void ShaderStorageBuffer::allocate() const
	{
		if (m_name)
			return;
		allocateWith(m_pendingData.empty() ? nullptr : m_pendingData.data());
		m_pendingData = {};
	}

	void ShaderStorageBuffer::allocateWith(const void* data) const
	{
		ContextGuard::requireActive("glBufferData");
		GLuint id = 0;
		glGenBuffers(1, &id);
		ObjectName name(id, &deleteBuffer);
		glBindBuffer(GL_SHADER_STORAGE_BUFFER, id);
		clearErrors();
		glBufferData(GL_SHADER_STORAGE_BUFFER, static_cast<GLsizeiptr>(m_size), data, GL_DYNAMIC_COPY);
		glBindBuffer(GL_SHADER_STORAGE_BUFFER, 0);
		checkError("glBufferData");
		m_name = std::move(name);
	}

	unsigned int ShaderStorageBuffer::id() const
	{
		allocate();
		return m_name.id();
	}

	void ShaderStorageBuffer::checkRange(std::size_t size, std::size_t offset) const
	{
		if (offset > m_size || size > m_size - offset)
			throw std::out_of_range("Bytes " + std::to_string(offset) + " to " + std::to_string(offset + size) +
			                        " lie outside a shader storage buffer of " + std::to_string(m_size));
	}

	void ShaderStorageBuffer::upload(const void* data, std::size_t size, std::size_t offset)
	{
		ContextGuard::requireActive("glBufferSubData");
		checkRange(size, offset);
		glBindBuffer(GL_SHADER_STORAGE_BUFFER, id());
		glBufferSubData(GL_SHADER_STORAGE_BUFFER, static_cast<GLintptr>(offset), static_cast<GLsizeiptr>(size), data);
		glBindBuffer(GL_SHADER_STORAGE_BUFFER, 0);
		checkError("glBufferSubData");
	}

	void ShaderStorageBuffer::download(void* data, std::size_t size, std::size_t offset) const
	{
		ContextGuard::requireActive("glGetBufferSubData");
		checkRange(size, offset);
		glBindBuffer(GL_SHADER_STORAGE_BUFFER, id());
		glGetBufferSubData(GL_SHADER_STORAGE_BUFFER, static_cast<GLintptr>(offset), static_cast<GLsizeiptr>(size), data);
		glBindBuffer(GL_SHADER_STORAGE_BUFFER, 0);
		checkError("glGetBufferSubData");
	}

	void ShaderStorageBuffer::bindBase(unsigned int index) const
	{
		ContextGuard::requireActive("glBindBufferBase");
		glBindBufferBase(GL_SHADER_STORAGE_BUFFER, index, id());
		checkError("glBindBufferBase");
	}

	std::size_t ShaderStorageBuffer::maxBlockSize()
	{
		ContextGuard::requireActive("glGetInteger64v");
		GLint64 size = 0;
		glGetInteger64v(GL_MAX_SHADER_STORAGE_BLOCK_SIZE, &size);
		checkError("glGetInteger64v(GL_MAX_SHADER_STORAGE_BLOCK_SIZE)");
		return static_cast<std::size_t>(size);
	}
}
