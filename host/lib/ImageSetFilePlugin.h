#pragma once

#include "host/lib/QuorvaleFilePlugin.h"

#include <cstdint>

namespace Quorvale
{
	/// Stores a `SharedImageSet` as one block of a .qvf file (layout in docs/qvf-file-format.md):
	/// the set's current image, selection, modality and own matrix, then per image its name, its
	/// descriptor (pixel type, dimensions, channels, spacing, storage mapping), modality, matrix
	/// and pixel bytes. `QuorvaleFile` has it registered from the start.
	class ImageSetFilePlugin : public QuorvaleFilePlugin
	{
	public:
		/// The block type image sets are saved under.
		static constexpr uint32_t kBlockType = 1;

		/// An empty `SharedImageSet` for `kBlockType`, else null.
		std::unique_ptr<Data> createData(uint32_t blockType) const override;
		/// `kBlockType` for a `SharedImageSet`, 0 for other data.
		uint32_t blockType(const Data& data) const override;
		/// Reads a body into an empty image set. Every descriptor is validated and every size checked
		/// against the bytes the block holds before memory is allocated. False, with the reason logged,
		/// on any inconsistency.
		bool load(uint64_t bodySize, Data& data, std::istream& body) const override;
		/// Writes the body of an image set. False, with the reason logged, for other data or when the
		/// stream fails.
		bool write(const Data& data, std::ostream& body) const override;
	};
}
