#include "host/lib/ImageMath/ArrayBase.h"

namespace Quorvale::ImageMath::internal
{
	int ArrayBase::defaultDeviceStrategy(const ImageDescriptor& descriptor)
	{
		switch (descriptor.pixelType())
		{
			case ImageDescriptor::Double:
			case ImageDescriptor::Int:
			case ImageDescriptor::UnsignedInt: return CpuOnly;
			default: return descriptor.channels() > 4 ? CpuOnly : GpuIfResident;
		}
	}
}
