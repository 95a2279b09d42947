#pragma once

#include "host/lib/MemImage.h"

#include <Eigen/Core>

#include <memory>

namespace Quorvale
{
	/// The pixel-type code that a C++ element type is stored under (float also holds half float).
	template <typename T>
	struct PixelTypeOf;
	template <>
	struct PixelTypeOf<char>
	{
		static constexpr int value = ImageDescriptor::Char;
	};
	template <>
	struct PixelTypeOf<unsigned char>
	{
		static constexpr int value = ImageDescriptor::UnsignedChar;
	};
	template <>
	struct PixelTypeOf<short>
	{
		static constexpr int value = ImageDescriptor::Short;
	};
	template <>
	struct PixelTypeOf<unsigned short>
	{
		static constexpr int value = ImageDescriptor::UnsignedShort;
	};
	template <>
	struct PixelTypeOf<int>
	{
		static constexpr int value = ImageDescriptor::Int;
	};
	template <>
	struct PixelTypeOf<unsigned int>
	{
		static constexpr int value = ImageDescriptor::UnsignedInt;
	};
	template <>
	struct PixelTypeOf<float>
	{
		static constexpr int value = ImageDescriptor::Float;
	};
	template <>
	struct PixelTypeOf<double>
	{
		static constexpr int value = ImageDescriptor::Double;
	};

	/// A CPU image with elements of type T: char (signed 8-bit), unsigned char, short, unsigned
	/// short, int, unsigned int, float or double.
	template <typename T>
	class TypedImage : public MemImage
	{
	public:
		/// Use `create`.
		TypedImage(ConstructionKey key, const ImageDescriptor& descriptor);
		/// Use `clone`.
		TypedImage(ConstructionKey key, const TypedImage& other);

		/// True for the pixel-type codes held as T (float: 5126 and half float 5131).
		static bool accepts(int pixelType);
		/// A zero-filled image. Throws std::invalid_argument when the descriptor is invalid or its
		/// pixel type is not held as T, std::length_error when it is too large.
		static std::unique_ptr<TypedImage> create(const ImageDescriptor& descriptor);
		/// A zero-filled image of T's own pixel type, spacing 1 mm.
		static std::unique_ptr<TypedImage> create(const Eigen::Vector3i& dimensions, int channels = 1);

		T* pointer() { return static_cast<T*>(data()); }
		const T* pointer() const { return static_cast<const T*>(data()); }
		/// Channel `channel` of pixel (x, y, z); no range check.
		T& at(int x, int y, int z = 0, int channel = 0) { return pointer()[descriptor().elementIndex(x, y, z, channel)]; }
		const T& at(int x, int y, int z = 0, int channel = 0) const { return pointer()[descriptor().elementIndex(x, y, z, channel)]; }

		/// A deep copy.
		std::unique_ptr<TypedImage> clone() const;
		/// Sets every element to `value`.
		void fill(T value);

	private:
		std::unique_ptr<MemImage> cloneImpl() const override;
		std::optional<ValueRange> storageRange() const override;
	};

	extern template class TypedImage<char>;
	extern template class TypedImage<unsigned char>;
	extern template class TypedImage<short>;
	extern template class TypedImage<unsigned short>;
	extern template class TypedImage<int>;
	extern template class TypedImage<unsigned int>;
	extern template class TypedImage<float>;
	extern template class TypedImage<double>;
}
