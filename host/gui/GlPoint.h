#pragma once

#include "host/gl/GlObject.h"
#include "host/gl/VertexBuffer.h"

namespace Quorvale
{
	/// A marker: one round dot at a world position, `dotSize` device pixels wide (0 draws nothing),
	/// drawn in every kind of view.
	class GlPoint : public GlObject
	{
	public:
		/// A green dot of size 8 at the origin.
		GlPoint();
		~GlPoint() override;

		void draw(const GlView& view) override;
		std::string typeName() const override { return "GlPoint"; }

		void setPoint(const Eigen::Vector3d& point) { m_point = point; }
		const Eigen::Vector3d& point() const { return m_point; }
		void setDotSize(double size) { m_dotSize = size; }
		double dotSize() const { return m_dotSize; }
		/// Colour as red, green, blue in [0, 1].
		void setColor(double r, double g, double b) { m_color = Eigen::Vector4d(r, g, b, 1.0); }
		const Eigen::Vector4d& color() const { return m_color; }

	private:
		Eigen::Vector3d m_point = Eigen::Vector3d::Zero();
		double m_dotSize = 8.0;
		Eigen::Vector4d m_color = Eigen::Vector4d(0.0, 1.0, 0.0, 1.0);
		GL::VertexBuffer m_buffer;
	};
}
