#pragma once

#include <string>

namespace Quorvale
{
	/// Receives the progress of long work (an algorithm's `compute`, a file load) so that a user
	/// interface can show it and ask for cancellation.
	class Progress
	{
	public:
		virtual ~Progress() = default;
		/// Reports the fraction done (0 to 1) with an optional description of the current step.
		virtual void update(double fraction, const std::string& step = {}) = 0;
		/// True when the user asked to stop; work that can stop checks it between steps.
		virtual bool isCancelled() const { return false; }
	};
}
