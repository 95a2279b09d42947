#pragma once

namespace Quorvale
{
	class Algorithm;
	class Progress;

	/// How the host runs an algorithm: the command line, the viewer and the tests all go through here.
	namespace AlgorithmRunner
	{
		/// Sets the status to -1 ("not computed"), hands over the progress receiver and calls `compute`.
		/// Returns the status `compute` left; an algorithm that left -1 failed to report and counts as
		/// failed (1). An exception out of `compute` is logged and gives 1.
		int run(Algorithm& algorithm, Progress* progress = nullptr);
	}
}
