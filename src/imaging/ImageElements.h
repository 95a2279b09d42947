#pragma once

#include "host/lib/ImageDescriptor.h"

#include <cmath>
#include <cstdint>
#include <type_traits>

/// Reading and storing image elements of the eight numeric element types, and the choice of the
/// element type from a pixel-type code.
namespace Quorvale::ImageMath::internal
{
	/// Names an element type as a value, for generic lambdas.
	template <typename T>
	struct ElementTag
	{
		using type = T;
	};

	/// Calls `function(ElementTag<T>{})` with the element type that holds `pixelType` (half float
	/// is held as float) and returns true; returns false for a code without one (the untyped 2-,
	/// 3- and 4-byte codes and unknown codes).
	template <typename F>
	bool withElementType(int pixelType, F&& function)
	{
		switch (pixelType)
		{
			case ImageDescriptor::Char: function(ElementTag<char>{}); return true;
			case ImageDescriptor::UnsignedChar: function(ElementTag<unsigned char>{}); return true;
			case ImageDescriptor::Short: function(ElementTag<short>{}); return true;
			case ImageDescriptor::UnsignedShort: function(ElementTag<unsigned short>{}); return true;
			case ImageDescriptor::Int: function(ElementTag<int>{}); return true;
			case ImageDescriptor::UnsignedInt: function(ElementTag<unsigned int>{}); return true;
			case ImageDescriptor::Float:
			case ImageDescriptor::HalfFloat: function(ElementTag<float>{}); return true;
			case ImageDescriptor::Double: function(ElementTag<double>{}); return true;
			default: return false;
		}
	}

	/// True when both codes are held in memory as the same element type.
	bool sameElementType(int pixelType, int otherPixelType);

	/// An element as double. Plain char is the signed 8-bit type whatever the platform's char.
	template <typename T>
	inline double toDouble(T value)
	{
		if constexpr (std::is_same_v<T, char>)
			return static_cast<double>(static_cast<signed char>(value));
		else
			return static_cast<double>(value);
	}

	/// The element that stores `value`. Integer types take the nearest integer (halves away from
	/// zero) as a 64-bit integer and keep its low-order bytes, so values outside the type's range
	/// wrap. NaN stores 0 and values beyond the 64-bit range are clamped to it first: converting
	/// them would be undefined. Float narrows, double stores the value as it is.
	template <typename T>
	inline T fromDouble(double value)
	{
		if constexpr (std::is_floating_point_v<T>)
			return static_cast<T>(value);
		else
		{
			const double rounded = std::round(value);
			std::int64_t integer = 0;
			if (rounded >= 9223372036854775808.0)
				integer = INT64_MAX;
			else if (rounded >= -9223372036854775808.0)
				integer = static_cast<std::int64_t>(rounded);
			else if (rounded < 0.0)
				integer = INT64_MIN;
			return static_cast<T>(static_cast<std::uint64_t>(integer));
		}
	}
}
