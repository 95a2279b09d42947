#pragma once

#include "host/core/Configurable.h"
#include "host/lib/DataList.h"

#include <string>

namespace Quorvale
{
	class Progress;

	/// Base of every algorithm the host runs: configured through its registered parameters, run
	/// by `compute`, its new data handed over by `takeOutput`. `compute` leaves a status: 0 finished,
	/// 1 failed, 2 invalid input, 3 incomplete input; -1 means "not computed" (a new algorithm, and
	/// every algorithm the host is about to run).
	class Algorithm : public Configurable
	{
	public:
		enum Status : int
		{
			NotComputed = -1,
			Success = 0,
			Error = 1,
			InvalidInput = 2,
			IncompleteInput = 3
		};

		/// What the factory that created the algorithm knows of it.
		struct FactoryInfo
		{
			std::string id;   ///< full identifier, e.g. "Graph.MinimumSpanningTree"
			std::string name; ///< display name, e.g. "Minimum Spanning Tree"
			DataList data;    ///< the selection it was created for
		};

		Algorithm() = default;
		~Algorithm() override;

		/// Runs the algorithm on the thread of the caller and sets the status.
		virtual void compute() = 0;
		/// Hands over the data the last `compute` made; empty when it changed its input in place.
		virtual OwningDataList takeOutput();
		/// Where to report progress (may be null; not owned).
		virtual void setProgress(Progress* progress) { m_progress = progress; }
		virtual int status() const { return m_status; }
		/// True when the algorithm may outlive the deletion of `data` (an input it no longer needs).
		virtual bool survivesDataDeletion(const Data* data) const { return false; }

		void setStatus(int status) { m_status = status; }
		void setFactoryInfo(FactoryInfo info) { m_factoryInfo = std::move(info); }
		const FactoryInfo& factoryInfo() const { return m_factoryInfo; }
		Progress* progress() const { return m_progress; }

	protected:
		/// Reports progress when a receiver is set.
		void reportProgress(double fraction, const std::string& step = {}) const;

		int m_status = NotComputed;
		Progress* m_progress = nullptr;

	private:
		FactoryInfo m_factoryInfo;
	};
}
