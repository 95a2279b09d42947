#include "host/gui/GlDataObject.h"

#include "host/lib/Data.h"

namespace Quorvale
{
	GlDataObject::GlDataObject(Data& data)
	{
		GlObject::setMatrix(data.matrixToWorld());
		data.signalMatrixChanged.connect(&m_receiver, [this, &data] { GlObject::setMatrix(data.matrixToWorld()); });
		data.signalDataChanged.connect(&m_receiver, [this] { ++m_version; });
	}

	GlDataObject::~GlDataObject() = default;

	Geometry::AlignedBox GlDataObject::boxOf(const std::vector<Eigen::Vector3d>& points)
	{
		Geometry::AlignedBox box;
		for (const Eigen::Vector3d& p : points)
			box.addPoint(p);
		return box;
	}
}
