#include "host/gl/ProgramCache.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "host/core/Resource/Repository.h"
#include "host/gl/GlError.h"

namespace Quorvale::GL
{
	ProgramCache::ProgramCache(const std::string& resourcePath, std::size_t capacity)
	    : m_label(resourcePath)
	    , m_capacity(std::max<std::size_t>(capacity, 1))
	{
		std::optional<ByteBuffer> source = Resource::get(resourcePath);
		if (!source)
			throw ProgramError("No shader resource " + resourcePath);
		m_source = source->toString();
	}

	ProgramCache ProgramCache::fromSource(std::string source, std::size_t capacity, std::string label)
	{
		ProgramCache cache;
		cache.m_source = std::move(source);
		cache.m_label = std::move(label);
		cache.m_capacity = std::max<std::size_t>(capacity, 1);
		return cache;
	}

	std::shared_ptr<Program> ProgramCache::getProgram(const std::string& key)
	{
		if (auto found = m_index.find(key); found != m_index.end())
		{
			m_entries.splice(m_entries.begin(), m_entries, found->second);
			return found->second->second;
		}
		auto program = std::make_shared<Program>(Program::createComputeFromSource(m_source, key, m_label));
		// Compile now (inside the caller's guard), so that a broken variant is never cached.
		program->id();
		++m_compilations;
		m_entries.emplace_front(key, program);
		m_index[key] = m_entries.begin();
		while (m_entries.size() > m_capacity)
		{
			m_index.erase(m_entries.back().first);
			m_entries.pop_back();
		}
		return program;
	}
}
