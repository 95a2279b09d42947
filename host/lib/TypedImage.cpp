#include "host/lib/TypedImage.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <type_traits>

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

	template class TypedImage<char>;
	template class TypedImage<unsigned char>;
	template class TypedImage<short>;
	template class TypedImage<unsigned short>;
	template class TypedImage<int>;
	template class TypedImage<unsigned int>;
	template class TypedImage<float>;
	template class TypedImage<double>;
}
