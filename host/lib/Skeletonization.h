#pragma once

#include "host/lib/TypedImage.h"

#include <cstdint>

namespace Quorvale
{
	class Progress;

	/// Curve thinning of binary volumes: the directional thinning of Lee, Kashyap and Chu (1994)
	/// with a complete simple-point test. The object is 26-connected and the background
	/// 6-connected (8 and 4 in a 2-D image); everything outside the image is background.
	///
	/// Each round peels the object from the six face directions in turn (four in 2-D). For one
	/// direction, every object voxel whose neighbour in that direction is background, that is not
	/// an end point (exactly one object neighbour) and that is simple is a candidate; the test runs
	/// in parallel over the border voxels. The candidates are then deleted subfield by subfield
	/// (the eight parity classes of (x, y, z), whose members are never 26-adjacent), each one after
	/// testing it again on the current object. Deleting a voxel changes only the tests of its 26
	/// neighbours, so the deletions within one subfield are independent: they run in parallel and
	/// give exactly the result of a sequential pass in subfield order, whatever the thread count.
	/// Rounds repeat until one deletes nothing. Only simple points are ever deleted, so every
	/// component, tunnel and cavity is kept, and so is at least one voxel of every component.
	namespace Skeletonization
	{
		/// Bit of the neighbourhood word that holds the voxel at offset (dx, dy, dz), each in -1..1;
		/// bit 13 is the centre.
		constexpr int bit(int dx, int dy, int dz) { return (dx + 1) + 3 * (dy + 1) + 9 * (dz + 1); }

		/// True when the centre of the 3x3x3 neighbourhood (bits as `bit` gives, set for object
		/// voxels; the centre bit is ignored) is simple: its object neighbours form exactly one
		/// 26-connected set, and the background voxels among its 18 face and edge neighbours that
		/// are 6-connected to a face neighbour form exactly one 6-connected set.
		bool isSimple(std::uint32_t neighbourhood);
		/// True when exactly one of the 26 neighbours belongs to the object.
		bool isEndPoint(std::uint32_t neighbourhood);

		/// Thins the non-zero voxels of a one-channel unsigned 8-bit image in place to its curve
		/// skeleton, written as 1 (0 elsewhere). Reports the share of deleted voxels to `progress`.
		/// Throws std::invalid_argument for an image with several channels.
		void thin(TypedImage<unsigned char>& mask, Progress* progress = nullptr);
	}
}
