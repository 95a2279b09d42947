#include "host/gui/GlCircle.h"

#include "host/gl/FixedFunctionPipeline.h"
#include "host/gui/GlView.h"

#include <cmath>

namespace Quorvale
{
	GlCircle::GlCircle() = default;

	GlCircle::~GlCircle() = default;

	void GlCircle::setAxes(const Eigen::Vector3d& first, const Eigen::Vector3d& second)
	{
		if (first.squaredNorm() > 0.0)
			m_first = first.normalized();
		if (second.squaredNorm() > 0.0)
		{
			const Eigen::Vector3d orthogonal = second - second.dot(m_first) * m_first;
			if (orthogonal.squaredNorm() > 0.0)
				m_second = orthogonal.normalized();
		}
	}

	std::vector<Eigen::Vector3d> GlCircle::outline(int segments) const
	{
		std::vector<Eigen::Vector3d> points;
		points.reserve(static_cast<size_t>(std::max(segments, 0)));
		for (int i = 0; i < segments; ++i)
		{
			const double angle = 2.0 * M_PI * i / segments;
			points.push_back(m_center + m_radius * (std::cos(angle) * m_first + std::sin(angle) * m_second));
		}
		return points;
	}

	bool GlCircle::facesViewer(const GL::ViewState& viewState) const
	{
		// Seen edge-on from anywhere else, the circle would be a stray line across the view.
		const Eigen::Vector3d toViewer = viewState.zDir();
		const Eigen::Matrix3d linear = matrix().topLeftCorner<3, 3>();
		constexpr double tolerance = 1e-6;
		return std::abs(toViewer.dot((linear * m_first).normalized())) < tolerance &&
		       std::abs(toViewer.dot((linear * m_second).normalized())) < tolerance;
	}

	void GlCircle::draw(const GlView& view)
	{
		if (m_radius <= 0.0 || !facesViewer(view.viewState()))
			return;
		auto& pipeline = GL::FixedFunctionPipeline::instance();
		pipeline.enable(view.viewState(), 1, nullptr);
		pipeline.setModelMatrix(matrix());
		pipeline.setDefaultColor(m_color);
		pipeline.setLineWidth(1.5);
		m_buffer.upload(outline(), {}, {});
		m_buffer.bind();
		m_buffer.draw(GL::VertexBuffer::LineLoop);
		pipeline.disable();
	}
}
