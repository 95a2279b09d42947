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

#include "host/core/Log.h"
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
		const std::string kLogCategory = "QuorvaleFile";
		constexpr std::string_view kTag = "IMAGESET:";

		bool fail(const std::string& message)
		{
			Log::error(message, kLogCategory);
			return false;
		}

		void writeI32(std::ostream& out, int value) { QuorvaleFileIO::writeU32(out, static_cast<uint32_t>(value)); }

		void writeMatrix(std::ostream& out, const Eigen::Matrix4d& matrix)
		{
			for (int i = 0; i < 16; ++i)
				QuorvaleFileIO::writeF64(out, matrix.data()[i]); // column after column
		}

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

		std::unique_ptr<SharedImage> damaged(const std::string& message)
		{
			Log::error("Image set block is damaged: " + message, kLogCategory);
			return nullptr;
		}

		std::unique_ptr<SharedImage> readImage(QuorvaleFileBodyReader& reader, uint32_t index)
		{
			const std::string which = fmt::format("image {}", index);
			auto truncated = [&] { return damaged(fmt::format("it ends inside {}", which)); };
			uint32_t nameLength = 0;
			std::string name;
			if (!reader.u32(nameLength))
				return truncated();
			if (nameLength > reader.left())
				return damaged(fmt::format("the name of {} is longer than the block", which));
			if (!reader.bytes(nameLength, name))
				return truncated();

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
				return truncated();

			if (!std::isfinite(slope) || slope == 0.0 || !std::isfinite(intercept))
				return damaged(fmt::format("{} has an invalid storage mapping", which));
			ImageDescriptor descriptor(pixelType, dimensions, channels, spacing, metric != 0);
			descriptor.setStorageMapping(slope, intercept);
			const std::optional<uint64_t> expected = pixelBytes(descriptor);
			if (!descriptor.isValid() || !expected)
				return damaged(fmt::format("{} has an invalid descriptor", which));
			if (byteCount != *expected)
				return damaged(fmt::format("{} holds {} pixel bytes where its descriptor needs {}", which, byteCount, *expected));
			if (byteCount > reader.left())
				return truncated();

			std::shared_ptr<MemImage> mem = MemImage::create(descriptor);
			if (!reader.raw(mem->data(), byteCount))
				return truncated();
			auto image = std::make_unique<SharedImage>(std::move(mem), name);
			image->setModality(modality);
			image->setMatrixToWorld(matrix);
			return image;
		}
	}

	std::unique_ptr<Data> ImageSetFilePlugin::createData(uint32_t blockType) const
	{
		return blockType == kBlockType ? std::make_unique<SharedImageSet>() : nullptr;
	}

	uint32_t ImageSetFilePlugin::blockType(const Data& data) const { return dynamic_cast<const SharedImageSet*>(&data) ? kBlockType : 0; }

	bool ImageSetFilePlugin::write(const Data& data, std::ostream& out) const
	{
		const auto* set = dynamic_cast<const SharedImageSet*>(&data);
		if (!set)
			return false;
		out.write(kTag.data(), static_cast<std::streamsize>(kTag.size()));
		QuorvaleFileIO::writeU32(out, static_cast<uint32_t>(set->size()));
		QuorvaleFileIO::writeU32(out, static_cast<uint32_t>(set->currentIndex()));
		writeI32(out, set->modality());
		writeMatrix(out, set->Data::matrixToWorld());
		const std::vector<int>& selection = set->selection().indices();
		QuorvaleFileIO::writeU32(out, static_cast<uint32_t>(selection.size()));
		for (int index : selection)
			writeI32(out, index);

		for (int i = 0; i < set->size() && out; ++i)
		{
			const SharedImage& image = *set->get(i);
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
		out.flush();
		return out ? true : fail("Failed to write the image set block: the output stream failed");
	}

	bool ImageSetFilePlugin::load(uint64_t /*bodySize*/, Data& data, std::istream& in) const
	{
		auto* set = dynamic_cast<SharedImageSet*>(&data);
		if (!set)
			return false;
		QuorvaleFileBodyReader reader(in);
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
		set->setMatrixToWorld(matrix);
		set->setModality(modality);

		for (uint32_t i = 0; i < count; ++i)
		{
			std::unique_ptr<SharedImage> image;
			try
			{
				image = readImage(reader, i);
			}
			catch (const std::exception& e)
			{
				return fail(fmt::format("Image set block: image {} cannot be made: {}", i, e.what()));
			}
			if (!image)
				return false;
			set->add(std::move(image));
		}
		if (count > 0 && current >= count)
			return fail(fmt::format("Image set block is damaged: the current image {} is not one of its {} images", current, count));
		if (count > 0)
			set->setCurrentIndex(static_cast<int>(current));
		for (int index : selection)
			if (index < 0 || uint32_t(index) >= count)
				return fail(fmt::format("Image set block is damaged: the selection names image {} of {}", index, count));
		set->setSelection(Selection(selection));
		return true;
	}
}
