#pragma once

#include "host/core/ByteBufferView.h"
#include "host/core/Resource/Repository.h"

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace Quorvale
{
	/// The library's own resources, stored enciphered inside the library: the store "QuorvaleGraph"
	/// of the host's resource service, with the entry "GraphToLabelVessel.comp" (the compute shader
	/// of the label map rasterisation). `GraphPlugin` registers it for its lifetime.
	///
	/// Every `get` deciphers anew and hands out a buffer that the caller owns; the table and the key
	/// do not change after construction, so the store may be read from several threads.
	class Repository_QuorvaleGraph : public Resource::Repository
	{
	public:
		/// Entry name (matched exactly) to the pieces of its stored bytes, joined in order.
		using Table = std::unordered_map<std::string, std::vector<ByteBufferView>>;

		/// The library's entries.
		Repository_QuorvaleGraph();
		/// A store of other entries, with the library's key (tests store damaged entries this way).
		/// The viewed bytes must outlive the store.
		explicit Repository_QuorvaleGraph(Table table);
		~Repository_QuorvaleGraph() override;

		/// "QuorvaleGraph".
		std::string name() const override;
		/// True for an entry of exactly this name (case counts, no "QuorvaleGraph/" prefix).
		bool has(std::string_view name) const override;
		/// The deciphered bytes of the entry. Empty for an unknown name (silently), and for an entry
		/// that does not decipher, with the error "Error during decryption of resource <name> from
		/// repository QuorvaleGraph" (category "Core.Resource.Repository").
		std::optional<ByteBuffer> get(std::string_view name) const override;

	private:
		Table m_table;
		std::array<std::uint8_t, 32> m_key;
	};
}
