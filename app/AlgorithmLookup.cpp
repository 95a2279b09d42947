#include "app/AlgorithmLookup.h"

#include <algorithm>
#include <stdexcept>

#include "host/core/String.h"
#include "host/lib/FactoryRegistry.h"

namespace Quorvale::AlgorithmLookup
{
	namespace
	{
		size_t editDistance(const std::string& a, const std::string& b)
		{
			std::vector<size_t> row(b.size() + 1);
			for (size_t j = 0; j <= b.size(); ++j)
				row[j] = j;
			for (size_t i = 1; i <= a.size(); ++i)
			{
				size_t diagonal = row[0];
				row[0] = i;
				for (size_t j = 1; j <= b.size(); ++j)
				{
					const size_t above = row[j];
					row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
					diagonal = above;
				}
			}
			return row[b.size()];
		}

		bool isClose(const std::string& query, const std::string& candidate)
		{
			if (candidate == query)
				return true;
			if (query.size() >= 3 && candidate.find(query) != std::string::npos)
				return true;
			return editDistance(query, candidate) <= std::max<size_t>(1, query.size() / 3);
		}

		std::string joined(const std::vector<std::string>& ids)
		{
			std::string out;
			for (const auto& id : ids)
				out += "\n  " + id;
			return out;
		}
	}

	std::vector<Entry> registeredAlgorithms()
	{
		std::vector<Entry> entries;
		for (const AlgorithmFactory* factory : FactoryRegistry::get().getAlgorithmFactories())
		{
			const std::string prefix = factory->name().empty() ? std::string() : factory->name() + ".";
			for (const auto* descriptor : factory->algorithmDescriptors())
			{
				const bool prefixed = !prefix.empty() && descriptor->id.compare(0, prefix.size(), prefix) == 0;
				entries.push_back({descriptor->id, prefixed ? descriptor->id.substr(prefix.size()) : descriptor->id});
			}
		}
		return entries;
	}

	std::vector<std::string> closeCandidates(const std::string& query, const std::vector<Entry>& entries)
	{
		const std::string wanted = String::toLowerCopy(query);
		std::vector<std::string> out;
		if (wanted.empty())
			return out;
		for (const Entry& entry : entries)
			if (isClose(wanted, String::toLowerCopy(entry.id)) || isClose(wanted, String::toLowerCopy(entry.shortId)))
				out.push_back(entry.id);
		return out;
	}

	const AlgorithmFactory::Descriptor& find(const std::string& id)
	{
		if (const auto [factory, descriptor] = FactoryRegistry::get().findAlgorithm(id, true); descriptor)
			return *descriptor;

		const auto entries = registeredAlgorithms();
		std::vector<std::string> sameShortId;
		for (const Entry& entry : entries)
			if (entry.shortId == id)
				sameShortId.push_back(entry.id);
		if (sameShortId.size() > 1)
			throw std::runtime_error("Ambiguous algorithm '" + id + "'; give the full identifier of one of:" + joined(sameShortId));

		if (entries.empty())
			throw std::runtime_error("Unknown algorithm '" + id + "': no plug-in has registered any algorithm.");
		const auto candidates = closeCandidates(id, entries);
		if (candidates.empty())
			throw std::runtime_error("Unknown algorithm '" + id + "'; 'quorvale algorithms' lists the registered ones.");
		throw std::runtime_error("Unknown algorithm '" + id + "'. Did you mean:" + joined(candidates));
	}
}
