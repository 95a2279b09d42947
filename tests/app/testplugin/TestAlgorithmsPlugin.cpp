// A plug-in library for the command line's end-to-end tests. It registers the factory "Test" with small
// algorithms on image sets, each standing for one way an algorithm can behave towards the program:
// a new result with parameters of several types, a change of the input in place, several results, a
// result no file can hold, a failure, and an input/output algorithm for the listing.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/core/Log.h"
#include "host/core/Parameter.h"
#include "host/lib/AlgorithmFactory.h"
#include "host/lib/FactoryRegistry.h"
#include "host/lib/IoAlgorithm.h"
#include "host/lib/PluginAutoRegistrationGuard.h"
#include "host/lib/PluginDescriptor.h"
#include "host/lib/QuorvaleLibPlugin.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"

using namespace Quorvale;

namespace
{
	/// The single image set of a one-item selection, or null.
	SharedImageSet* singleImageSet(const DataList& list)
	{
		if (list.size() != 1)
			return nullptr;
		auto* set = dynamic_cast<SharedImageSet*>(list.get(0));
		return set && !set->isEmpty() ? set : nullptr;
	}

	/// Makes a `T` on the selection when `accepts` says it can run on it.
	template <typename T>
	bool createOn(bool accepts, SharedImageSet* set, Algorithm** out)
	{
		if (accepts && out)
			*out = new T(set);
		return accepts;
	}

	/// Marks each voxel of every image as 1 (or `label`) when it lies above (or below) `threshold`,
	/// else 0, in a new unsigned 8-bit image set without a name.
	class ThresholdAlgorithm : public Algorithm
	{
	public:
		enum Mode
		{
			Above = 0,
			Below = 1
		};

		explicit ThresholdAlgorithm(SharedImageSet* input)
		    : m_input(input)
		{
			mode.setAttribute("values", "Above, Below");
		}

		static bool createCompatible(const DataList& list, Algorithm** out)
		{
			SharedImageSet* set = singleImageSet(list);
			return createOn<ThresholdAlgorithm>(set != nullptr, set, out);
		}

		void compute() override
		{
			const int marked = label.value().value_or(1);
			if (marked < 1 || marked > 255)
			{
				Log::error("The label must lie between 1 and 255, not " + std::to_string(marked), "Test.Threshold");
				m_status = InvalidInput;
				return;
			}
			auto result = std::make_unique<SharedImageSet>();
			for (int i = 0; i < m_input->size(); ++i)
			{
				const SharedImage& image = *m_input->get(i);
				const ImageDescriptor& descriptor = image.descriptor();
				auto mask = TypedImage<unsigned char>::create(descriptor.dimensions());
				mask->setSpacing(descriptor.spacing());
				const Eigen::Vector3i& size = descriptor.dimensions();
				for (int z = 0; z < size.z(); ++z)
					for (int y = 0; y < size.y(); ++y)
						for (int x = 0; x < size.x(); ++x)
						{
							const double value = image.mem()->valueAt(Eigen::Vector3d(x, y, z), 0, false, 0.0);
							const bool passes = mode.value() == Above ? value > threshold.value() : value < threshold.value();
							mask->at(x, y, z) = passes ? static_cast<unsigned char>(marked) : 0;
						}
				auto maskImage = std::make_unique<SharedImage>(std::unique_ptr<MemImage>(std::move(mask)));
				maskImage->setMatrixToWorld(image.matrixToWorld());
				result->add(std::move(maskImage));
				reportProgress(double(i + 1) / m_input->size(), "thresholding");
			}
			m_result = std::move(result);
			m_status = Success;
		}

		OwningDataList takeOutput() override
		{
			OwningDataList out;
			out.add(std::move(m_result));
			return out;
		}

		Parameter<double> threshold{"threshold", 0.0, this};
		Parameter<Mode> mode{"mode", Above, this};
		Parameter<std::optional<int>> label{"label", this};

	private:
		SharedImageSet* m_input;
		std::unique_ptr<SharedImageSet> m_result;
	};

	/// Negates every value of its float images in place and hands over nothing.
	class InvertAlgorithm : public Algorithm
	{
	public:
		explicit InvertAlgorithm(SharedImageSet* input)
		    : m_input(input)
		{
		}

		static bool createCompatible(const DataList& list, Algorithm** out)
		{
			SharedImageSet* set = singleImageSet(list);
			bool accepts = set != nullptr;
			for (int i = 0; accepts && i < set->size(); ++i)
				accepts = set->get(i)->descriptor().pixelType() == ImageDescriptor::Float;
			return createOn<InvertAlgorithm>(accepts, set, out);
		}

