#include "host/lib/ImageSetFilePlugin.h"

#include <cmath>
#include <istream>
#include <limits>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "host/lib/MemImage.h"
#include "host/lib/QuorvaleFileBodyReader.h"
#include "host/lib/QuorvaleFileIO.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"

// Pixel bytes are stored as they lie in memory, which is the file's little-endian order only on
// such machines.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the .qvf image block stores pixels little-endian");

namespace Quorvale
{
	namespace
	{
		constexpr std::string_view kTag = "IMAGESET:";

		void writeI32(std::ostream& out, int value) { QuorvaleFileIO::writeU32(out, static_cast<uint32_t>(value)); }

		/// Bytes of the pixels a valid descriptor describes, or empty when the product overflows.
		std::optional<uint64_t> pixelBytes(const ImageDescriptor& d)
		{
			uint64_t total = static_cast<uint64_t>(d.typeSize());
			for (uint64_t factor :
			     {uint64_t(d.dimensions().x()), uint64_t(d.dimensions().y()), uint64_t(d.dimensions().z()), uint64_t(d.channels())})
				if (__builtin_mul_overflow(total, factor, &total))
					return std::nullopt;
			return total;
		}

		/// An image record that does not fit its block or its own fields; the message says how.
		class Damaged : public std::runtime_error
		{
		public:
			using std::runtime_error::runtime_error;
		};

		std::unique_ptr<SharedImage> readImage(QuorvaleFileBodyReader& reader, uint32_t index)
		{
			const std::string which = fmt::format("image {}", index);
			auto truncated = [&] { return Damaged(fmt::format("it ends inside {}", which)); };
			uint32_t nameLength = 0;
			std::string name;
			if (!reader.u32(nameLength))
				throw truncated();
			if (nameLength > reader.left())
				throw Damaged(fmt::format("the name of {} is longer than the block", which));
			if (!reader.bytes(nameLength, name))
				throw truncated();

			int pixelType = 0, channels = 0, modality = 0;
			Eigen::Vector3i dimensions;
			Eigen::Vector3d spacing;
			uint8_t metric = 0;
			double slope = 0, intercept = 0;
			Eigen::Matrix4d matrix;
			uint64_t byteCount = 0;
			if (!reader.i32(pixelType) || !reader.i32(dimensions.x()) || !reader.i32(dimensions.y()) || !reader.i32(dimensions.z()) ||
			    !reader.i32(channels) || !reader.f64(spacing.x()) || !reader.f64(spacing.y()) || !reader.f64(spacing.z()) ||
			    !reader.u8(metric) || !reader.f64(slope) || !reader.f64(intercept) || !reader.i32(modality) || !reader.matrix(matrix) ||
			    !reader.u64(byteCount))
				throw truncated();

			if (!std::isfinite(slope) || slope == 0.0 || !std::isfinite(intercept))
				throw Damaged(fmt::format("{} has an invalid storage mapping", which));
			ImageDescriptor descriptor(pixelType, dimensions, channels, spacing, metric != 0);
			descriptor.setStorageMapping(slope, intercept);
			const std::optional<uint64_t> expected = pixelBytes(descriptor);
			if (!descriptor.isValid() || !expected)
				throw Damaged(fmt::format("{} has an invalid descriptor", which));
			if (byteCount != *expected)
				throw Damaged(fmt::format("{} holds {} pixel bytes where its descriptor needs {}", which, byteCount, *expected));
			if (byteCount > reader.left())
				throw truncated();

			std::shared_ptr<MemImage> mem = MemImage::create(descriptor);
			if (!reader.raw(mem->data(), byteCount))
				throw truncated();
			auto image = std::make_unique<SharedImage>(std::move(mem), name);
			image->setModality(modality);
			image->setMatrixToWorld(matrix);
			return image;
		}
	}

	ImageSetFilePlugin::ImageSetFilePlugin()
	    : QuorvaleFileDataPlugin(kBlockType, kTag, "image set")
	{
	}

