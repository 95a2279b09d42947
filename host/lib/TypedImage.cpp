#include "host/lib/TypedImage.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "host/core/ThreadTeam.h"

namespace Quorvale
{
	namespace
	{
		// Checked before the base allocates the elements.
		template <typename T>
		const ImageDescriptor& requireAccepted(const ImageDescriptor& descriptor)
		{
			if (!TypedImage<T>::accepts(descriptor.pixelType()))
				throw std::invalid_argument("Pixel type " + std::to_string(descriptor.pixelType()) +
				                            " cannot be held as elements of type " + std::to_string(PixelTypeOf<T>::value));
			return descriptor;
		}
	}

	template <typename T>
	TypedImage<T>::TypedImage(ConstructionKey key, const ImageDescriptor& descriptor)
	    : MemImage(key, requireAccepted<T>(descriptor))
	{
	}

	template <typename T>
	TypedImage<T>::TypedImage(ConstructionKey key, const TypedImage& other)
	    : MemImage(key, other)
	{
	}

	template <typename T>
	bool TypedImage<T>::accepts(int pixelType)
	{
		if constexpr (std::is_same_v<T, float>)
			return pixelType == ImageDescriptor::Float || pixelType == ImageDescriptor::HalfFloat;
		else
			return pixelType == PixelTypeOf<T>::value;
	}

	template <typename T>
	std::unique_ptr<TypedImage<T>> TypedImage<T>::create(const ImageDescriptor& descriptor)
	{
		return std::make_unique<TypedImage<T>>(ConstructionKey{}, descriptor);
	}

	template <typename T>
	std::unique_ptr<TypedImage<T>> TypedImage<T>::create(const Eigen::Vector3i& dimensions, int channels)
	{
		return create(ImageDescriptor(PixelTypeOf<T>::value, dimensions, channels));
	}

	template <typename T>
	std::unique_ptr<TypedImage<T>> TypedImage<T>::clone() const
	{
		return std::make_unique<TypedImage<T>>(ConstructionKey{}, *this);
	}

	template <typename T>
	void TypedImage<T>::fill(T value)
	{
		T* p = pointer();
		std::fill(p, p + byteSize() / sizeof(T), value);
	}

	template <typename T>
	std::unique_ptr<MemImage> TypedImage<T>::cloneImpl() const
	{
		return clone();
	}

	template <typename T>
	std::optional<MemImage::ValueRange> TypedImage<T>::storageRange() const
	{
		// Plain char holds signed 8-bit values whatever the platform's char signedness.
		using V = std::conditional_t<std::is_same_v<T, char>, signed char, T>;
		const V* values = reinterpret_cast<const V*>(data());
		const auto count = static_cast<std::int64_t>(byteSize() / sizeof(T));
		V low = std::numeric_limits<V>::max();
		V high = std::numeric_limits<V>::lowest();
		const bool parallel = count > (std::int64_t(1) << 20);
		const Threading::ThreadTeam team(parallel);
#pragma omp parallel for reduction(min : low) reduction(max : high) if (parallel) num_threads(team.size())
		for (std::int64_t i = 0; i < count; ++i)
		{
			if constexpr (std::is_floating_point_v<V>)
				if (!std::isfinite(values[i]))
					continue;
			low = std::min(low, values[i]);
			high = std::max(high, values[i]);
		}
		// Nothing was counted: no element, or none finite.
		if (low > high)
			return std::nullopt;
		return ValueRange{static_cast<double>(low), static_cast<double>(high)};
	}

	template class TypedImage<char>;
	template class TypedImage<unsigned char>;
	template class TypedImage<short>;
	template class TypedImage<unsigned short>;
	template class TypedImage<int>;
	template class TypedImage<unsigned int>;
	template class TypedImage<float>;
	template class TypedImage<double>;
}