		void compute() override
		{
			for (int i = 0; i < m_input->size(); ++i)
			{
				auto& image = dynamic_cast<TypedImage<float>&>(*m_input->get(i)->mem());
				for (size_t k = 0; k < image.descriptor().size() * static_cast<size_t>(image.descriptor().channels()); ++k)
					image.pointer()[k] = -image.pointer()[k];
				m_input->get(i)->setDirtyMem();
			}
			m_status = Success;
		}

	private:
		SharedImageSet* m_input;
	};

	/// Hands over `count` copies of its input set, named "copy 1", "copy 2", ...
	class CopyAlgorithm : public Algorithm
	{
	public:
		explicit CopyAlgorithm(SharedImageSet* input)
		    : m_input(input)
		{
		}

		static bool createCompatible(const DataList& list, Algorithm** out)
		{
			SharedImageSet* set = singleImageSet(list);
			return createOn<CopyAlgorithm>(set != nullptr, set, out);
		}

		void compute() override
		{
			m_copies.clear();
			for (int i = 0; i < count.value(); ++i)
			{
				auto copy = m_input->clone();
				copy->setName("copy " + std::to_string(i + 1));
				m_copies.push_back(std::move(copy));
			}
			m_status = Success;
		}

		OwningDataList takeOutput() override
		{
			OwningDataList out;
			for (auto& copy : m_copies)
				out.add(std::move(copy));
			m_copies.clear();
			return out;
		}

		Parameter<int> count{"count", 2, this};

	private:
		SharedImageSet* m_input;
		std::vector<std::unique_ptr<SharedImageSet>> m_copies;
	};

	/// Hands over a plain data object, which no file format holds.
	class BareDataAlgorithm : public Algorithm
	{
	public:
		explicit BareDataAlgorithm(SharedImageSet*) {}

		static bool createCompatible(const DataList& list, Algorithm** out)
		{
			SharedImageSet* set = singleImageSet(list);
			return createOn<BareDataAlgorithm>(set != nullptr, set, out);
		}

		void compute() override { m_status = Success; }

		OwningDataList takeOutput() override
		{
			OwningDataList out;
			out.add(std::make_unique<Data>("note"));
			return out;
		}
	};

	/// Accepts any selection and always fails as invalid input, with an error in the log.
	class FailAlgorithm : public Algorithm
	{
	public:
		explicit FailAlgorithm(SharedImageSet*) {}

		static bool createCompatible(const DataList&, Algorithm** out) { return createOn<FailAlgorithm>(true, nullptr, out); }

		void compute() override
		{
			Log::error("This algorithm refuses every input", "Test.Fail");
			// Some algorithms log an error and still claim success.
			m_status = status.value();
		}

		Parameter<int> status{"status", InvalidInput, this};
	};

	/// An input/output algorithm that only exists to be listed as one.
	class ReaderAlgorithm : public IoAlgorithm
	{
	public:
		explicit ReaderAlgorithm(SharedImageSet*)
		    : IoAlgorithm(IoMode::Read, LocalFile)
		{
		}

		static bool createCompatible(const DataList& list, Algorithm** out)
		{
			return createOn<ReaderAlgorithm>(list.isEmpty(), nullptr, out);
		}

		std::vector<std::string> supportedFileExtensions() const override { return {"tst"}; }
		void compute() override { fail(); }
	};

	class TestFactory : public AlgorithmFactory
	{
	public:
		TestFactory()
		    : AlgorithmFactory("Test")
		{
			registerAlgorithm<ThresholdAlgorithm>("Threshold", "Test;Threshold");
			registerAlgorithm<InvertAlgorithm>("Invert", "Test;Invert in place");
			registerAlgorithm<CopyAlgorithm>("Copy", "Test;Copy");
			registerAlgorithm<BareDataAlgorithm>("BareData", "Test;Bare data");
			registerAlgorithm<FailAlgorithm>("Fail", "Test;Fail");
			registerAlgorithm<ReaderAlgorithm>("Reader", "IO;Test reader");
		}
	};

	class TestAlgorithmsPlugin : public QuorvaleLibPlugin
	{
	public:
		std::string author() const override { return "QuorvaleGraph developers"; }
		std::string description() const override { return "Algorithms for the command-line tests"; }

		Status init() override
		{
			FactoryRegistry::get().registerFactories(std::make_unique<TestFactory>(), nullptr, nullptr);
			return Success;
		}
	};
}

extern "C"
{
	QUORVALE_PLUGIN_EXPORT extern const QuorvalePluginDescriptor quorvalePluginDescriptor;
	const QuorvalePluginDescriptor quorvalePluginDescriptor = {PluginDescriptor::hostCompatibilityText, 0};

	QUORVALE_PLUGIN_EXPORT const char* quorvalePluginId() { return "Test.Algorithms"; }

	QUORVALE_PLUGIN_EXPORT PluginBase* quorvaleCreatePlugin() { return new TestAlgorithmsPlugin(); }
}

namespace
{
	const PluginAutoRegistrationGuard autoRegistrationGuard(&quorvalePluginId);
}