	bool ImageSetFilePlugin::writeBody(const SharedImageSet& set, std::ostream& out) const
	{
		QuorvaleFileIO::writeU32(out, static_cast<uint32_t>(set.size()));
		QuorvaleFileIO::writeU32(out, static_cast<uint32_t>(set.currentIndex()));
		writeI32(out, set.modality());
		writeMatrix(out, set.Data::matrixToWorld());
		const std::vector<int>& selection = set.selection().indices();
		QuorvaleFileIO::writeU32(out, static_cast<uint32_t>(selection.size()));
		for (int index : selection)
			writeI32(out, index);

		for (int i = 0; i < set.size() && out; ++i)
		{
			const SharedImage& image = *set.get(i);
			const ImageDescriptor& d = image.descriptor();
			if (image.name().size() > std::numeric_limits<uint32_t>::max())
				return fail("Cannot save an image set: an image name is too long");
			QuorvaleFileIO::writeU32(out, static_cast<uint32_t>(image.name().size()));
			QuorvaleFileIO::writeBytes(out, image.name());
			writeI32(out, d.pixelType());
			for (int axis = 0; axis < 3; ++axis)
				writeI32(out, d.dimensions()[axis]);
			writeI32(out, d.channels());
			for (int axis = 0; axis < 3; ++axis)
				QuorvaleFileIO::writeF64(out, d.spacing()[axis]);
			QuorvaleFileIO::writeU8(out, d.isMetric() ? 1 : 0);
			QuorvaleFileIO::writeF64(out, d.slope());
			QuorvaleFileIO::writeF64(out, d.intercept());
			writeI32(out, image.modality());
			writeMatrix(out, image.matrixToWorld());
			QuorvaleFileIO::writeU64(out, image.mem()->byteSize());
			out.write(static_cast<const char*>(image.mem()->data()), static_cast<std::streamsize>(image.mem()->byteSize()));
		}
		return true;
	}

	bool ImageSetFilePlugin::readBody(QuorvaleFileBodyReader& reader, SharedImageSet& set) const
	{
		std::string tag;
		if (!reader.bytes(kTag.size(), tag) || tag != kTag)
			return fail("Image set block is damaged: it does not start with its tag");

		uint32_t count = 0, current = 0, selectionCount = 0;
		int modality = 0;
		Eigen::Matrix4d matrix;
		if (!reader.u32(count) || !reader.u32(current) || !reader.i32(modality) || !reader.matrix(matrix) || !reader.u32(selectionCount))
			return fail("Image set block is truncated or damaged: cannot read the set");
		// An image record takes at least its fixed fields: name length, descriptor, modality, matrix, byte count.
		constexpr uint64_t kMinImageRecord = 4 + 5 * 4 + 3 * 8 + 1 + 2 * 8 + 4 + 16 * 8 + 8;
		if (count > reader.left() / kMinImageRecord)
			return fail(fmt::format("Image set block is damaged: {} images exceed what the block holds", count));
		if (selectionCount > reader.left() / 4)
			return fail(fmt::format("Image set block is damaged: a selection of {} images exceeds what the block holds", selectionCount));
		std::vector<int> selection(selectionCount);
		for (int& index : selection)
			if (!reader.i32(index))
				return fail("Image set block is truncated or damaged: cannot read the selection");
		// The set's own values first: while it is empty they touch no image.
		set.setMatrixToWorld(matrix);
		set.setModality(modality);
		return readImages(reader, count, set) && applyCurrentAndSelection(count, current, selection, set);
	}

	bool ImageSetFilePlugin::readImages(QuorvaleFileBodyReader& reader, uint32_t count, SharedImageSet& set)
	{
		for (uint32_t i = 0; i < count; ++i)
		{
			std::unique_ptr<SharedImage> image;
			try
			{
				image = readImage(reader, i);
			}
			catch (const Damaged& e)
			{
				return fail(std::string("Image set block is damaged: ") + e.what());
			}
			// Memory that the image would need: the reader of the file tells it from damage.
			catch (const std::length_error&)
			{
				throw;
			}
			catch (const std::bad_alloc&)
			{
				throw;
			}
			catch (const std::exception& e)
			{
				return fail(fmt::format("Image set block: image {} cannot be made: {}", i, e.what()));
			}
			set.add(std::move(image));
		}
		return true;
	}

	bool ImageSetFilePlugin::applyCurrentAndSelection(uint32_t count, uint32_t current, const std::vector<int>& selection,
	                                                  SharedImageSet& set)
	{
		if (count > 0 && current >= count)
			return fail(fmt::format("Image set block is damaged: the current image {} is not one of its {} images", current, count));
		if (count > 0)
			set.setCurrentIndex(static_cast<int>(current));
		for (int index : selection)
			if (index < 0 || uint32_t(index) >= count)
				return fail(fmt::format("Image set block is damaged: the selection names image {} of {}", index, count));
		set.setSelection(Selection(selection));
		return true;
	}
}
