#include "host/lib/MorphologicalOperationsAlgorithm.h"

#include <cstddef>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "host/core/Log.h"
#include "host/core/Progress.h"
#include "host/lib/Morphology.h"

namespace Quorvale
{
	namespace
	{
		const std::string kCategory = "MorphologicalOperationsAlgorithm";
		/// Larger closing balls would overflow the padded grid's dimensions long before memory runs out.
		constexpr int kLargestRadius = 1 << 20;

		/// Passes progress on, mapped into the share [from, to] of the whole run.
		class SubProgress : public Progress
		{
		public:
			SubProgress(Progress* target, double from, double to)
			    : m_target(target)
			    , m_from(from)
			    , m_to(to)
			{
			}
			void update(double fraction, const std::string& step) override
			{
				if (m_target)
					m_target->update(m_from + (m_to - m_from) * fraction, step);
			}
			bool isCancelled() const override { return m_target && m_target->isCancelled(); }

		private:
			Progress* m_target;
			double m_from;
			double m_to;
		};
	}

	MorphologicalOperationsAlgorithm::MorphologicalOperationsAlgorithm(SharedImageSet& input)
	    : m_input(input)
	{
	}

	MorphologicalOperationsAlgorithm::~MorphologicalOperationsAlgorithm() = default;

	std::optional<std::string> MorphologicalOperationsAlgorithm::invalidSettings() const
	{
		if (m_input.isEmpty())
			return "The image set holds no image.";
		if (m_opMode != Closing && m_opMode != Skeletonization)
			return "Morphological operation " + std::to_string(m_opMode) + " is not available; use " + std::to_string(Closing) +
			       " (closing) or " + std::to_string(Skeletonization) + " (skeleton).";
		if (m_opMode == Closing && (m_opSize < 0 || m_opSize > kLargestRadius))
			return "The closing needs a radius of 0 to " + std::to_string(kLargestRadius) + " voxels, not " + std::to_string(m_opSize) +
			       ".";
		for (int i = 0; i < m_input.size(); ++i)
		{
			if (!m_input.selection().isSelected(i))
				continue;
			const ImageDescriptor& d = m_input.get(i)->descriptor();
			if (!ImageDescriptor::isNumericPixelType(d.pixelType()))
				return "Image " + std::to_string(i) + " of untyped pixel type " + std::to_string(d.pixelType()) +
				       " has no mask to work on.";
			if (d.channels() != 1)
				return "Morphological operations need one-channel images; image " + std::to_string(i) + " has " +
				       std::to_string(d.channels()) + ".";
		}
		return std::nullopt;
	}

	void MorphologicalOperationsAlgorithm::compute()
	{
		m_output.reset();
		auto fail = [this](int status, const std::string& message)
		{
			Log::log(Log::Error, kCategory, message);
			m_status = status;
		};
		if (std::optional<std::string> message = invalidSettings())
			return fail(InvalidInput, *message);

		std::vector<int> selected;
		for (int i = 0; i < m_input.size(); ++i)
			if (m_input.selection().isSelected(i))
				selected.push_back(i);

		auto output = m_inPlace ? nullptr : m_input.clone(SharedImageSet::CloneWithoutImages);
		try
		{
			for (std::size_t n = 0; n < selected.size(); ++n)
			{
				SharedImage& image = *m_input.get(selected[n]);
				std::unique_ptr<MemImage> result = apply(image, n, selected.size());
				if (m_inPlace)
				{
					image.setDirtyMem();
					continue;
				}
				auto made = std::make_unique<SharedImage>(std::move(result), image.name());
				made->setMatrixToWorld(image.matrixToWorld());
				made->setModality(image.modality());
				output->add(std::move(made));
			}
		}
		catch (const std::exception& e)
		{
			return fail(Error, std::string("Morphological operation failed: ") + e.what());
		}
		reportProgress(1.0);
		m_output = std::move(output);
		m_status = Success;
	}

	std::unique_ptr<MemImage> MorphologicalOperationsAlgorithm::apply(SharedImage& image, std::size_t n, std::size_t count)
	{
		reportProgress(static_cast<double>(n) / static_cast<double>(count), m_opMode == Closing ? "Closing" : "Skeletonization");
		if (m_opMode == Closing)
			return Morphology::close(*image.mem(), m_opSize, m_inPlace);
		SubProgress progress(m_progress, static_cast<double>(n) / static_cast<double>(count),
		                     static_cast<double>(n + 1) / static_cast<double>(count));
		return Morphology::skeleton(*image.mem(), m_inPlace, m_progress ? &progress : nullptr);
	}

	OwningDataList MorphologicalOperationsAlgorithm::takeOutput()
	{
		OwningDataList out;
		out.add(std::move(m_output));
		return out;
	}
}
