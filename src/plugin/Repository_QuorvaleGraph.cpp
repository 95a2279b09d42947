#include "src/plugin/Repository_QuorvaleGraph.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "host/core/Cryptography/MonoCypher.h"
#include "host/core/Log.h"
#include "src/plugin/RepositoryKey.h"

namespace Quorvale
{
	namespace
	{
		constexpr const char* kCategory = "Core.Resource.Repository";
	}

	namespace StoredResources
	{
		// Written at build time by the EncipherResource tool.
		extern const unsigned char graphToLabelVessel[];
		extern const std::size_t graphToLabelVesselSize;
	}

	Repository_QuorvaleGraph::Repository_QuorvaleGraph()
	    : Repository_QuorvaleGraph(
	          Table{{"GraphToLabelVessel.comp", {ByteBufferView(StoredResources::graphToLabelVessel, StoredResources::graphToLabelVesselSize)}}})
	{
	}

	Repository_QuorvaleGraph::Repository_QuorvaleGraph(Table table)
	    : m_table(std::move(table))
	    , m_key(RepositoryKey::assemble(RepositoryKey::kWords))
	{
	}

	Repository_QuorvaleGraph::~Repository_QuorvaleGraph() = default;

	std::string Repository_QuorvaleGraph::name() const { return "QuorvaleGraph"; }

	bool Repository_QuorvaleGraph::has(std::string_view name) const { return m_table.count(std::string(name)) != 0; }

	std::optional<ByteBuffer> Repository_QuorvaleGraph::get(std::string_view name) const
	{
		const auto entry = m_table.find(std::string(name));
		if (entry == m_table.end())
			return std::nullopt;
		const std::vector<ByteBufferView>& pieces = entry->second;
		ByteBuffer stored;
		if (pieces.size() == 1)
			stored = pieces.front().copy();
		else
		{
			std::size_t size = 0;
			for (const ByteBufferView& piece : pieces)
				size += piece.size();
			stored = ByteBuffer(size);
			std::size_t offset = 0;
			for (const ByteBufferView& piece : pieces)
			{
				if (!piece.empty())
					std::memcpy(stored.data() + offset, piece.data(), piece.size());
				offset += piece.size();
			}
		}
		std::optional<ByteBuffer> plain = Cryptography::MonoCypher::decrypt(stored, m_key);
		if (!plain)
			Log::error("Error during decryption of resource " + std::string(name) + " from repository " + this->name(), kCategory);
		return plain;
	}
}
