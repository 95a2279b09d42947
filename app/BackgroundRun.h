#pragma once

#include "host/core/Log.h"
#include "host/core/Signal.h"
#include "host/lib/DataList.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace Quorvale
{
	class Algorithm;
	class Data;

	/// One run of an algorithm on a thread of its own, apart from the data a window shows and edits.
	///
	/// The algorithm is made anew by its factory for working copies of the inputs and configured like
	/// the given one (its parameters, and the location of an input/output algorithm). Graphs, meshes
	/// and point clouds are copied whole; image sets are new objects sharing the originals' pixels,
	/// which no algorithm writes. So the run never touches an original nor raises its signals, and
	/// whoever holds the originals may read, show, change and delete them meanwhile (`takeChanges`
	/// says which were changed or deleted). Its GL work takes the
	/// host's background context (`GL::BackgroundThread`).
	///
	/// `progress`, `cancel` and `isFinished` may be called from any thread; everything else belongs to
	/// the thread that made the run, where its outputs and copies are also destroyed.
	class BackgroundRun
	{
	public:
		/// A working copy that the run changed, with the original it was made from.
		struct Change
		{
			/// Null when the original was deleted while the run went.
			Data* original = nullptr;
			std::unique_ptr<Data> copy;
			/// The original changed (`signalDataChanged`) while the run went: the copy lacks that change.
			bool originalChanged = false;
		};

		/// Starts the algorithm `id` (a registered identifier) configured as `configured` on copies of
		/// `inputs`. Throws std::runtime_error naming the input that cannot be copied, or when the
		/// factory makes no algorithm for the copies.
		BackgroundRun(const std::string& id, const Algorithm& configured, const std::vector<Data*>& inputs);
		/// Asks the algorithm to stop (`Progress::isCancelled`) and waits for the thread.
		~BackgroundRun();
		BackgroundRun(const BackgroundRun&) = delete;
		BackgroundRun& operator=(const BackgroundRun&) = delete;

		/// Gives `to` the settings of `from`, an algorithm of the same kind: its parameters and, for an
		/// input/output algorithm, its location.
		static void copySettings(const Algorithm& from, Algorithm& to);

		/// True once the algorithm has returned (then `wait` returns at once).
		bool isFinished() const { return m_finished.load(std::memory_order_acquire); }
		/// The last progress reported: the fraction (negative before the first report) and the step.
		std::pair<double, std::string> progress() const;
		void cancel();
		/// Waits for the end of the run.
		void wait();

		/// After `wait`: the status the run left (`AlgorithmRunner::run`), the records logged meanwhile
		/// by the run (its thread and any it works with, not the thread that made the run), and the
		/// algorithm, configured as it ran.
		int status() const;
		std::vector<Log::Record> records() const;
		const Algorithm& algorithm() const { return *m_algorithm; }
		/// After `wait`: the new data the algorithm handed over.
		OwningDataList takeOutput();
		/// After `wait`: the working copies that differ from what they were before the run (compared
		/// by their stored form), in input order. Copies of image sets are never listed.
		std::vector<Change> takeChanges();

	private:
		void work();

		struct Copy;
		class RunProgress;
		class RunLog;
		std::vector<Copy> m_copies;
		std::unique_ptr<Algorithm> m_algorithm;
		std::unique_ptr<RunProgress> m_progress;
		/// Follows the originals while the run goes (on the thread that made it).
		SignalReceiver m_originals;
		std::shared_ptr<RunLog> m_log;
		std::atomic<bool> m_finished{false};
		int m_status = -1;
		std::thread m_thread;
	};
}
