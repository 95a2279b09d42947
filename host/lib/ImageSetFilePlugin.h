#pragma once

#include "host/lib/QuorvaleFileDataPlugin.h"
#include "host/lib/SharedImageSet.h"

#include <cstdint>
#include <vector>

namespace Quorvale
{
	/// Stores a `SharedImageSet` as one block of a .qvf file (layout in docs/qvf-file-format.md):
	/// the set's current image, selection, modality and own matrix, then per image its name, its
	/// descriptor (pixel type, dimensions, channels, spacing, storage mapping), modality, matrix
	/// and pixel bytes. `QuorvaleFile` has it registered from the start.
	class ImageSetFilePlugin : public QuorvaleFileDataPlugin<SharedImageSet>
	{
	public:
		/// The block type image sets are saved under.
		static constexpr uint32_t kBlockType = 1;

		ImageSetFilePlugin();

	protected:
		/// Reads a body into an empty image set. Every descriptor is validated and every size checked
		/// against the bytes the block holds before memory is allocated. False, with the reason logged,
		/// on any inconsistency.
		bool readBody(QuorvaleFileBodyReader& reader, SharedImageSet& set) const override;
		/// Writes the body of an image set after its tag. False, with the reason logged, when an image
		/// name is too long to store.
		bool writeBody(const SharedImageSet& set, std::ostream& body) const override;

	private:
		/// Reads `count` image records into `set`; false (logged) at the first that is damaged or
		/// cannot be made. An image that needs more memory than there is passes its std::length_error
		/// (`MemoryLimit`) or std::bad_alloc on, so that the file's reader can tell it from damage.
		static bool readImages(QuorvaleFileBodyReader& reader, uint32_t count, SharedImageSet& set);
		/// Makes `current` the current image and `selection` the selection of the `count` images read;
		/// false (logged) when either names an image the set does not have.
		static bool applyCurrentAndSelection(uint32_t count, uint32_t current, const std::vector<int>& selection, SharedImageSet& set);
	};
}
