#include "host/lib/PointCloud.h"

#include <Eigen/Geometry>
#include <fmt/format.h>

namespace Quorvale
{
	PointCloud::PointCloud(std::string name)
	    : Data(std::move(name))
	{
	}

	PointCloud::PointCloud(std::vector<Eigen::Vector3d> points, int width, int height, std::string name)
	    : Data(std::move(name))
	    , m_points(std::move(points))
	    , m_width(width)
	    , m_height(height)
	{
	}

	PointCloud::~PointCloud() = default;

	Geometry::AlignedBox PointCloud::bounds() const
	{
		Geometry::AlignedBox box;
		const Eigen::Matrix4d& toWorld = matrixToWorld();
		for (const Eigen::Vector3d& p : m_points)
			box.addPoint((toWorld * p.homogeneous()).head<3>());
		return box;
	}

	std::string PointCloud::describe() const { return fmt::format("Point cloud '{}' with {} points", name(), m_points.size()); }

	void PointCloud::setPoints(std::vector<Eigen::Vector3d> points)
	{
		m_points = std::move(points);
		signalDataChanged.emitSignal();
	}

	void PointCloud::setLayout(int width, int height)
	{
		m_width = width;
		m_height = height;
	}
}
