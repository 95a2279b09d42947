#pragma once

#include "host/lib/QuorvaleFilePlugin.h"

#include <Eigen/Core>

#include <cstdint>
#include <vector>

namespace Quorvale
{
	class QuorvaleFileBodyReader;

	/// Stores a `PointCloud` as one block of a .qvf file (layout in docs/qvf-file-format.md): its
	/// matrix, layout and points in its own coordinates. `QuorvaleFile` has it registered from the start.
	class PointCloudFilePlugin : public QuorvaleFilePlugin
	{
	public:
		static constexpr uint32_t kBlockType = 3;

		std::unique_ptr<Data> createData(uint32_t blockType) const override;
		uint32_t blockType(const Data& data) const override;
		/// Reads a body into an empty point cloud; the count is checked against the bytes the block
		/// holds before memory is allocated.
		bool load(uint64_t bodySize, Data& data, std::istream& body) const override;
		bool write(const Data& data, std::ostream& body) const override;

		/// The points as a count and three doubles each, shared with the mesh block.
		static void writePoints(std::ostream& out, const std::vector<Eigen::Vector3d>& points);
		/// Reads what `writePoints` wrote; false when the block is too short for the count.
		static bool readPoints(QuorvaleFileBodyReader& reader, std::vector<Eigen::Vector3d>& points);
	};
}
