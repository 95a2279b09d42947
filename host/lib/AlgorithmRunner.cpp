#include "host/lib/AlgorithmRunner.h"

#include "host/core/Log.h"
#include "host/lib/Algorithm.h"

#include <exception>

namespace Quorvale::AlgorithmRunner
{
	int run(Algorithm& algorithm, Progress* progress)
	{
		algorithm.setStatus(Algorithm::NotComputed);
		algorithm.setProgress(progress);
		try
		{
			algorithm.compute();
		}
		catch (const std::exception& e)
		{
			Log::error(std::string("Algorithm failed with an exception: ") + e.what());
			algorithm.setStatus(Algorithm::Error);
		}
		algorithm.setProgress(nullptr);
		if (algorithm.status() == Algorithm::NotComputed)
			algorithm.setStatus(Algorithm::Error);
		return algorithm.status();
	}
}
