#include "host/lib/PointCloudFilePlugin.h"

#include <istream>
#include <ostream>
#include <string_view>

#include "host/core/Log.h"
#include "host/lib/PointCloud.h"
#include "host/lib/QuorvaleFileBodyReader.h"
#include "host/lib/QuorvaleFileIO.h"

namespace Quorvale
{
	namespace
	{
		constexpr std::string_view kTag = "POINTCLOUD:";

		bool fail(const std::string& message)
		{
			Log::error(message, "QuorvaleFile");
			return false;
		}
	}

	std::unique_ptr<Data> PointCloudFilePlugin::createData(uint32_t blockType) const
	{
		return blockType == kBlockType ? std::make_unique<PointCloud>() : nullptr;
	}

	uint32_t PointCloudFilePlugin::blockType(const Data& data) const { return dynamic_cast<const PointCloud*>(&data) ? kBlockType : 0; }

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

	bool PointCloudFilePlugin::write(const Data& data, std::ostream& out) const
	{
		const auto* cloud = dynamic_cast<const PointCloud*>(&data);
		if (!cloud)
			return false;
		out.write(kTag.data(), static_cast<std::streamsize>(kTag.size()));
		for (int i = 0; i < 16; ++i)
			QuorvaleFileIO::writeF64(out, cloud->matrixToWorld().data()[i]);
		QuorvaleFileIO::writeU32(out, static_cast<uint32_t>(cloud->width()));
		QuorvaleFileIO::writeU32(out, static_cast<uint32_t>(cloud->height()));
		writePoints(out, cloud->points());
		out.flush();
		return out ? true : fail("Failed to write the point cloud block: the output stream failed");
	}

	bool PointCloudFilePlugin::load(uint64_t, Data& data, std::istream& in) const
	{
		auto* cloud = dynamic_cast<PointCloud*>(&data);
		if (!cloud)
			return false;
		QuorvaleFileBodyReader reader(in);
		Eigen::Matrix4d matrix;
		int width = 0, height = 0;
		std::vector<Eigen::Vector3d> points;
		if (!reader.tag(kTag) || !reader.matrix(matrix) || !reader.i32(width) || !reader.i32(height) || !readPoints(reader, points))
			return fail("Point cloud block is truncated or damaged");
		cloud->setMatrixToWorld(matrix);
		cloud->setLayout(width, height);
		cloud->setPoints(std::move(points));
		return true;
	}
}
