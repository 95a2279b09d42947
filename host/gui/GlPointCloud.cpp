#include "host/gui/GlPointCloud.h"

#include "host/gl/FixedFunctionPipeline.h"
#include "host/gui/GlView.h"
#include "host/lib/PointCloud.h"

namespace Quorvale
{
	GlPointCloud::GlPointCloud(PointCloud& cloud)
	    : GlDataObject(cloud)
	    , m_cloud(&cloud)
	{
	}

	GlPointCloud::~GlPointCloud() = default;

	Geometry::AlignedBox GlPointCloud::bounds() const { return boxOf(m_cloud->points()); }

	void GlPointCloud::draw(const GlView& view)
	{
		if (!visible() || m_cloud->numberOfPoints() == 0 || view.kind() == GlView::Planar)
			return;
		if (m_pointsVersion != dataVersion())
		{
			m_points.upload(m_cloud->points(), {}, {});
			m_pointsVersion = dataVersion();
		}
		auto& pipeline = GL::FixedFunctionPipeline::instance();
		pipeline.enable(view.viewState(), 0, nullptr);
		pipeline.setModelMatrix(matrix());
		pipeline.setDefaultColor(color());
		pipeline.setPointSize(PointSize);
		pipeline.enablePointSmoothing();
		m_points.bind();
		m_points.draw(GL::VertexBuffer::Points);
		pipeline.disable();
	}
}
