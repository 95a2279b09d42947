#pragma once

#include "host/lib/ImageDescriptor.h"

#include <Eigen/Core>

#include <cstddef>
#include <memory>
#include <optional>

namespace Quorvale
{
	/// An image in CPU memory: a descriptor and its elements, laid out as the descriptor says.
	///
	/// Images of the numeric pixel types are always `TypedImage<T>` objects (a float image also
	/// holds half-float data), so `dynamic_cast<TypedImage<T>*>` reaches their typed elements. The
	/// untyped 2-, 3- and 4-byte codes are plain `MemImage` objects: bytes without numeric values.
	/// Create images with `MemImage::create` or `TypedImage<T>::create`; elements start at zero.
	class MemImage
	{
	protected:
		/// Restricts construction to the factories while keeping the constructors usable by
		/// std::make_unique.
		struct ConstructionKey
		{
			explicit ConstructionKey() = default;
		};

	public:
		/// The smallest and the largest of some values.
		struct ValueRange
		{
			double low = 0.0;
			double high = 0.0;
		};

		/// Use `create`. Throws like `create`.
		MemImage(ConstructionKey, const ImageDescriptor& descriptor);
		/// Use `clone`.
		MemImage(ConstructionKey, const MemImage& other);
		virtual ~MemImage();
		MemImage(const MemImage&) = delete;
		MemImage& operator=(const MemImage&) = delete;

		/// A zero-filled image: a `TypedImage<T>` for the numeric pixel types, a plain `MemImage` for
		/// the untyped ones. Throws std::invalid_argument for an invalid descriptor and
		/// std::length_error when the byte size does not fit in memory addressing.
		static std::unique_ptr<MemImage> create(const ImageDescriptor& descriptor);

		const ImageDescriptor& descriptor() const { return m_descriptor; }
		int pixelType() const { return m_descriptor.pixelType(); }
		/// Changes the voxel size (the element layout stays). Throws std::invalid_argument unless
		/// every component is positive and finite.
		void setSpacing(const Eigen::Vector3d& spacing, bool isMetric = true);
		/// Changes the storage mapping (see `ImageDescriptor::setStorageMapping`).
		void setStorageMapping(double slope, double intercept);

		/// The elements, `descriptor().byteSize()` bytes.
		void* data() { return m_bytes.get(); }
		const void* data() const { return m_bytes.get(); }
		std::size_t byteSize() const { return m_size; }

		/// A deep copy of the same dynamic type.
		std::unique_ptr<MemImage> clone() const { return cloneImpl(); }

		/// The original value (storage mapping applied) of channel `channel` at the continuous pixel
		/// coordinates `pixel` (integers are voxel centres). With `interpolate`, trilinear between
		/// the eight surrounding voxel centres (bilinear in a 2-D image); otherwise the nearest voxel
		/// (halves round up). A position up to half a voxel outside the grid on any axis is clamped
		/// to the edge voxels; one further out, or a non-finite one, yields `fallback` unchanged.
		/// Throws std::out_of_range for a bad channel and std::logic_error for an untyped image.
		double valueAt(const Eigen::Vector3d& pixel, int channel, bool interpolate, double fallback) const;

		/// The smallest and largest original value (storage mapping applied) over every element of
		/// every channel, NaN and infinities left out. None for an untyped image and for one without a
		/// finite value. Reads the whole buffer each time: keep the result (`SharedImage::valueRange`).
		std::optional<ValueRange> valueRange() const;

	private:
		virtual std::unique_ptr<MemImage> cloneImpl() const;
		/// The range of the stored elements (before the storage mapping); none for untyped bytes.
		virtual std::optional<ValueRange> storageRange() const { return std::nullopt; }

		ImageDescriptor m_descriptor;
		std::size_t m_size = 0;
		/// Filled and copied by all threads: large volumes are written once at creation, and this
		/// spreads that first pass (and the pages) over the cores.
		std::unique_ptr<unsigned char[]> m_bytes;
	};
}
