#pragma once

#include "host/lib/SharedImage.h"
#include "host/lib/TypedImage.h"
#include "src/imaging/Array.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <type_traits>

namespace Quorvale::ImagingTest
{
	using ElementTypes = ::testing::Types<char, unsigned char, short, unsigned short, int, unsigned int, float, double>;

	/// The value an element holds, as the kernels read it (plain char is signed).
	template <typename T>
	double asDouble(T value)
	{
		if constexpr (std::is_same_v<T, char>)
			return static_cast<signed char>(value);
		else
			return static_cast<double>(value);
	}

	/// What a kernel stores for `value`, computed independently of the kernels: the nearest
	/// integer (halves away from zero) reduced to the type's width, or the value narrowed.
	/// Only for values well inside the 64-bit range.
	template <typename T>
	T stored(double value)
	{
		if constexpr (std::is_floating_point_v<T>)
			return static_cast<T>(value);
		else
			return static_cast<T>(static_cast<std::uint64_t>(std::llround(value)));
	}

	/// A zero-filled image of element type T.
	template <typename T>
	std::unique_ptr<SharedImage> makeImage(const Eigen::Vector3i& dimensions, int channels)
	{
		return std::make_unique<SharedImage>(TypedImage<T>::create(dimensions, channels));
	}

	template <typename T>
	TypedImage<T>& typed(SharedImage& image)
	{
		return dynamic_cast<TypedImage<T>&>(*image.mem());
	}

	/// Fills an image with reproducible values that the type can hold, halves included for
	/// floating-point types.
	template <typename T>
	void fillRandom(TypedImage<T>& image, unsigned seed)
	{
		std::mt19937 random(seed);
		const double low = std::is_signed_v<T> ? -100.0 : 0.0;
		std::uniform_int_distribution<int> steps(0, sizeof(T) == 1 ? 200 : 400);
		T* data = image.pointer();
		const std::size_t count = image.byteSize() / sizeof(T);
		for (std::size_t i = 0; i < count; ++i)
		{
			const double value = low + steps(random) * (std::is_floating_point_v<T> ? 0.5 : 1.0);
			data[i] = static_cast<T>(value);
		}
	}

	/// An image operand as the kernels' callers build them: original values, nearest
	/// filtering, clamped to the edge.
	inline ImageMath::ArrayImage arrayOf(SharedImage& image)
	{
		return ImageMath::ArrayImage(image, false, ImageMath::internal::ArrayGl::nearestFilter, ImageMath::internal::ArrayGl::clampToEdge);
	}

	/// Counts the change signals of an image.
	struct ChangeCounter
	{
		explicit ChangeCounter(SharedImage& image)
		{
			image.signalDataChanged.connect([this] { ++count; });
		}
		int count = 0;
	};
}
