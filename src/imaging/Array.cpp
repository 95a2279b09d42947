#include "src/imaging/Array.h"

namespace Quorvale::ImageMath
{
	Array<SharedImageSet, void, 0>::Array(SharedImageSet& images, bool rawValues, std::uint32_t magFilter, std::uint32_t wrap,
	                                      const Extra& extra)
	    : ArrayBase(rawValues, extra)
	    , ArrayGl(magFilter, wrap)
	    , m_images(&images)
	{
		if (const SharedImage* current = images.get(-1))
			setDeviceStrategy(defaultDeviceStrategy(current->descriptor()));
	}

	ImageDescriptor Array<SharedImageSet, void, 0>::imgDesc() const
	{
		const SharedImage* current = m_images->get(-1);
		return current ? current->descriptor() : ImageDescriptor();
	}

	const void* Array<SharedImageSet, void, 0>::imageKey() const
	{
		if (const SharedImage* current = m_images->get(-1))
			return current;
		return m_images;
	}

	Array<SharedImage, void, 0>::Array(SharedImage& image, bool rawValues, std::uint32_t magFilter, std::uint32_t wrap, const Extra& extra)
	    : ArrayBase(rawValues, extra)
	    , ArrayGl(magFilter, wrap)
	    , m_image(&image)
	{
		setDeviceStrategy(defaultDeviceStrategy(image.descriptor()));
	}
}
