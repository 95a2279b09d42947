#include "host/lib/SharedImage.h"

#include <stdexcept>

namespace Quorvale
{
	SharedImage::SharedImage(std::shared_ptr<MemImage> mem, std::string name)
	    : Data(std::move(name))
	    , m_mem(std::move(mem))
	{
		if (!m_mem)
			throw std::invalid_argument("A shared image needs a memory image");
	}

	SharedImage::~SharedImage() = default;

	void SharedImage::setModality(int modality)
	{
		if (modality == m_modality)
			return;
		m_modality = modality;
		signalDataChanged.emitSignal();
	}

	void SharedImage::setDirtyMem() { signalDataChanged.emitSignal(); }

	ImageDescriptorWorld SharedImage::descriptorWorld() const { return ImageDescriptorWorld(descriptor(), matrixToWorld()); }

	Eigen::Matrix4d SharedImage::worldToPixelMatrix() const { return descriptorWorld().worldToPixelMatrix(); }

	std::unique_ptr<SharedImage> SharedImage::clone() const
	{
		auto copy = std::make_unique<SharedImage>(m_mem->clone(), name());
		static_cast<Data&>(*copy) = *this;
		copy->m_modality = m_modality;
		return copy;
	}
}
