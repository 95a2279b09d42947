#include "host/gl/VertexBuffer.h"

#include "host/gl/ContextGuard.h"
#include "host/gl/GlError.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>
#include <stdexcept>

namespace Quorvale::GL
{
	namespace
	{
		void deleteBuffer(unsigned int id) { glDeleteBuffers(1, &id); }

		template <typename T>
		GLsizeiptr bytes(const std::vector<T>& items)
		{
			return static_cast<GLsizeiptr>(items.size() * sizeof(T));
		}

		const void* offset(GLsizeiptr bytes) { return reinterpret_cast<const void*>(static_cast<std::uintptr_t>(bytes)); }
	}

	VertexBuffer::VertexBuffer(unsigned int usage)
	    : m_usage(usage)
	{
	}

	void VertexBuffer::upload(const std::vector<Eigen::Vector3d>& positions, const std::vector<Eigen::Vector3f>& second,
	                          const std::vector<Eigen::Vector4f>& colors)
	{
		if ((!second.empty() && second.size() != positions.size()) || (!colors.empty() && colors.size() != positions.size()))
			throw std::invalid_argument("GL::VertexBuffer::upload: attribute lists differ in length");
		m_count = static_cast<int>(positions.size());
		m_hasSecond = !second.empty();
		m_hasColors = !colors.empty();
		if (!ContextGuard::isActive())
		{
			m_pending = std::make_unique<Pending>(Pending{positions, second, colors});
			return;
		}
		m_pending.reset();
		send(positions, second, colors);
	}

	void VertexBuffer::send(const std::vector<Eigen::Vector3d>& positions, const std::vector<Eigen::Vector3f>& second,
	                        const std::vector<Eigen::Vector4f>& colors)
	{
		if (!m_buffer)
		{
			GLuint id = 0;
			glGenBuffers(1, &id);
			m_buffer = ObjectName(id, deleteBuffer);
		}
		// Positions go to the GPU in single precision: the rasteriser works in it anyway, and the driver's
		// conversion of double attributes at every draw costs more than converting once here.
		std::vector<Eigen::Vector3f> single(positions.size());
		for (size_t i = 0; i < positions.size(); ++i)
			single[i] = positions[i].cast<float>();
		glBindBuffer(GL_ARRAY_BUFFER, m_buffer.id());
		glBufferData(GL_ARRAY_BUFFER, bytes(single) + bytes(second) + bytes(colors), nullptr, m_usage);
		checkError("glBufferData");
		glBufferSubData(GL_ARRAY_BUFFER, 0, bytes(single), single.data());
		glBufferSubData(GL_ARRAY_BUFFER, bytes(single), bytes(second), second.data());
		glBufferSubData(GL_ARRAY_BUFFER, bytes(single) + bytes(second), bytes(colors), colors.data());
		glBindBuffer(GL_ARRAY_BUFFER, 0);
	}

	void VertexBuffer::bind()
	{
		ContextGuard::requireActive("GL::VertexBuffer::bind");
		if (m_pending)
		{
			const std::unique_ptr<Pending> pending = std::move(m_pending);
			send(pending->positions, pending->second, pending->colors);
		}
		if (!m_buffer)
		{
			for (GLuint location : {0u, 1u, 2u})
				glDisableVertexAttribArray(location);
			return;
		}
		const auto positionBytes = static_cast<GLsizeiptr>(m_count) * 3 * static_cast<GLsizeiptr>(sizeof(float));
		const auto secondBytes = m_hasSecond ? static_cast<GLsizeiptr>(m_count) * 3 * static_cast<GLsizeiptr>(sizeof(float)) : 0;
		glBindBuffer(GL_ARRAY_BUFFER, m_buffer.id());
		glEnableVertexAttribArray(0);
		glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, offset(0));
		if (m_hasSecond)
		{
			glEnableVertexAttribArray(1);
			glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, 0, offset(positionBytes));
		}
		else
			glDisableVertexAttribArray(1);
		if (m_hasColors)
		{
			glEnableVertexAttribArray(2);
			glVertexAttribPointer(2, 4, GL_FLOAT, GL_FALSE, 0, offset(positionBytes + secondBytes));
		}
		else
			glDisableVertexAttribArray(2);
		glBindBuffer(GL_ARRAY_BUFFER, 0);
	}

	void VertexBuffer::draw(int primitive) const
	{
		ContextGuard::requireActive("GL::VertexBuffer::draw");
		static const GLenum modes[] = {GL_POINTS, GL_LINES, GL_LINE_LOOP, GL_LINE_STRIP, GL_TRIANGLES, GL_TRIANGLE_FAN};
		if (primitive < 0 || primitive > TriangleFan)
			throw std::invalid_argument("GL::VertexBuffer::draw: unknown primitive");
		if (m_count == 0)
			return;
		glDrawArrays(modes[primitive], 0, m_count);
		checkError("glDrawArrays");
	}
}
