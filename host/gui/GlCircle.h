#pragma once

#include "host/gl/GlObject.h"
#include "host/gl/VertexBuffer.h"
#include "host/gl/ViewState.h"

namespace Quorvale
{
	/// A circle outline in world space: centre, radius in world units and two axes spanning its plane.
	/// The axes are directions (their lengths do not matter), so the circle drawn is exactly the set of
	/// points at `radius` from the centre in that plane. Drawn only in views that look at it face-on
	/// (their viewing direction normal to both axes): in any other view it would show edge-on as a line.
	class GlCircle : public GlObject
	{
	public:
		/// A yellow unit circle in the x-y plane at the origin.
		GlCircle();
		~GlCircle() override;

		void draw(const GlView& view) override;
		std::string typeName() const override { return "GlCircle"; }

		void setCenter(const Eigen::Vector3d& center) { m_center = center; }
		const Eigen::Vector3d& center() const { return m_center; }
		void setRadius(double radius) { m_radius = radius; }
		double radius() const { return m_radius; }
		/// The plane's two directions; a zero vector leaves the axis as it was. The second is made
		/// orthogonal to the first.
		void setAxes(const Eigen::Vector3d& first, const Eigen::Vector3d& second);
		const Eigen::Vector3d& firstAxis() const { return m_first; }
		const Eigen::Vector3d& secondAxis() const { return m_second; }
		void setColor(const Eigen::Vector4d& color) { m_color = color; }

		/// The outline's vertices in world coordinates (`segments` of them).
		std::vector<Eigen::Vector3d> outline(int segments = 64) const;
		/// True when the view state looks at the circle face-on (its axes, through the object's matrix,
		/// normal to the viewing direction).
		bool facesViewer(const GL::ViewState& viewState) const;

	private:
		Eigen::Vector3d m_center = Eigen::Vector3d::Zero();
		double m_radius = 1.0;
		Eigen::Vector3d m_first = Eigen::Vector3d::UnitX();
		Eigen::Vector3d m_second = Eigen::Vector3d::UnitY();
		Eigen::Vector4d m_color = Eigen::Vector4d(1.0, 1.0, 0.0, 1.0);
		GL::VertexBuffer m_buffer;
	};
}
