#pragma once

#include "host/lib/ImageMath/ArrayBase.h"
#include "host/lib/ImageMath/ArrayGl.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "src/imaging/ImageElements.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace Quorvale::ImageMath
{
	/// An array operand: the leaf of an image expression that reads or writes an image. `X` is
	/// the image type, `T` its element type for the typed arrays over CPU memory (void otherwise);
	/// `N` is always 0. An array refers to its image without owning it.
	template <typename X, typename T, int N>
	class Array;

	/// An array over an image set; assignments work image by image.
	template <>
	class Array<SharedImageSet, void, 0> : public internal::ArrayBase, public internal::ArrayGl
	{
	public:
		/// Starts with the default strategy of the set's current image (`CpuOnly` for an empty set).
		Array(SharedImageSet& images, bool rawValues, std::uint32_t magFilter, std::uint32_t wrap, const Extra& extra = {});

		/// The current image's layout; an empty descriptor for an empty set.
		ImageDescriptor imgDesc() const override;
		/// The set's size.
		int imageCount() const override { return m_images->size(); }

		SharedImageSet& images() const { return *m_images; }

		bool isVoidArray() const override { return true; }

	protected:
		const void* imageKey() const override;
		const SharedImage* glImage() const override { return m_images->get(-1); }

	private:
		SharedImageSet* m_images;
	};

	/// An array over one image.
	template <>
	class Array<SharedImage, void, 0> : public internal::ArrayBase, public internal::ArrayGl
	{
	public:
		/// Starts with the default strategy of the image's layout.
		Array(SharedImage& image, bool rawValues, std::uint32_t magFilter, std::uint32_t wrap, const Extra& extra = {});

		ImageDescriptor imgDesc() const override { return m_image->descriptor(); }
		int imageCount() const override { return 1; }

		SharedImage& image() const { return *m_image; }

		bool isVoidArray() const override { return true; }

	protected:
		const void* imageKey() const override { return m_image; }
		const SharedImage* glImage() const override { return m_image; }

	private:
		SharedImage* m_image;
	};

	/// A typed array over CPU memory with elements of type T, for CPU evaluation.
	template <typename T>
	class Array<TypedImage<T>, T, 0> : public internal::ArrayBase, public internal::ArrayGl
	{
	public:
		/// Starts with the strategy `CpuOnly`.
		Array(TypedImage<T>& image, bool rawValues, std::uint32_t magFilter, std::uint32_t wrap, const Extra& extra = {})
		    : ArrayBase(rawValues, extra)
		    , ArrayGl(magFilter, wrap)
		    , m_image(&image)
		    , m_data(image.pointer())
		    , m_channels(static_cast<std::size_t>(image.descriptor().channels()))
		    , m_rowStride(static_cast<std::size_t>(image.descriptor().dimensions().x()) * m_channels)
		    , m_sliceStride(static_cast<std::size_t>(image.descriptor().dimensions().y()) * m_rowStride)
		{
		}

		/// The typed array over `source`'s CPU memory, with all of `source`'s settings; empty when
		/// that memory does not hold elements of type T. The image keeps the memory alive.
		static std::optional<Array> fromShared(const Array<SharedImage, void, 0>& source)
		{
			auto memory = std::dynamic_pointer_cast<TypedImage<T>>(source.image().sharedMem());
			if (!memory)
				return std::nullopt;
			Array array(*memory, source.rawValues(), source.magFilter(), source.wrap(), source.extra());
			array.setDeviceStrategy(source.deviceStrategy());
			return array;
		}

		ImageDescriptor imgDesc() const override { return m_image->descriptor(); }
		int imageCount() const override { return 1; }

		TypedImage<T>& image() const { return *m_image; }
		T* data() const { return m_data; }

		/// Channel `channel` of pixel (x, y, z) as double, in original units unless `rawValues`.
		double value(int x, int y, int z, int channel) const
		{
			const std::size_t element = static_cast<std::size_t>(z) * m_sliceStride + static_cast<std::size_t>(y) * m_rowStride +
			                            static_cast<std::size_t>(x) * m_channels + static_cast<std::size_t>(channel);
			const double stored = internal::toDouble(m_data[element]);
			return rawValues() ? stored : m_image->descriptor().storageToOriginal(stored);
		}

		bool isVoidArray() const override { return false; }

	protected:
		const void* imageKey() const override { return m_image; }
		const SharedImage* glImage() const override { return nullptr; }

	private:
		TypedImage<T>* m_image;
		T* m_data;
		// The element layout of a memory image never changes (only its spacing and storage
		// mapping can), so the strides are taken once.
		std::size_t m_channels;
		std::size_t m_rowStride;
		std::size_t m_sliceStride;
	};

	using ArraySet = Array<SharedImageSet, void, 0>;
	using ArrayImage = Array<SharedImage, void, 0>;
	template <typename T>
	using TypedArray = Array<TypedImage<T>, T, 0>;
}
