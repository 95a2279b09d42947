#include "host/lib/SharedImageSet.h"

#include "host/lib/MemImage.h"

#include <stdexcept>
#include <string>

namespace Quorvale
{
	SharedImageSet::SharedImageSet(std::string name)
	    : Data(std::move(name))
	{
	}

	SharedImageSet::SharedImageSet(std::unique_ptr<SharedImage> image, std::string name)
	    : Data(name.empty() && image ? image->name() : std::move(name))
	{
		add(std::move(image));
	}

	SharedImageSet::~SharedImageSet() = default;

	SharedImage* SharedImageSet::get(int index) const
	{
		if (index == -1)
			return m_images.empty() ? nullptr : m_images[static_cast<size_t>(m_currentIndex)].get();
		if (index < 0 || index >= size())
			throw std::out_of_range("Image " + std::to_string(index) + " of a set of " + std::to_string(size()) + " image(s)");
		return m_images[static_cast<size_t>(index)].get();
	}

	MemImage* SharedImageSet::mem(int index) const
	{
		SharedImage* image = get(index);
		return image ? image->mem() : nullptr;
	}

	SharedImage* SharedImageSet::add(std::unique_ptr<SharedImage> image)
	{
		if (!image)
			return nullptr;
		m_images.push_back(std::move(image));
		signalDataChanged.emitSignal();
		return m_images.back().get();
	}

	void SharedImageSet::setCurrentIndex(int index)
	{
		if (index < 0 || index >= size())
			throw std::out_of_range("Current image " + std::to_string(index) + " of a set of " + std::to_string(size()) + " image(s)");
		m_currentIndex = index;
	}

	int SharedImageSet::modality() const
	{
		const SharedImage* current = get(-1);
		return current ? current->modality() : m_modality;
	}

	void SharedImageSet::setModality(int modality)
	{
		const bool changed = modality != m_modality || modality != this->modality();
		m_modality = modality;
		for (auto& image : m_images)
			image->setModality(modality);
		if (changed)
			signalDataChanged.emitSignal();
	}

	const Eigen::Matrix4d& SharedImageSet::matrixToWorld() const
	{
		const SharedImage* current = get(-1);
		return current ? current->matrixToWorld() : Data::matrixToWorld();
	}

	void SharedImageSet::setMatrixToWorld(const Eigen::Matrix4d& matrix)
	{
		for (auto& image : m_images)
			image->setMatrixToWorld(matrix);
		Data::setMatrixToWorld(matrix);
	}

	std::unique_ptr<SharedImageSet> SharedImageSet::clone(int options) const
	{
		auto copy = std::make_unique<SharedImageSet>(name());
		// Copies name and components; the matrix is copied below through the current image's.
		static_cast<Data&>(*copy) = *this;
		copy->Data::setMatrixToWorld(matrixToWorld());
		copy->m_modality = modality();
		if (options == CloneWithoutImages)
			return copy;
		for (const auto& image : m_images)
			copy->m_images.push_back(image->clone());
		copy->m_currentIndex = m_currentIndex;
		copy->m_selection = m_selection;
		return copy;
	}
}
