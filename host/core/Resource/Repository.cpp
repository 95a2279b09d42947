#include "host/core/Resource/Repository.h"

#include <algorithm>
#include <mutex>

#include "host/core/Log.h"

namespace Quorvale::Resource
{
	namespace
	{
		struct Registry
		{
			// Held while a repository serves a request, so that it cannot be removed meanwhile.
			std::recursive_mutex mutex;
			/// Newest last.
			std::vector<Repository*> repositories;
		};

		Registry& registry()
		{
			static Registry instance;
			return instance;
		}

		/// The repository of the path's first component, with the rest of the path.
		std::pair<const Repository*, std::string_view> resolve(const Registry& reg, std::string_view path)
		{
			const std::size_t slash = path.find('/');
			if (slash == std::string_view::npos || slash == 0)
				return {nullptr, {}};
			const std::string_view repositoryName = path.substr(0, slash);
			for (auto it = reg.repositories.rbegin(); it != reg.repositories.rend(); ++it)
				if ((*it)->name() == repositoryName)
					return {*it, path.substr(slash + 1)};
			return {nullptr, {}};
		}
	}

	Repository::~Repository() = default;

	void addRepository(Repository* repository)
	{
		if (!repository)
			return;
		{
			Registry& reg = registry();
			std::lock_guard lock(reg.mutex);
			if (std::find(reg.repositories.begin(), reg.repositories.end(), repository) != reg.repositories.end())
				return;
			reg.repositories.push_back(repository);
		}
		Log::log(Log::Debug, "Core.Resource.Repository", "Added repository " + repository->name());
	}

	void removeRepository(Repository* repository)
	{
		Registry& reg = registry();
		std::lock_guard lock(reg.mutex);
		reg.repositories.erase(std::remove(reg.repositories.begin(), reg.repositories.end(), repository), reg.repositories.end());
	}

	std::vector<std::string> repositoryNames()
	{
		Registry& reg = registry();
		std::lock_guard lock(reg.mutex);
		std::vector<std::string> names;
		for (auto it = reg.repositories.rbegin(); it != reg.repositories.rend(); ++it)
			names.push_back((*it)->name());
		return names;
	}

	std::optional<ByteBuffer> get(std::string_view path)
	{
		Registry& reg = registry();
		std::lock_guard lock(reg.mutex);
		auto [repository, entry] = resolve(reg, path);
		if (!repository)
			return std::nullopt;
		return repository->get(entry);
	}

	bool has(std::string_view path)
	{
		Registry& reg = registry();
		std::lock_guard lock(reg.mutex);
		auto [repository, entry] = resolve(reg, path);
		return repository && repository->has(entry);
	}
}
