#include "app/BackgroundRun.h"

#include "app/DataFingerprint.h"
#include "app/DataFiles.h"
#include "host/core/Progress.h"
#include "host/core/Properties.h"
#include "host/gl/BackgroundThread.h"
#include "host/lib/Algorithm.h"
#include "host/lib/AlgorithmFactory.h"
#include "host/lib/AlgorithmRunner.h"
#include "host/lib/Data.h"
#include "host/lib/FactoryRegistry.h"
#include "host/lib/IoAlgorithm.h"
#include "host/lib/Mesh.h"
#include "host/lib/PointCloud.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"

#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

namespace Quorvale
{
	struct BackgroundRun::Copy
	{
		Data* original = nullptr;
		std::unique_ptr<Data> copy;
		bool sharesPixels = false;
		bool originalChanged = false;
		std::optional<std::uint64_t> before;
		std::optional<std::uint64_t> after;
	};

	/// Keeps the last report for the window to pick up; reports come from the run's threads.
	class BackgroundRun::RunProgress : public Progress
	{
	public:
		void update(double fraction, const std::string& step) override
		{
			std::lock_guard lock(m_mutex);
			m_fraction = fraction;
			m_step = step;
		}
		bool isCancelled() const override { return m_cancelled.load(); }

		std::pair<double, std::string> last() const
		{
			std::lock_guard lock(m_mutex);
			return {m_fraction, m_step};
		}
		void cancel() { m_cancelled = true; }

	private:
		mutable std::mutex m_mutex;
		double m_fraction = -1.0;
		std::string m_step;
		std::atomic<bool> m_cancelled{false};
	};

	/// Keeps the records of the run. The thread that made the run goes on meanwhile (a window takes
	/// input, opens files): what it logs is not the run's.
	class BackgroundRun::RunLog : public Log::CaptureSink
	{
	public:
		void write(const Log::Record& record) override
		{
			if (std::this_thread::get_id() != m_owner)
				CaptureSink::write(record);
		}

	private:
		const std::thread::id m_owner = std::this_thread::get_id();
	};

	namespace
	{
		/// A set of new images over the same pixels, with the set's and each image's own settings. The
		/// pixels are read through the const path, which leaves the original's state as it is.
		std::unique_ptr<SharedImageSet> imagesOverTheSamePixels(const SharedImageSet& set)
		{
			auto copy = set.clone(SharedImageSet::CloneWithoutImages);
			for (int i = 0; i < set.size(); ++i)
			{
				const SharedImage& image = *set.get(i);
				auto shared = std::make_unique<SharedImage>(std::const_pointer_cast<MemImage>(image.sharedMem()), image.name());
				static_cast<Data&>(*shared) = image;
				shared->setModality(image.modality());
				copy->add(std::move(shared));
			}
			if (!set.isEmpty())
				copy->setCurrentIndex(set.currentIndex());
			copy->setSelection(set.selection());
			return copy;
		}

		/// The run's own copy of `data`, or null when its type cannot be copied.
		std::unique_ptr<Data> workingCopy(const Data& data)
		{
			if (const auto* set = dynamic_cast<const SharedImageSet*>(&data))
				return imagesOverTheSamePixels(*set);
			if (const auto* mesh = dynamic_cast<const Mesh*>(&data))
				return std::make_unique<Mesh>(*mesh);
			if (const auto* cloud = dynamic_cast<const PointCloud*>(&data))
				return std::make_unique<PointCloud>(*cloud);
			return FactoryRegistry::get().cloneData(data);
		}
	}

	BackgroundRun::BackgroundRun(const std::string& id, const Algorithm& configured, const std::vector<Data*>& inputs)
	    : m_progress(std::make_unique<RunProgress>())
	    , m_log(std::make_shared<RunLog>())
	{
		std::vector<Data*> copies;
		for (Data* original : inputs)
		{
			Copy copy;
			copy.original = original;
			copy.copy = workingCopy(*original);
			if (!copy.copy)
				throw std::runtime_error("Cannot run '" + configured.factoryInfo().name + "' apart from the window: " +
				                         DataFiles::describeKind(*original) + " '" + original->name() + "' cannot be copied.");
			copy.sharesPixels = dynamic_cast<const SharedImageSet*>(original) != nullptr;
			copies.push_back(copy.copy.get());
			m_copies.push_back(std::move(copy));
		}
		const auto [factory, descriptor] = FactoryRegistry::get().findAlgorithm(id);
		if (factory && descriptor)
			m_algorithm = factory->instantiateAlgorithm(descriptor->id, DataList(copies));
		if (!m_algorithm)
			throw std::runtime_error("Cannot run '" + (descriptor ? descriptor->name : id) + "' on the selected data.");
		copySettings(configured, *m_algorithm);
		for (size_t i = 0; i < m_copies.size(); ++i)
			if (!m_copies[i].sharesPixels)
			{
				Data& original = *m_copies[i].original;
				original.signalDeleted.connect(&m_originals, [this, i](Data*) { m_copies[i].original = nullptr; });
				original.signalDataChanged.connect(&m_originals, [this, i] { m_copies[i].originalChanged = true; });
			}
		m_thread = std::thread([this] { work(); });
	}

	void BackgroundRun::copySettings(const Algorithm& from, Algorithm& to)
	{
		Properties settings;
		from.configuration(settings);
		to.configure(settings);
		if (const auto* io = dynamic_cast<const IoAlgorithm*>(&from))
			if (auto* target = dynamic_cast<IoAlgorithm*>(&to))
				target->setLocation(io->location());
	}

	BackgroundRun::~BackgroundRun()
	{
		cancel();
		wait();
	}

	void BackgroundRun::work()
	{
		GL::BackgroundThread mark;
		Log::addSink(m_log);
		const auto fingerprint = [](const Data& data) -> std::optional<std::uint64_t>
		{
			try
			{
				return DataFingerprint::of(data);
			}
			catch (const std::exception&)
			{
				return std::nullopt;
			}
		};
		for (Copy& copy : m_copies)
			if (!copy.sharesPixels)
				copy.before = fingerprint(*copy.copy);
		m_status = AlgorithmRunner::run(*m_algorithm, m_progress.get());
		for (Copy& copy : m_copies)
			if (!copy.sharesPixels)
				copy.after = fingerprint(*copy.copy);
		Log::removeSink(m_log);
		m_finished.store(true, std::memory_order_release);
	}

	std::pair<double, std::string> BackgroundRun::progress() const { return m_progress->last(); }

	void BackgroundRun::cancel() { m_progress->cancel(); }

	void BackgroundRun::wait()
	{
		if (m_thread.joinable())
			m_thread.join();
	}

	int BackgroundRun::status() const { return m_status; }

	std::vector<Log::Record> BackgroundRun::records() const { return m_log->records(); }

	OwningDataList BackgroundRun::takeOutput()
	{
		wait();
		return m_algorithm->takeOutput();
	}

	std::vector<BackgroundRun::Change> BackgroundRun::takeChanges()
	{
		wait();
		std::vector<Change> changes;
		for (Copy& copy : m_copies)
		{
			if (copy.sharesPixels || !copy.copy)
				continue;
			// A copy whose stored form cannot be told counts as changed.
			if (!copy.before || !copy.after || *copy.before != *copy.after)
				changes.push_back({copy.original, std::move(copy.copy), copy.originalChanged});
		}
		return changes;
	}
}
