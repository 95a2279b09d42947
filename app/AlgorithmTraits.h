#pragma once

#include <string>

namespace Quorvale
{
	class Configurable;

	/// What the program knows of an algorithm beyond its registration: whether it builds new data or
	/// changes its input in place. The graph plug-in's algorithms are known
	/// by identifier; an algorithm with a bool parameter "inPlace" works in place exactly when it is set.
	namespace AlgorithmTraits
	{
		enum class Result
		{
			NewData, ///< hands its results over; handing over nothing means it made nothing
			InPlace, ///< changes its input and hands over nothing
			Unknown  ///< not known: handing over nothing is taken for work in place
		};

		/// What the algorithm `id`, configured as `algorithm` is, will do.
		Result result(const std::string& id, const Configurable& algorithm);

		/// For listings: "new data", "changes its input in place", ... for the algorithm as it is configured.
		std::string describeResult(const std::string& id, const Configurable& algorithm);
	}
}
