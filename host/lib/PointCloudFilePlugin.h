#pragma once

#include "host/lib/PointCloud.h"
#include "host/lib/QuorvaleFileDataPlugin.h"

#include <Eigen/Core>

#include <cstdint>
#include <vector>

namespace Quorvale
{
	/// Stores a `PointCloud` as one block of a .qvf file (layout in docs/qvf-file-format.md): its
	/// matrix, layout and points in its own coordinates. `QuorvaleFile` has it registered from the start.
	class PointCloudFilePlugin : public QuorvaleFileDataPlugin<PointCloud>
	{
	public:
		static constexpr uint32_t kBlockType = 3;

		PointCloudFilePlugin();

		/// The points as a count and three doubles each, shared with the mesh block.
		static void writePoints(std::ostream& out, const std::vector<Eigen::Vector3d>& points);
		/// Reads what `writePoints` wrote; false when the block is too short for the count.
		static bool readPoints(QuorvaleFileBodyReader& reader, std::vector<Eigen::Vector3d>& points);

	protected:
		/// Reads a body into an empty point cloud; the count is checked against the bytes the block
		/// holds before memory is allocated.
		bool readBody(QuorvaleFileBodyReader& reader, PointCloud& cloud) const override;
		bool writeBody(const PointCloud& cloud, std::ostream& body) const override;
	};
}
