#include "host/lib/ImageResamplingAlgorithm.h"

#include <cstddef>
#include <exception>
#include <optional>
#include <string>

#include <Eigen/LU>

#include "host/core/Log.h"
#include "host/core/ThreadTeam.h"
#include "host/lib/ImageResampling.h"

namespace Quorvale
{
	namespace
	{
		const std::string kCategory = "ImageResamplingAlgorithm";

		std::string describeGrid(const ImageDescriptorWorld& d)
		{
			return std::to_string(d.dimensions().x()) + "x" + std::to_string(d.dimensions().y()) + "x" +
			       std::to_string(d.dimensions().z()) + " with spacing " + std::to_string(d.spacing().x()) + ", " +
			       std::to_string(d.spacing().y()) + ", " + std::to_string(d.spacing().z());
		}

		bool isUsableGrid(const ImageDescriptorWorld& d)
		{
			return (d.dimensions().array() > 0).all() && d.spacing().allFinite() && (d.spacing().array() > 0.0).all() &&
			       d.matrixToWorld().allFinite() && d.matrixToWorld().topLeftCorner<3, 3>().determinant() != 0.0;
		}
	}

	ImageResamplingAlgorithm::ImageResamplingAlgorithm(const SharedImageSet& input, std::vector<ImageDescriptorWorld> targets)
	    : m_input(input)
	    , m_targets(std::move(targets))
	{
	}

	ImageResamplingAlgorithm::~ImageResamplingAlgorithm() = default;

	std::optional<std::string> ImageResamplingAlgorithm::invalidSettings() const
	{
		if (m_input.isEmpty())
			return "The image set to resample holds no image.";
		if (m_reductionMode != Maximum)
			return "Reduction mode " + std::to_string(m_reductionMode) + " is not available; use " + std::to_string(Maximum) +
			       " (maximum).";
		if (m_targets.size() != 1 && m_targets.size() != static_cast<std::size_t>(m_input.size()))
			return "Resampling needs one target grid or one per image; got " + std::to_string(m_targets.size()) + " for " +
			       std::to_string(m_input.size()) + " image(s).";
		for (const ImageDescriptorWorld& target : m_targets)
			if (!isUsableGrid(target))
				return "Invalid target grid " + describeGrid(target) + ".";
		return std::nullopt;
	}

	void ImageResamplingAlgorithm::compute()
	{
		m_output.reset();
		if (std::optional<std::string> message = invalidSettings())
		{
			fail(InvalidInput, *message);
			return;
		}

		std::vector<int> selected;
		for (int i = 0; i < m_input.size(); ++i)
			if (m_input.selection().isSelected(i))
				selected.push_back(i);

		auto output = m_input.clone(SharedImageSet::CloneWithoutImages);
		for (std::size_t n = 0; n < selected.size(); ++n)
		{
			reportProgress(static_cast<double>(n) / static_cast<double>(selected.size()), "Resampling");
			std::unique_ptr<SharedImage> resampled = resampleImage(selected[n]);
			if (!resampled)
				return;
			output->add(std::move(resampled));
		}
		reportProgress(1.0, "Resampling");
		m_output = std::move(output);
		m_status = Success;
	}

	std::unique_ptr<SharedImage> ImageResamplingAlgorithm::resampleImage(int i)
	{
		const SharedImage& image = *m_input.get(i);
		const ImageDescriptorWorld& target = m_targets.size() == 1 ? m_targets.front() : m_targets[static_cast<std::size_t>(i)];
		const ImageDescriptor& sd = image.descriptor();
		if (!ImageDescriptor::isNumericPixelType(sd.pixelType()))
			return fail(InvalidInput, "Image " + std::to_string(i) + " of untyped pixel type " + std::to_string(sd.pixelType()) +
			                              " cannot be resampled.");
		const Eigen::Matrix4d targetToSource = image.descriptorWorld().worldToPixelMatrix() * target.pixelToWorldMatrix();
		if (!targetToSource.allFinite())
			return fail(InvalidInput, "Image " + std::to_string(i) + " has a singular placement and cannot be resampled.");

		ImageDescriptor descriptor(sd.pixelType(), target.dimensions(), sd.channels(), target.spacing(), target.isMetric());
		descriptor.setStorageMapping(sd.slope(), sd.intercept());
		std::unique_ptr<MemImage> mem;
		try
		{
			// One team fills the new image and resamples into it.
			const Threading::ThreadTeam team(descriptor.size() * static_cast<std::size_t>(descriptor.channels()) >= (1u << 15));
			mem = MemImage::create(descriptor);
			ImageResampling::resampleMaximum(*image.mem(), *mem, targetToSource);
		}
		catch (const std::exception& e)
		{
			return fail(Error, "Could not resample image " + std::to_string(i) + " onto " + describeGrid(target) + ": " + e.what());
		}
		auto resampled = std::make_unique<SharedImage>(std::move(mem), image.name());
		resampled->setMatrixToWorld(target.matrixToWorld());
		resampled->setModality(image.modality());
		return resampled;
	}

	std::nullptr_t ImageResamplingAlgorithm::fail(int status, const std::string& message)
	{
		Log::log(Log::Error, kCategory, message);
		m_status = status;
		return nullptr;
	}

	OwningDataList ImageResamplingAlgorithm::takeOutput()
	{
		OwningDataList out;
		out.add(std::move(m_output));
		return out;
	}
}
