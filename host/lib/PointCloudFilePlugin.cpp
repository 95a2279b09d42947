#include "host/lib/PointCloudFilePlugin.h"

#include <istream>
#include <ostream>
#include <string_view>

#include <fmt/format.h>

#include "host/core/MemoryLimit.h"

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

	std::string PointCloudFilePlugin::readPoints(QuorvaleFileBodyReader& reader, std::vector<Eigen::Vector3d>& points, const char* noun,
	                                             const char* nouns, double bytesPerPoint, double heldBytes)
	{
		uint64_t count = 0;
		if (!reader.u64(count) || !reader.fits(count, 24))
			return "it is truncated or damaged";
		MemoryLimit::require(heldBytes + bytesPerPoint * static_cast<double>(count), fmt::format("Its {} {}", count, nouns));
		points.resize(count);
		for (Eigen::Vector3d& p : points)
			for (int k = 0; k < 3; ++k)
				if (!reader.f64(p[k]))
					return "it is truncated or damaged";
		return nonFinite(points, noun);
	}

	std::string PointCloudFilePlugin::nonFinite(const std::vector<Eigen::Vector3d>& points, const char* noun)
	{
		for (size_t i = 0; i < points.size(); ++i)
			if (!points[i].allFinite())
				return fmt::format("{} {} is not finite ({}, {}, {})", noun, i, points[i].x(), points[i].y(), points[i].z());
		return {};
	}

	bool PointCloudFilePlugin::writeBody(const PointCloud& cloud, std::ostream& out) const
	{
		if (const std::string fault = nonFinite(cloud.points(), "point"); !fault.empty())
			return fail("Cannot write the point cloud: " + fault);
		writeMatrix(out, cloud.matrixToWorld());
		QuorvaleFileIO::writeU32(out, static_cast<uint32_t>(cloud.width()));
		QuorvaleFileIO::writeU32(out, static_cast<uint32_t>(cloud.height()));
		writePoints(out, cloud.points());
		return true;
	}

	bool PointCloudFilePlugin::readBody(QuorvaleFileBodyReader& reader, PointCloud& cloud) const
	{
		// The block is held while it is read.
		const double block = static_cast<double>(reader.left()) + kReadingBytes;
		Eigen::Matrix4d matrix;
		int width = 0, height = 0;
		std::vector<Eigen::Vector3d> points;
		if (!reader.tag(kTag) || !reader.matrix(matrix) || !reader.i32(width) || !reader.i32(height))
			return fail("Point cloud block is truncated or damaged");
		if (const std::string fault = readPoints(reader, points, "point", "points", sizeof(Eigen::Vector3d), block); !fault.empty())
			return fail("Point cloud block: " + fault);
		cloud.setMatrixToWorld(matrix);
		cloud.setLayout(width, height);
		cloud.setPoints(std::move(points));
		return true;
	}
}
