#pragma once

#include <map>
#include <string>

namespace Quorvale
{
	class Algorithm;
	class Configurable;

	/// What the program knows of an algorithm beyond its registration, kept in its own table of the
	/// graph plug-in's algorithms (by full identifier): whether it builds new data or changes its input
	/// in place, the kind of data that is, what it takes and what it does. The plug-in fixes only its
	/// parameters and their tooltips. Of other algorithms only this is known: one with a bool parameter
	/// "inPlace" works in place exactly when it is set.
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

		/// For listings: "a new graph", "its mesh input, changed in place", ... for the algorithm as it
		/// is configured.
		std::string describeResult(const std::string& id, const Configurable& algorithm);

		/// The kind of data the algorithm makes, or of the input it changes in place, named as the
		/// program's file types name their data ("graph", "image set", "point cloud", "mesh"); empty
		/// when the table does not know the algorithm.
		std::string resultKind(const std::string& id);

		/// What the algorithm takes and what it does and makes, one line each; empty when unknown.
		std::string inputs(const std::string& id);
		std::string summary(const std::string& id);

		/// The parameters whose allowed values the plug-in takes from the inputs given, with what they
		/// allow in words (a listing made on sample inputs would show the sample's range).
		std::map<std::string, std::string> allowedByInputs(const std::string& id);

		/// "mode=DistanceBased needs a distance image (...) as the second input" when the algorithm `id`
		/// offers that value of `parameter` only on other inputs (the value compared as --set reads a
		/// value name); else empty.
		std::string valueNeeds(const std::string& id, const std::string& parameter, const std::string& value);

		/// The program's own addition to a failure line of `algorithm` (created for `id`), whose last
		/// logged error was `lastError` (may be empty): which input is missing, which values a
		/// parameter takes. Empty when there is nothing to add.
		std::string failureHint(const std::string& id, const Algorithm& algorithm, const std::string& lastError);

		/// "Graph.X takes ..." when the algorithm's inputs depend on the value of `parameter` (a value
		/// it refused may need another input); else empty.
		std::string parameterHint(const std::string& id, const std::string& parameter);
	}
}
