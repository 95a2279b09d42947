#include "host/lib/Algorithm.h"

#include "host/core/Progress.h"

namespace Quorvale
{
	Algorithm::~Algorithm() = default;

	OwningDataList Algorithm::takeOutput() { return {}; }

	void Algorithm::reportProgress(double fraction, const std::string& step) const
	{
		if (m_progress)
			m_progress->update(fraction, step);
	}
}
