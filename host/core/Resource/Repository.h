#pragma once

#include "host/core/ByteBuffer.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// The host's resource service: named stores of read-only resources (shaders, tables), reached by
/// paths "RepositoryName/entry".
namespace Quorvale::Resource
{
	/// A named store of resources.
	class Repository
	{
	public:
		virtual ~Repository();

		/// The name that paths start with.
		virtual std::string name() const = 0;
		/// True when the store holds an entry of exactly this name.
		virtual bool has(std::string_view name) const = 0;
		/// The entry's bytes; empty when there is no such entry or it cannot be read.
		virtual std::optional<ByteBuffer> get(std::string_view name) const = 0;

	protected:
		Repository() = default;
		Repository(const Repository&) = default;
		Repository& operator=(const Repository&) = default;
	};

	/// Registers `repository` (not owned; it must stay alive until removed). A repository of the
	/// same name registered earlier is shadowed until this one is removed. Adding the same object
	/// twice does nothing. Logs "Added repository <name>" at debug level. Thread-safe.
	void addRepository(Repository* repository);
	/// Unregisters `repository`; does nothing for one that is not registered.
	void removeRepository(Repository* repository);
	/// The names of the registered repositories, newest first.
	std::vector<std::string> repositoryNames();

	/// The resource at `path`, "RepositoryName/entry" (the entry may hold further slashes): the
	/// entry of the newest registered repository of that name. Empty when the path has no
	/// repository part, no such repository is registered, or it does not hold the entry.
	std::optional<ByteBuffer> get(std::string_view path);
	/// True when `get(path)` would find an entry.
	bool has(std::string_view path);
}
