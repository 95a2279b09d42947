#pragma once

#include "host/lib/TypedImage.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace Quorvale
{
	/// Per-voxel operations on CPU images.
	namespace ImageProcessing
	{
		/// Options of `createThresholded`, combined bitwise.
		enum ThresholdFlags : int
		{
			/// Foreground where the value is strictly greater than the threshold; without it,
			/// greater or equal.
			StrictlyGreater = 1,
			/// Compare the original values (storage mapping applied); without it, the stored values.
			OriginalValues = 32
		};

		/// A one-channel unsigned 8-bit image of the same grid and spacing (identity storage mapping):
		/// 1 where channel 0 of `image` passes the threshold as `flags` say, 0 elsewhere; NaN is never
		/// foreground. Throws std::invalid_argument for an untyped image or for flag bits other than
		/// those of `ThresholdFlags`.
		std::unique_ptr<TypedImage<unsigned char>> createThresholded(const MemImage& image, double threshold, int flags);

		/// Calls `f` with the image as the `TypedImage<T>` of its element type and returns what `f`
		/// returns. Throws std::invalid_argument for an untyped image.
		template <typename F>
		decltype(auto) visit(MemImage& image, F&& f);
		template <typename F>
		decltype(auto) visit(const MemImage& image, F&& f);
	}
}

namespace Quorvale::ImageProcessing::Detail
{
	/// An element as a number; plain char is the signed 8-bit type whatever the platform's char signedness.
	template <typename T>
	double toDouble(T value)
	{
		return static_cast<double>(value);
	}
	inline double toDouble(char value) { return static_cast<double>(static_cast<signed char>(value)); }

	template <typename T, typename Image>
	auto& typed(Image& image)
	{
		using Target = std::conditional_t<std::is_const_v<Image>, const TypedImage<T>, TypedImage<T>>;
		auto* typedImage = dynamic_cast<Target*>(&image);
		if (!typedImage)
			throw std::invalid_argument("Image of pixel type " + std::to_string(image.pixelType()) + " is not held as typed elements");
		return *typedImage;
	}

	template <typename Image, typename F>
	decltype(auto) visitImpl(Image& image, F&& f)
	{
		switch (image.pixelType())
		{
			case ImageDescriptor::Char: return f(typed<char>(image));
			case ImageDescriptor::UnsignedChar: return f(typed<unsigned char>(image));
			case ImageDescriptor::Short: return f(typed<short>(image));
			case ImageDescriptor::UnsignedShort: return f(typed<unsigned short>(image));
			case ImageDescriptor::Int: return f(typed<int>(image));
			case ImageDescriptor::UnsignedInt: return f(typed<unsigned int>(image));
			case ImageDescriptor::Float:
			case ImageDescriptor::HalfFloat: return f(typed<float>(image));
			case ImageDescriptor::Double: return f(typed<double>(image));
			default:
				throw std::invalid_argument("Image of untyped pixel type " + std::to_string(image.pixelType()) + " has no numeric values");
		}
	}
}

template <typename F>
decltype(auto) Quorvale::ImageProcessing::visit(MemImage& image, F&& f)
{
	return Detail::visitImpl(image, std::forward<F>(f));
}

template <typename F>
decltype(auto) Quorvale::ImageProcessing::visit(const MemImage& image, F&& f)
{
	return Detail::visitImpl(image, std::forward<F>(f));
}
