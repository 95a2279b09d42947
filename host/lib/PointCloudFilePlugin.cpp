#include "host/lib/PointCloudFilePlugin.h"

#include <istream>
#include <ostream>
#include <string_view>

#include "host/lib/PointCloud.h"
#include "host/lib/QuorvaleFileBodyReader.h"
#include "host/lib/QuorvaleFileIO.h"

namespace Quorvale
{
	namespace
	{
		constexpr std::string_view kTag = "POINTCLOUD:";
	}

	PointCloudFilePlugin::PointCloudFilePlugin()
	    : QuorvaleFileDataPlugin(kBlockType, kTag, "point cloud")
	{
	}

	void PointCloudFilePlugin::writePoints(std::ostream& out, const std::vector<Eigen::Vector3d>& points)
	{
		QuorvaleFileIO::writeU64(out, points.size());
		for (const Eigen::Vector3d& p : points)
			for (int k = 0; k < 3; ++k)
				QuorvaleFileIO::writeF64(out, p[k]);
	}

	bool PointCloudFilePlugin::readPoints(QuorvaleFileBodyReader& reader, std::vector<Eigen::Vector3d>& points)
	{
		uint64_t count = 0;
		if (!reader.u64(count) || !reader.fits(count, 24))
			return false;
		points.resize(count);
		for (Eigen::Vector3d& p : points)
			for (int k = 0; k < 3; ++k)
				if (!reader.f64(p[k]))
					return false;
		return true;
	}

	bool PointCloudFilePlugin::writeBody(const PointCloud& cloud, std::ostream& out) const
	{
		writeMatrix(out, cloud.matrixToWorld());
		QuorvaleFileIO::writeU32(out, static_cast<uint32_t>(cloud.width()));
		QuorvaleFileIO::writeU32(out, static_cast<uint32_t>(cloud.height()));
		writePoints(out, cloud.points());
		return true;
	}

	bool PointCloudFilePlugin::readBody(QuorvaleFileBodyReader& reader, PointCloud& cloud) const
	{
		Eigen::Matrix4d matrix;
		int width = 0, height = 0;
		std::vector<Eigen::Vector3d> points;
		if (!reader.tag(kTag) || !reader.matrix(matrix) || !reader.i32(width) || !reader.i32(height) || !readPoints(reader, points))
			return fail("Point cloud block is truncated or damaged");
		cloud.setMatrixToWorld(matrix);
		cloud.setLayout(width, height);
		cloud.setPoints(std::move(points));
		return true;
	}
}
