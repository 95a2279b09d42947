#pragma once

#include "host/lib/AlgorithmFactory.h"

#include <string>
#include <vector>

namespace Quorvale
{
	/// Finding a registered algorithm by the identifier a user typed.
	namespace AlgorithmLookup
	{
		/// An algorithm's full identifier ("Graph.MinimumSpanningTree") and the short one without the
		/// factory name ("MinimumSpanningTree"; the full one for an unnamed factory).
		struct Entry
		{
			std::string id;
			std::string shortId;
		};

		/// Every registered algorithm of every factory of `FactoryRegistry::get()`, in the order the
		/// registry asks them.
		std::vector<Entry> registeredAlgorithms();

		/// The entries a user who typed `query` may have meant, in the order given: those whose full or
		/// short identifier equals it ignoring case, contains it (three characters or more) ignoring
		/// case, or differs from it by a few edits (a third of its length, at least one).
		std::vector<std::string> closeCandidates(const std::string& query, const std::vector<Entry>& entries);

		/// The descriptor of the algorithm `id` names: its full identifier or a short one that exactly
		/// one factory knows. Throws std::runtime_error for an unknown or ambiguous identifier; the
		/// message lists the candidates.
		const AlgorithmFactory::Descriptor& find(const std::string& id);
	}
}
