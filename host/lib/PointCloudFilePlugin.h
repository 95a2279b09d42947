#pragma once

#include "host/lib/PointCloud.h"
#include "host/lib/QuorvaleFileDataPlugin.h"

#include <Eigen/Core>

#include <cstdint>
#include <string>
#include <vector>

namespace Quorvale
{
	/// Stores a `PointCloud` as one block of a .qvf file (layout in docs/qvf-file-format.md): its
	/// matrix, layout and points in its own coordinates. `QuorvaleFile` has it registered from the start.
	/// Points that are not finite are neither written nor read.
	class PointCloudFilePlugin : public QuorvaleFileDataPlugin<PointCloud>
	{
	public:
		static constexpr uint32_t kBlockType = 3;

		PointCloudFilePlugin();

		/// Bytes that reading a block takes besides the block and what is built from it: the
		/// objects around them and their pages' rounding.
		static constexpr double kReadingBytes = 64 * 1024;

		/// The points as a count and three doubles each, shared with the mesh block.
		static void writePoints(std::ostream& out, const std::vector<Eigen::Vector3d>& points);
		/// Reads what `writePoints` wrote. Gives why it cannot ("it is truncated", "vertex 3 is not
		/// finite", naming a point as `noun`, several as `nouns`), empty when the points were read.
		/// Throws std::length_error, before allocating, when `bytesPerPoint` times their count and
		/// the `heldBytes` already held (the block's) would not fit in memory (`MemoryLimit`).
		static std::string readPoints(QuorvaleFileBodyReader& reader, std::vector<Eigen::Vector3d>& points, const char* noun,
		                              const char* nouns, double bytesPerPoint, double heldBytes);
		/// "vertex 3 is not finite" for the first point that is not, naming it as `noun`; empty when all are.
		static std::string nonFinite(const std::vector<Eigen::Vector3d>& points, const char* noun);

	protected:
		/// Reads a body into an empty point cloud; the count is checked against the bytes the block
		/// holds and the memory limit (with the block, which is held meanwhile) before memory is allocated.
		bool readBody(QuorvaleFileBodyReader& reader, PointCloud& cloud) const override;
		bool writeBody(const PointCloud& cloud, std::ostream& body) const override;
	};
}
