#pragma once

#include "host/gl/Program.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

namespace Quorvale::GL
{
	/// Compiled variants of one compute shader, keyed by their defines, least recently used out.
	///
	/// `getProgram(key)` returns the program compiled from the cache's source with `key` inserted
	/// after the #version line, compiling it on the first request. Use it inside a guard.
	class ProgramCache
	{
	public:
		/// Variants of the compute shader stored at `resourcePath` (read now; throws
		/// `ProgramError` when it does not exist). `capacity` is at least 1.
		ProgramCache(const std::string& resourcePath, std::size_t capacity);
		/// Variants of the compute shader `source`; `label` names it in error messages.
		static ProgramCache fromSource(std::string source, std::size_t capacity, std::string label = "compute shader");

		ProgramCache(ProgramCache&&) noexcept = default;
		ProgramCache& operator=(ProgramCache&&) noexcept = default;

		/// The program of `key` (compiled now when not cached; throws its compile error). The
		/// program stays usable while it is held, also after the cache dropped it.
		std::shared_ptr<Program> getProgram(const std::string& key);

		std::size_t capacity() const { return m_capacity; }
		std::size_t size() const { return m_entries.size(); }
		/// Programs this cache has compiled.
		std::uint64_t compilations() const { return m_compilations; }

	private:
		ProgramCache() = default;

		using Entry = std::pair<std::string, std::shared_ptr<Program>>;
		std::string m_source;
		std::string m_label;
		std::size_t m_capacity = 1;
		std::uint64_t m_compilations = 0;
		/// Most recently used first.
		std::list<Entry> m_entries;
		std::unordered_map<std::string, std::list<Entry>::iterator> m_index;
	};
}
