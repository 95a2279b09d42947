#include "host/lib/ImageMath/BinaryOpBase.h"

#include <algorithm>

namespace Quorvale::ImageMath::internal
{
	BinaryOpBase::BinaryOpBase(const ImageDescriptor& left, int leftImages, const ImageDescriptor& right, int rightImages, int pixelType)
	    : m_descriptor(leftImages > 0 || rightImages == 0 ? left : right)
	{
		m_descriptor.setChannels(std::max(left.channels(), right.channels()));
		m_descriptor.setPixelType(pixelType);
	}
}
