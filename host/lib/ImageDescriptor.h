#pragma once

#include <Eigen/Core>

#include <cstddef>

namespace Quorvale
{
	/// Layout of an image in memory: element type, grid size, channel count and voxel size.
	///
	/// Pixels are stored with x fastest, then y, then z; the channels of one pixel are interleaved,
	/// so element `index(x, y, z) * channels + c` holds channel c of pixel (x, y, z). A 2-D image has
	/// z dimension 1.
	///
	/// Values are kept in a storage form that maps linearly to the original values:
	/// original = storage * slope + intercept (identity by default). Integer images that hold
	/// rescaled measurements use it; most images keep the identity.
	///
	/// Pixel coordinates are integer at voxel centres. Image coordinates are millimetres centred on
	/// the volume: image = (pixel - (dimensions - 1) / 2) * spacing.
	class ImageDescriptor
	{
	public:
		/// Element type codes (the OpenGL pixel-type enumerants).
		enum PixelType : int
		{
			Char = 5120,
			UnsignedChar = 5121,
			Short = 5122,
			UnsignedShort = 5123,
			Int = 5124,
			UnsignedInt = 5125,
			Float = 5126,
			/// Untyped elements of 2, 3 and 4 bytes: storage only, no numeric values.
			Bytes2 = 5127,
			Bytes3 = 5128,
			Bytes4 = 5129,
			Double = 5130,
			/// Half float, held in memory as 32-bit float.
			HalfFloat = 5131
		};

		/// An empty descriptor: unsigned 8-bit, dimensions (0, 0, 0), one channel, spacing 1 mm.
		ImageDescriptor() = default;
		ImageDescriptor(int pixelType, const Eigen::Vector3i& dimensions, int channels = 1,
		                const Eigen::Vector3d& spacing = Eigen::Vector3d::Ones(), bool isMetric = true);

		/// True for the codes of `PixelType`.
		static bool isKnownPixelType(int pixelType);
		/// Bytes per element of a pixel type (4 for half float, which is held as float); 0 for an unknown code.
		static int typeSize(int pixelType);
		/// True for the eight numeric element types and half float.
		static bool isNumericPixelType(int pixelType);

		int pixelType() const { return m_pixelType; }
		void setPixelType(int pixelType) { m_pixelType = pixelType; }

		const Eigen::Vector3i& dimensions() const { return m_dimensions; }
		/// Sets the grid size; a positive `channels` also sets the channel count, 0 keeps it.
		void setDimensions(const Eigen::Vector3i& dimensions, int channels = 0);
		/// 3 when the z dimension is larger than 1, else 2.
		int dimension() const { return m_dimensions.z() > 1 ? 3 : 2; }

		int channels() const { return m_channels; }
		void setChannels(int channels) { m_channels = channels; }

		/// Voxel size per axis; millimetres when `isMetric`.
		const Eigen::Vector3d& spacing() const { return m_spacing; }
		void setSpacing(const Eigen::Vector3d& spacing, bool isMetric = true);
		bool isMetric() const { return m_isMetric; }
		/// Size of the volume per axis: dimensions times spacing.
		Eigen::Vector3d extent() const { return m_dimensions.cast<double>().cwiseProduct(m_spacing); }

		/// Number of pixels (all channels of a pixel count once).
		std::size_t size() const;
		/// Bytes per element of this descriptor's pixel type.
		int typeSize() const { return typeSize(m_pixelType); }
		/// Bytes of the whole image: size() * channels * typeSize().
		std::size_t byteSize() const;

		/// Linear pixel index of (x, y, z), x fastest. No range check.
		std::size_t index(int x, int y, int z) const
		{
			return static_cast<std::size_t>(x) +
			       static_cast<std::size_t>(m_dimensions.x()) *
			           (static_cast<std::size_t>(y) + static_cast<std::size_t>(m_dimensions.y()) * static_cast<std::size_t>(z));
		}
		/// Linear element index of channel `channel` of pixel (x, y, z). No range check.
		std::size_t elementIndex(int x, int y, int z, int channel) const
		{
			return index(x, y, z) * static_cast<std::size_t>(m_channels) + static_cast<std::size_t>(channel);
		}
		/// Integer pixel coordinates of a linear pixel index (the inverse of `index`).
		Eigen::Vector3i coord(std::size_t index) const;
		/// True when (x, y, z) lies on the grid.
		bool isInside(int x, int y, int z) const;

		/// Storage mapping: original = storage * slope + intercept.
		double storageToOriginal(double value) const { return value * m_slope + m_intercept; }
		/// Inverse of `storageToOriginal`.
		double originalToStorage(double value) const { return (value - m_intercept) / m_slope; }
		double slope() const { return m_slope; }
		double intercept() const { return m_intercept; }
		/// Sets the storage mapping; throws std::invalid_argument unless the slope is finite and
		/// not zero and the intercept finite.
		void setStorageMapping(double slope, double intercept);
		/// True for the identity mapping.
		bool hasIdentityStorageMapping() const { return m_slope == 1.0 && m_intercept == 0.0; }

		/// Pixel to image coordinates (see the class comment).
		Eigen::Matrix4d pixelToImageMatrix() const;
		/// Image to pixel coordinates; requires a positive spacing.
		Eigen::Matrix4d imageToPixelMatrix() const;

		/// True when the pixel type is known, every dimension and the channel count are positive,
		/// the spacing is positive and finite, and the storage mapping is invertible.
		bool isValid() const;

		bool operator==(const ImageDescriptor& other) const;
		bool operator!=(const ImageDescriptor& other) const { return !(*this == other); }

	private:
		int m_pixelType = UnsignedChar;
		Eigen::Vector3i m_dimensions = Eigen::Vector3i::Zero();
		int m_channels = 1;
		Eigen::Vector3d m_spacing = Eigen::Vector3d::Ones();
		bool m_isMetric = true;
		double m_slope = 1.0;
		double m_intercept = 0.0;
	};
}
