#include "host/gui/GlPoint.h"

#include "host/gl/FixedFunctionPipeline.h"
#include "host/gui/GlView.h"

namespace Quorvale
{
	GlPoint::GlPoint() = default;

	GlPoint::~GlPoint() = default;

	void GlPoint::draw(const GlView& view)
	{
		if (m_dotSize <= 0.0)
			return;
		auto& pipeline = GL::FixedFunctionPipeline::instance();
		pipeline.enable(view.viewState(), 0, nullptr);
		pipeline.setModelMatrix(matrix());
		pipeline.setDefaultColor(m_color);
		pipeline.enablePointSmoothing();
		pipeline.setPointSize(m_dotSize);
		m_buffer.upload({m_point}, {}, {});
		m_buffer.bind();
		m_buffer.draw(GL::VertexBuffer::Points);
		pipeline.disablePointSmoothing();
		pipeline.disable();
	}
}
