#pragma once

#include "host/gl/ObjectName.h"

#include <Eigen/Core>

#include <memory>
#include <vector>

namespace Quorvale::GL
{
	/// Vertices for drawing: positions (three doubles each), an optional second list of three floats
	/// (texture coordinates or normals) and optional RGBA float colours, stored one block after the other
	/// in one buffer. The buffer is made at the first upload; each call takes the context guard itself, so
	/// buffers may be made and deleted outside drawing. Attribute locations: 0 position, 1 second list,
	/// 2 colour (without colours the pipeline's default colour applies).
	class VertexBuffer
	{
	public:
		/// Primitives of `draw`.
		enum Primitive : int
		{
			Points = 0,
			Lines = 1,
			LineLoop = 2,
			LineStrip = 3,
			Triangles = 4,
			TriangleFan = 5
		};

		/// `usage` is the GL usage hint (GL_STATIC_DRAW 35044, ...).
		explicit VertexBuffer(unsigned int usage = 35044);
		VertexBuffer(VertexBuffer&&) noexcept = default;
		VertexBuffer& operator=(VertexBuffer&&) noexcept = default;

		/// Replaces the content. The second list and the colours are either empty or as long as the
		/// positions (std::invalid_argument otherwise). Outside a guard the vertices are kept and go to
		/// the GPU at the next `bind`. Throws `GL::Error` when the buffer cannot be allocated.
		void upload(const std::vector<Eigen::Vector3d>& positions, const std::vector<Eigen::Vector3f>& second,
		            const std::vector<Eigen::Vector4f>& colors);

		/// Sets up the vertex attributes of this buffer. Needs an open guard.
		void bind();
		/// Draws all vertices as `primitive` with the attributes of the last `bind`. Needs an open guard.
		void draw(int primitive) const;

		int size() const { return m_count; }
		unsigned int usage() const { return m_usage; }

	private:
		struct Pending
		{
			std::vector<Eigen::Vector3d> positions;
			std::vector<Eigen::Vector3f> second;
			std::vector<Eigen::Vector4f> colors;
		};
		void send(const std::vector<Eigen::Vector3d>& positions, const std::vector<Eigen::Vector3f>& second,
		          const std::vector<Eigen::Vector4f>& colors);

		std::unique_ptr<Pending> m_pending;
		ObjectName m_buffer;
		unsigned int m_usage;
		int m_count = 0;
		bool m_hasSecond = false;
		bool m_hasColors = false;
	};
}
